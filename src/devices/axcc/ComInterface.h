#pragma once

#include "core/WorkerThread.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class QDBusServiceWatcher;
class TMsgChannel;

namespace axcc {

class TClientObject;

// The names of the automation interface on the bus (see docs/axcs-interface.xml).
struct TAxcsNames
{
    static QString Service() { return QStringLiteral("org.tzk.Axcs"); }
    static QString Path() { return QStringLiteral("/org/tzk/Axcs"); }
    static QString Interface() { return QStringLiteral("org.tzk.Axcs"); }
    static QString ClientPath() { return QStringLiteral("/org/tzk/AxccClient"); }
    static QString ClientInterface() { return QStringLiteral("org.tzk.AxccClient"); }
};

// The client's side of the automation server: one private connection to the bus per opened device,
// so that every device has its own unique name, on which the server calls Notify. The server is
// found with the first call (at the well-known name); from then on calls, the result signal and the
// notifications are bound to that server instance, and its leaving the bus is reported.
//
// Every call is asynchronous: its handler runs on the main thread with the reply, or with the bus's
// error message. Handlers of calls still under way when the object goes are never called.
class TComInterface : public QObject
{
    Q_OBJECT

public:
    using TDoneEvent = std::function<void(const QString& sError)>;
    using TInfoEvent = std::function<void(const QString& sError, const QString& sInfo)>;
    using TExecuteEvent =
        std::function<void(const QString& sError, int iReturnCode, const QString& sFunctionResult)>;
    using TOnFunctionResult = std::function<void(int iReturnCode, const QString& sFunctionResult)>;
    using TOnFunctionNotification = std::function<void(const QString& sRequest, QString& sResponse)>;

    // sBus: "" or "session", "system", or a D-Bus address. EError with the bus's message when the
    // bus cannot be reached.
    // aMsg: where the interface reports (its device's session).
    TComInterface(const QString& sBus, TMsgChannel& aMsg);
    ~TComInterface() override;

    // The server's unique name once the first call found it; empty before.
    const QString& ServerName() const { return fsServerName; }

    void SetTimeout(int iInterval, TDoneEvent aDone);
    void GetInfo(TInfoEvent aDone);
    // iTimeoutMs bounds the wait for the reply (not for the result signal).
    void ExecuteFunction(const QString& sFunctionCall, int iTimeoutMs, TExecuteEvent aDone);
    // Asks the server to stop the running function; the outcome comes as a result signal.
    void CancelFunction();

    // The events of the server: a started function's result, and a question while a function runs.
    // Notifications are handed over one at a time from the event loop, never from inside the bus's
    // dispatch: the handler may run a modal dialog and writes the response.
    TOnFunctionResult FOnFunctionResult;
    TOnFunctionNotification FOnFunctionNotification;
    // The server left the bus.
    std::function<void()> FOnServerLost;

    // Answers the questions still waiting for their turn with sResponse (a function that ended
    // asks nothing any more).
    void AnswerWaitingNotifications(const QString& sResponse);

private Q_SLOTS:
    void FunctionResultArrived(int iReturnCode, const QString& sFunctionResult);

private:
    friend class TClientObject;

    using TReplyEvent = std::function<void(const QDBusMessage& aReply)>;
    void Call(const QString& sMethod, const QList<QVariant>& aArgs, int iTimeoutMs, TReplyEvent aDone);
    // The first reply names the server: bind the result signal and watch the name.
    void Attach(const QString& sServerName);
    // A Notify call from the bus; false when it is not one this client serves.
    bool NotificationArrived(const QDBusMessage& aMessage);
    void ServeNotifications();

    TMsgChannel& fMsg;
    QString fsConnectionName;
    QDBusConnection fBus;
    QString fsServerName;
    // Notifications come in on the bus's thread and are handed to the main thread through this
    // post; it is closed when this object goes, and so is still open after a handler only when
    // the handler (a dialog) did not close the connection.
    TMainThreadPost fPost;
    std::unique_ptr<TClientObject> fClientObject;
    std::unique_ptr<QDBusServiceWatcher> fWatcher;
    std::deque<QDBusMessage> fNotifications; // waiting for their turn
    bool fbServing = false;
};

} // namespace axcc
