#include "ComInterface.h"

#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"

#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>

namespace axcc {

namespace {

// The server answers its calls at once; only a function's result may take longer.
constexpr int ciCallTimeoutMs = 5000;

QDBusConnection ConnectBus(const QString& sBus, const QString& sConnectionName)
{
    const QString s = sBus.trimmed();
    if (s.isEmpty() || s.compare(QLatin1String("session"), Qt::CaseInsensitive) == 0)
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, sConnectionName);
    if (s.compare(QLatin1String("system"), Qt::CaseInsensitive) == 0)
        return QDBusConnection::connectToBus(QDBusConnection::SystemBus, sConnectionName);
    return QDBusConnection::connectToBus(s, sConnectionName);
}

QString NextConnectionName()
{
    static int iConnections = 0;
    return QStringLiteral("tzk-axcc-%1").arg(++iConnections);
}

// The error of a reply, or of a reply whose arguments do not have the signature expected.
QString ReplyError(const QDBusMessage& aReply, const QString& sSignature)
{
    if (aReply.type() == QDBusMessage::ErrorMessage)
        return aReply.errorMessage().isEmpty() ? aReply.errorName() : aReply.errorMessage();
    if (aReply.type() != QDBusMessage::ReplyMessage)
        return QStringLiteral("No reply");
    if (aReply.signature() != sSignature)
        return QStringLiteral("Unexpected reply \"%1\" instead of \"%2\"")
            .arg(aReply.signature(), sSignature);
    return QString();
}

} // namespace

// The object the server calls Notify on, on the bus's thread. Messages are only taken here; they
// are served from the event loop on the main thread.
class TClientObject : public QDBusVirtualObject
{
public:
    TClientObject(TComInterface& aOwner, TMainThreadPost aPost) : fOwner(aOwner), fPost(std::move(aPost)) {}

    QString introspect(const QString&) const override
    {
        return QStringLiteral("  <interface name=\"org.tzk.AxccClient\">\n"
                              "    <method name=\"Notify\">\n"
                              "      <arg name=\"request\" type=\"s\" direction=\"in\"/>\n"
                              "      <arg name=\"response\" type=\"s\" direction=\"out\"/>\n"
                              "    </method>\n"
                              "  </interface>\n");
    }

    bool handleMessage(const QDBusMessage& aMessage, const QDBusConnection& aConnection) override
    {
        if (aMessage.type() != QDBusMessage::MethodCallMessage ||
            aMessage.member() != QLatin1String("Notify") ||
            (!aMessage.interface().isEmpty() && aMessage.interface() != TAxcsNames::ClientInterface()))
            return false;
        if (aMessage.signature() != QLatin1String("s")) {
            aConnection.send(aMessage.createErrorReply(QDBusError::InvalidArgs,
                                                       QStringLiteral("Notify takes one string")));
            return true;
        }
        fPost.Post([owner = &fOwner, aMessage] {
            owner->fNotifications.push_back(aMessage);
            owner->ServeNotifications();
        });
        return true;
    }

private:
    TComInterface& fOwner;
    const TMainThreadPost fPost;
};

TComInterface::TComInterface(const QString& sBus, TMsgChannel& aMsg)
    : fMsg(aMsg), fsConnectionName(NextConnectionName()), fBus(ConnectBus(sBus, fsConnectionName)),
      fClientObject(std::make_unique<TClientObject>(*this, fPost))
{
    QString sError;
    if (!fBus.isConnected())
        sError = fBus.lastError().message().isEmpty() ? QStringLiteral("No connection to the bus")
                                                      : fBus.lastError().message();
    else if (!fBus.registerVirtualObject(TAxcsNames::ClientPath(), fClientObject.get()))
        sError = QStringLiteral("Cannot serve %1 on the bus").arg(TAxcsNames::ClientPath());
    if (!sError.isEmpty()) {
        QDBusConnection::disconnectFromBus(fsConnectionName);
        throw EError(sError);
    }
}

TComInterface::~TComInterface()
{
    fPost.Close();
    fWatcher.reset();
    if (!fsServerName.isEmpty())
        fBus.disconnect(fsServerName, TAxcsNames::Path(), TAxcsNames::Interface(),
                        QStringLiteral("FunctionResult"), this, SLOT(FunctionResultArrived(int, QString)));
    fBus.unregisterObject(TAxcsNames::ClientPath());
    QDBusConnection::disconnectFromBus(fsConnectionName);
}

