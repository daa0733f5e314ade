#pragma once

#include "execution/AsyncCommand.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CommandOf.h"
#include "execution/Device.h"

#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

namespace axcc {

class TComInterface;

// The automation client: calls functions of a separate automation server over D-Bus, answers the
// server's questions to the operator, and bounds every call with a watchdog.
//
//   Device.Create(AXCC; <name>; <timeout ms>[; <bus>])
//
// <bus>: "session" (the default), "system", or a D-Bus address.
class TDeviceAxcc : public TDevice
{
public:
    using TDoneEvent = std::function<void(const QString& sError)>;

    explicit TDeviceAxcc(TDeviceContext& aContext);
    ~TDeviceAxcc() override;

    // The device's functions, read by its registration and its constructor.
    static const TCmdCreateCmd::TTable& FunctionTable();

    static QString KeyName() { return QStringLiteral("AXCC"); }
    void Init(const QString& sDefinition) override;
    void Released() override;

    // Connects to the server; aDone gets an empty text, or the open error's text.
    void Open(TDoneEvent aDone);
    void Close();
    bool Connected() const;
    // Stores the server timeout for the next Open; when connected passes it on (aDone reports the
    // server's answer) and returns true, else returns false.
    bool SetTimer(int iMilliSeconds, TDoneEvent aDone);
    // Starts a function; the device result event reports its end (result, error or watchdog).
    void ExecFunction(const QString& sFunctionCall);
    // The operator cancelled the running function.
    void CancelFunction();
    // The running function is abandoned without the operator (its command goes away).
    void AbandonFunction();

    bool WatchdogActive() const { return fTimer->isActive(); }
    void StopWatchdog() { fTimer->stop(); }
    const QString& FunctionResult() const { return FsFunctionResult; }
    int AxcsTimeout() const { return fAxcsTimeout; }
    int WatchdogInterval() const { return fTimer->interval(); }
    const QString& Bus() const { return fsBus; }

private:
    void FunctionResultArrived(const QString& sFunctionResult);
    void ResultArrived(const QString& sFunctionResult);
    void FunctionNotification(const QString& sRequest, QString& sResponse);
    // Shows the operator the dialog a request asks for: the button pressed (>= 0), -1 for a request
    // that is not a dialog request, -2 when the dialog failed.
    int ShowMsgDlgRequest(const QString& sRequest, bool& bAgreed);
    void ServerLost();
    void WatchdogFired();
    void CloseMsgDlg();
    // The call fails with "AXCC error!"; sText goes to the log.
    void CallError(const QString& sText);
    // Ends the running call and raises the device result event.
    void RaiseResult();
    void EndCall();
    // Frees the connection; an open or timeout under way learns sReason, a running call ends.
    void CloseConnection(const QString& sReason);

    std::unique_ptr<QTimer> fTimer;
    std::unique_ptr<TComInterface> fCom;
    int fAxcsTimeout = 0;
    bool fbWaitForMsgDlg = false;
    QString FsFunctionResult;
    QString fsBus;
    bool fbConnected = false;
    bool fbCallRunning = false;    // from ExecFunction until its end is raised
    bool fbAwaitingResult = false; // the server started the function; its result signal counts
    // A result signal may overtake the reply that says the function started: it is kept until then.
    bool fbEarlyResult = false;
    QString fsEarlyResult;
    bool fbDialogWithdrawn = false;
    std::uint64_t fiCall = 0; // replies for an older call are dropped
    TDoneEvent fPending;      // the open or timeout waiting for the server
};

// Registers the family's device types with the device list: "AXCC".
void RegisterDevices(TDeviceTypes& aTypes);

class TCmdOpen : public TCommandOf<TDeviceAxcc, TAsyncCommand>
{
public:
    using TCommandOf::TCommandOf;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;
};

class TCmdClose : public TCommandOf<TDeviceAxcc>
{
public:
    using TCommandOf::TCommandOf;
    void Execute(const QString& sParameter) override;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;
};

class TCmdTimeout : public TCommandOf<TDeviceAxcc, TAsyncCommand>
{
public:
    using TCommandOf::TCommandOf;
    TCommand* Init(const QString& sParameter) override;
    unsigned Time() const { return fnTime; }

protected:
    void Start(const QString& sParameter) override;

private:
    unsigned fnTime = 0;
};

class TCmdExecFunction : public TCommandOf<TDeviceAxcc, TAsyncCommand>
{
public:
    explicit TCmdExecFunction(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;
    void Cancel() override;

protected:
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;

    QString fsVariableName;
    QString fsFunctionCall;
    QString fsExpectedResult;

private:
    void Conclude();

    TDeviceClaim fClaim;
};

} // namespace axcc