void TComInterface::SetTimeout(int iInterval, TDoneEvent aDone)
{
    Call(QStringLiteral("SetTimeout"), {iInterval}, ciCallTimeoutMs,
         [aDone](const QDBusMessage& aReply) { aDone(ReplyError(aReply, QString())); });
}

void TComInterface::GetInfo(TInfoEvent aDone)
{
    Call(QStringLiteral("GetInfo"), {}, ciCallTimeoutMs, [aDone](const QDBusMessage& aReply) {
        const QString sError = ReplyError(aReply, QStringLiteral("s"));
        aDone(sError, sError.isEmpty() ? aReply.arguments().at(0).toString() : QString());
    });
}

void TComInterface::ExecuteFunction(const QString& sFunctionCall, int iTimeoutMs, TExecuteEvent aDone)
{
    Call(QStringLiteral("ExecuteFunction"), {sFunctionCall}, iTimeoutMs, [aDone](const QDBusMessage& aReply) {
        const QString sError = ReplyError(aReply, QStringLiteral("is"));
        if (!sError.isEmpty())
            aDone(sError, 0, QString());
        else
            aDone(QString(), aReply.arguments().at(0).toInt(), aReply.arguments().at(1).toString());
    });
}

void TComInterface::CancelFunction()
{
    Call(QStringLiteral("CancelFunction"), {}, ciCallTimeoutMs, [this](const QDBusMessage& aReply) {
        const QString sError = ReplyError(aReply, QString());
        if (!sError.isEmpty())
            fMsg.Warning(QStringLiteral("AXCC cancel failed: %s"), {sError});
    });
}

void TComInterface::AnswerWaitingNotifications(const QString& sResponse)
{
    while (!fNotifications.empty()) {
        fBus.send(fNotifications.front().createReply(sResponse));
        fNotifications.pop_front();
    }
}

void TComInterface::FunctionResultArrived(int iReturnCode, const QString& sFunctionResult)
{
    // A copy: the handler may close the connection, and this object with it.
    const TOnFunctionResult handler = FOnFunctionResult;
    if (handler)
        handler(iReturnCode, sFunctionResult);
}

void TComInterface::Call(const QString& sMethod, const QList<QVariant>& aArgs, int iTimeoutMs,
                         TReplyEvent aDone)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(fsServerName.isEmpty() ? TAxcsNames::Service() : fsServerName,
                                       TAxcsNames::Path(), TAxcsNames::Interface(), sMethod);
    call.setArguments(aArgs);
    auto* pWatcher = new QDBusPendingCallWatcher(fBus.asyncCall(call, iTimeoutMs), this);
    connect(pWatcher, &QDBusPendingCallWatcher::finished, this, [this, pWatcher, aDone] {
        pWatcher->deleteLater();
        const QDBusMessage reply = pWatcher->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && fsServerName.isEmpty())
            Attach(reply.service());
        aDone(reply); // may close the connection: nothing of this object is used after it
    });
}

void TComInterface::Attach(const QString& sServerName)
{
    fsServerName = sServerName;
    fBus.connect(fsServerName, TAxcsNames::Path(), TAxcsNames::Interface(), QStringLiteral("FunctionResult"),
                 this, SLOT(FunctionResultArrived(int, QString)));
    fWatcher = std::make_unique<QDBusServiceWatcher>(fsServerName, fBus,
                                                     QDBusServiceWatcher::WatchForUnregistration);
    connect(fWatcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        const std::function<void()> handler = FOnServerLost;
        if (handler)
            handler();
    });
}

void TComInterface::ServeNotifications()
{
    // One question at a time: a modal dialog runs an event loop, in which further questions only
    // queue up behind it.
    if (fbServing)
        return;
    fbServing = true;
    const TMainThreadPost post = fPost;
    while (!fNotifications.empty()) {
        const QDBusMessage request = fNotifications.front();
        fNotifications.pop_front();
        if (fsServerName.isEmpty() || request.service() != fsServerName) {
            fBus.send(request.createErrorReply(QDBusError::AccessDenied,
                                               QStringLiteral("Only the connected automation server asks")));
            continue;
        }
        QString sResponse = QStringLiteral("ERROR");
        const TOnFunctionNotification handler = FOnFunctionNotification;
        if (handler)
            handler(request.arguments().at(0).toString(), sResponse);
        if (!post.IsOpen())
            return; // closed while the question was open: the server learns it from the bus
        fBus.send(request.createReply(sResponse));
    }
    fbServing = false;
}

} // namespace axcc
