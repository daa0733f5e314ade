#include "DeviceAxcc.h"

#include "ComInterface.h"
#include "MsgDlgRequest.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"
#include "execution/DeviceList.h"
#include "execution/OperatorDialogs.h"

#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

namespace axcc {

namespace {

// The watchdog gives the server two seconds beyond its own limit to report.
constexpr int ciWatchdogMarginMs = 2000;

int ClampedTime(qint64 iMilliSeconds)
{
    return int(std::clamp<qint64>(iMilliSeconds, 0, INT_MAX));
}

QString FirstLine(const QString& sText)
{
    return sText.section(QRegularExpression(QStringLiteral("[\r\n]")), 0, 0);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TDeviceAxcc

TDeviceAxcc::TDeviceAxcc(TDeviceContext& aContext) : TDevice(aContext), fTimer(std::make_unique<QTimer>())
{
    fTimer->setSingleShot(true);
    fTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire a little early
    fTimer->setInterval(ciWatchdogMarginMs);
    QObject::connect(fTimer.get(), &QTimer::timeout, fTimer.get(), [this] { WatchdogFired(); });

    TCmdCreateCmd::AddTo(*this, FunctionTable());
}

const TCmdCreateCmd::TTable& TDeviceAxcc::FunctionTable()
{
    constexpr auto eShared = TCmdCreateCmd::eShared;
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("DeviceAxcc TCmdCreateCmd.Init: \"%s\" \"%s\""), 0x291114, 0x29120A,
         QStringLiteral("S1")},
        {
            {"Open", CreateCommand<TCmdOpen>, nullptr, {EParamField::Label}, eShared},
            {"Close", CreateCommand<TCmdClose>, nullptr, {EParamField::Label}, eShared},
            {"Timeout", CreateCommand<TCmdTimeout>, "TCmdTimeout", {EParamField::Label, EParamField::Number}},
            {"Execute",
             CreateCommand<TCmdExecFunction>,
             "TCmdExecFunction",
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Variable}},
        }};
    return table;
}

TDeviceAxcc::~TDeviceAxcc()
{
    TDeviceAxcc::Released();
}

void TDeviceAxcc::Init(const QString& sDefinition)
{
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    RequireFieldCount(csv, 3);
    SetTimer(ClampedTime(std::abs(qint64(csv.GetInteger(2)))), nullptr);
    fsBus = csv.ValueCount() > 3 ? csv.GetStringTrimmed(3) : QString();
}

void TDeviceAxcc::Released()
{
    // A command still waiting was cancelled by the device list before.
    Close();
}

void TDeviceAxcc::Open(TDoneEvent aDone)
{
    if (Connected()) {
        Msg().Warning(QStringLiteral("AXCC already open"));
        aDone(QString());
        return;
    }
    Close();
    fPending = [this, aDone](const QString& sError) {
        if (sError.isEmpty()) {
            aDone(QString());
            return;
        }
        Msg().Debug(QStringLiteral("AXCC open exception: %s"), {sError});
        aDone(ExceptionText(EMsg(QStringLiteral("Error \"%s\"!"), {sError}, TMsgId(0x29010A), 0)));
    };
    try {
        fCom = std::make_unique<TComInterface>(fsBus, Msg());
    } catch (const std::exception& e) {
        CloseConnection(ExceptionText(e));
        return;
    }
    // The first call finds the server; from its reply on, its events reach this device.
    fCom->SetTimeout(fAxcsTimeout, [this](const QString& sError) {
        if (!sError.isEmpty()) {
            CloseConnection(sError);
            return;
        }
        fCom->FOnFunctionResult = [this](int, const QString& sResult) { FunctionResultArrived(sResult); };
        fCom->FOnFunctionNotification = [this](const QString& sRequest, QString& sResponse) {
            FunctionNotification(sRequest, sResponse);
        };
        fCom->FOnServerLost = [this] { ServerLost(); };
        fCom->GetInfo([this](const QString& sInfoError, const QString& sInfo) {
            if (!sInfoError.isEmpty()) {
                CloseConnection(sInfoError);
                return;
            }
            fbConnected = true;
            Msg().Info(QStringLiteral("AXCC Server opened: %s"), {sInfo});
            const TDoneEvent done = std::exchange(fPending, nullptr);
            if (done)
                done(QString());
        });
    });
}

void TDeviceAxcc::Close()
{
    CloseConnection(QStringLiteral("AXCC closed"));
}

bool TDeviceAxcc::Connected() const
{
    return fbConnected && fCom;
}

bool TDeviceAxcc::SetTimer(int iMilliSeconds, TDoneEvent aDone)
{
    fAxcsTimeout = iMilliSeconds;
    fTimer->setInterval(ClampedTime(qint64(iMilliSeconds) + ciWatchdogMarginMs));
    if (!Connected())
        return false;
    fPending = std::move(aDone);
    fCom->SetTimeout(iMilliSeconds, [this](const QString& sError) {
        const TDoneEvent done = std::exchange(fPending, nullptr);
        if (done)
            done(sError);
    });
    return true;
}

void TDeviceAxcc::ExecFunction(const QString& sFunctionCall)
{
    ClearErrorText();
    FsFunctionResult.clear();
    Msg().Trace(QStringLiteral("AXCC call: %s"), {sFunctionCall});
    fbCallRunning = true;
    fbAwaitingResult = false;
    fbEarlyResult = false;
    fsEarlyResult.clear();
    const std::uint64_t iCall = ++fiCall;
    if (!Connected()) {
        CallError(QStringLiteral("AXCC not open!"));
        return;
    }
    fTimer->start();
    fCom->ExecuteFunction(
        sFunctionCall, fTimer->interval(),
        [this, iCall](const QString& sError, int iReturnCode, const QString& sResult) {
            if (iCall != fiCall || !fbCallRunning)
                return; // the call ended meanwhile (watchdog, cancel)
            if (!sError.isEmpty()) {
                CallError(sError);
            } else if (iReturnCode == 0) {
                ResultArrived(sResult);
            } else if (iReturnCode > 0) {
                Msg().Debug(QStringLiteral("TDeviceAxcc.ExecFunction: Return code %d"), {iReturnCode});
                fbAwaitingResult = true;
                if (std::exchange(fbEarlyResult, false))
                    ResultArrived(fsEarlyResult);
            } else {
                SetErrorText(sResult.isEmpty()
                                 ? Format(QStringLiteral("Function error %d!"), {iReturnCode})
                                 : Format(QStringLiteral("Function error %d: %s!"), {iReturnCode, sResult}));
                RaiseResult();
            }
        });
}

void TDeviceAxcc::CancelFunction()
{
    fTimer->stop();
    EndCall();
    if (Connected())
        fCom->CancelFunction();
    SetErrorText(QStringLiteral("Cancelled by user!"));
    Msg().Error(QStringLiteral("Cancelled by user!"));
}

void TDeviceAxcc::AbandonFunction()
{
    fTimer->stop();
    if (!fbCallRunning)
        return;
    EndCall();
    if (Connected())
        fCom->CancelFunction();
}

void TDeviceAxcc::FunctionResultArrived(const QString& sFunctionResult)
{
    if (fbCallRunning && !fbAwaitingResult) {
        fbEarlyResult = true;
        fsEarlyResult = sFunctionResult;
        return;
    }
    // Only a function the server said it started has a result to wait for; anything else is the
    // late report of a call that already ended.
    if (!fbCallRunning) {
        Msg().Debug(QStringLiteral("AXCC result without a waiting call: %s"), {sFunctionResult});
        return;
    }
    ResultArrived(sFunctionResult);
}

void TDeviceAxcc::ResultArrived(const QString& sFunctionResult)
{
    FsFunctionResult = sFunctionResult;
    Msg().Trace(QStringLiteral("AXCC result: %s"), {sFunctionResult});
    RaiseResult();
}

void TDeviceAxcc::FunctionNotification(const QString& sRequest, QString& sResponse)
{
    Msg().Trace(QStringLiteral("Notification:") + sRequest);
    // The dialog runs an event loop, in which the definition may be unloaded and this device go.
    const TDeviceLifeGuard device = Waiter().LifeGuard();
    try {
        if (!fbCallRunning)
            throw EError(QStringLiteral("No function is running"));
        bool bAgreed = false;
        int iResult = -2;
        fbWaitForMsgDlg = true;
        try {
            iResult = ShowMsgDlgRequest(sRequest, bAgreed);
        } catch (...) {
            if (device.Alive())
                fbWaitForMsgDlg = false;
            throw;
        }
        if (!device.Alive()) {
            sResponse = QStringLiteral("REJECTED");
            return;
        }
        fbWaitForMsgDlg = false;
        if (iResult < 0)
            throw EError(Format(QStringLiteral("Invalid request %d: %s"), {iResult, sRequest}));
        sResponse = bAgreed ? QStringLiteral("AGREED") : QStringLiteral("REJECTED");
        Msg().Trace(QStringLiteral("Response:") + sResponse);
    } catch (const std::exception& e) {
        sResponse = QStringLiteral("ERROR");
        Msg().Error(QStringLiteral("AXCC fatal error in notification: ") + ExceptionText(e));
        if (device.Alive() && fbCallRunning) {
            SetErrorText(QStringLiteral("AXCC fatal error!"));
            // The server reports the cancelled function; the watchdog stays on, so that a server
            // that never does still ends the call.
            if (fCom)
                fCom->CancelFunction();
        }
    }
}

int TDeviceAxcc::ShowMsgDlgRequest(const QString& sRequest, bool& bAgreed)
{
    const std::optional<TMsgDlgRequest> request = TMsgDlgRequest::Parse(sRequest);
    if (!request)
        return -1;
    IOperatorDialogs* pDialogs = Context().Dialogs();
    TDialogAnswer eAnswer = TDialogAnswer::None;
    fbDialogWithdrawn = false;
    const TDeviceLifeGuard device = Waiter().LifeGuard();
    if (pDialogs)
        eAnswer = pDialogs->MessageBox(Name(), request->sText, request->Buttons());
    if (!device.Alive())
        return -3; // the device went while the dialog was open
    if (eAnswer == TDialogAnswer::None) {
        Msg().Error(QStringLiteral("No operator answer available"));
        return -2;
    }
    // A dialog closed from outside is never an agreement, whatever its button set reports.
    bAgreed = !fbDialogWithdrawn && (eAnswer == TDialogAnswer::Ok || eAnswer == TDialogAnswer::Yes);
    return int(eAnswer);
}

void TDeviceAxcc::ServerLost()
{
    const QString sServer = fCom ? fCom->ServerName() : QString();
    if (fbCallRunning) {
        SetErrorText(QStringLiteral("AXCC server lost!"));
        Msg().Error(QStringLiteral("AXCC server lost: %s left the bus while a function ran"), {sServer});
    } else {
        Msg().Warning(QStringLiteral("AXCC server lost: %s left the bus"), {sServer});
    }
    CloseConnection(QStringLiteral("AXCC server lost"));
}

void TDeviceAxcc::WatchdogFired()
{
    if (!fbCallRunning)
        return;
    Msg().Error(QStringLiteral("AXCC timeout event!"));
    // The server is told to stop, so that it is free for the next call.
    if (Connected())
        fCom->CancelFunction();
    RaiseResult();
}

void TDeviceAxcc::CloseMsgDlg()
{
    fbDialogWithdrawn = true;
    if (IOperatorDialogs* pDialogs = Context().Dialogs())
        pDialogs->CloseActiveDialog();
}

void TDeviceAxcc::CallError(const QString& sText)
{
    SetErrorText(QStringLiteral("AXCC error!"));
    Msg().Error(QStringLiteral("AXCC error: ") + sText);
    RaiseResult();
}

void TDeviceAxcc::RaiseResult()
{
    EndCall();
    Waiter().OnResult();
    fTimer->stop();
}

void TDeviceAxcc::EndCall()
{
    fbEarlyResult = false;
    fbCallRunning = false;
    fbAwaitingResult = false;
    ++fiCall;
    if (fbWaitForMsgDlg)
        CloseMsgDlg();
    // Questions still queued behind the one shown ask about a function that has ended.
    if (fCom)
        fCom->AnswerWaitingNotifications(QStringLiteral("REJECTED"));
}

void TDeviceAxcc::CloseConnection(const QString& sReason)
{
    const TDoneEvent pending = std::exchange(fPending, nullptr);
    const bool bCallRunning = fbCallRunning;
    fbConnected = false;
    fCom.reset();
    if (pending)
        pending(sReason);
    if (bCallRunning) {
        if (ErrorText().isEmpty()) {
            SetErrorText(QStringLiteral("AXCC error!"));
            Msg().Error(QStringLiteral("AXCC error: ") + sReason);
        }
        fTimer->stop();
        RaiseResult();
    }
}

// ---------------------------------------------------------------------------------------------
// Open and Close: one object each serves every line

TCommand* TCmdOpen::CommandFor(const QString&, const QString&)
{
    return this;
}

void TCmdOpen::Start(const QString&)
{
    Device().Open([this](const QString& sError) {
        Guarded([&] {
            if (sError.isEmpty()) {
                Finish(crOk);
                return;
            }
            Msg().Error(QStringLiteral("Cannot open AXCC: ") + FirstLine(sError));
            Fail(QStringLiteral("Cannot open AXCC!"));
        });
    });
}

void TCmdOpen::StopPendingWork()
{
    // An open under way is given up.
    if (!Device().Connected())
        Device().Close();
}

TCommand* TCmdClose::CommandFor(const QString&, const QString&)
{
    return this;
}

void TCmdClose::Execute(const QString&)
{
    FCmdResult = crFailed;
    try {
        Device().Close();
    } catch (const std::exception& e) {
        SetErrorText(QStringLiteral("Cannot close AXCC!"));
        Msg().Error(QStringLiteral("Cannot close AXCC: ") + FirstLine(ExceptionText(e)));
        Conclude(crFailed);
        return;
    }
    Conclude(crOk);
}

// ---------------------------------------------------------------------------------------------
// Timeout

TCommand* TCmdTimeout::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    fnTime = unsigned(std::min<qint64>(std::abs(qint64(csv.GetInteger(1))), INT_MAX));
    return this;
}

void TCmdTimeout::Start(const QString&)
{
    const bool bConnected = Device().SetTimer(int(fnTime), [this](const QString& sError) {
        Guarded([&] {
            if (sError.isEmpty()) {
                Finish(crOk);
                return;
            }
            Msg().Error(QStringLiteral("Cannot set timeout: ") + sError);
            Fail(QStringLiteral("Cannot set timeout!"));
        });
    });
    if (!bConnected) {
        // The value is kept all the same and applies at the next Open.
        Msg().Error(QStringLiteral("Missing open device to set timeout!"));
        Fail(QStringLiteral("Cannot set timeout!"));
    }
}

// ---------------------------------------------------------------------------------------------
// Execute

TCmdExecFunction::TCmdExecFunction(TDevice* aOwner)
    : TCommandOf(aOwner),
      fClaim(*this, {QStringLiteral("Command execution not finished last time!"), 0x29210A})
{}

TCommand* TCmdExecFunction::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 3);
    fsFunctionCall = csv.GetString(1);
    fsExpectedResult = csv.GetString(2);
    fsVariableName = csv.ValueCount() > 3 ? csv.GetStringTrimmed(3) : QString();
    if (!fsVariableName.isEmpty())
        RequireVariable(Context().Variables(), fsVariableName, 0x29210A);
    return this;
}

void TCmdExecFunction::Start(const QString&)
{
    fClaim.Claim([this] { Conclude(); });
    Device().ExecFunction(Context().Variables().InsertValues(fsFunctionCall));
}

void TCmdExecFunction::Conclude()
{
    TDeviceAxcc& device = Device();
    ECmdResult eResult = crFailed;
    QString sError;
    if (!device.ErrorText().isEmpty()) {
        sError = device.ErrorText();
    } else if (device.WatchdogActive()) {
        // A result arrived in time.
        const QString& sResult = device.FunctionResult();
        Msg().Debug(QStringLiteral("TDeviceAxcc TCmdExecFunction.Conclude: \"%s\""), {sResult});
        LogValue(sResult);
        const QString sExpected = Context().Variables().InsertValues(fsExpectedResult);
        if (MatchWildcard(sResult, sExpected)) {
            eResult = crOk;
            Msg().Info(QStringLiteral("Response Passed: Expected= \"%s\" = \"%s\""), {sExpected, sResult});
        } else {
            sError = Format(QStringLiteral("\"%s\"<>\"%s\""), {sExpected, sResult});
            Msg().Error(QStringLiteral("Response Failed: Expected= \"%s\" <> \"%s\""), {sExpected, sResult});
        }
        if (!fsVariableName.isEmpty() && !Context().Variables().Update(fsVariableName, sResult)) {
            eResult = crFailed;
            sError = Format(QStringLiteral("Update %s with \"%s\" failed!"), {fsVariableName, sResult});
            Msg().Error(QStringLiteral("Response Failed: Invalid data type for variable %s"),
                        {fsVariableName});
        }
    } else {
        sError = QStringLiteral("Timeout!");
        Msg().Error(QStringLiteral("AXCC timeout!"));
    }
    device.StopWatchdog();
    if (eResult == crFailed)
        Fail(sError);
    else
        Finish(eResult);
}

void TCmdExecFunction::Cancel()
{
    // The operator's cancel: the server is told so and the log says it.
    if (Pending() && fClaim.Release())
        Device().CancelFunction();
    TAsyncCommand::Cancel();
}

void TCmdExecFunction::StopPendingWork()
{
    if (fClaim.Release())
        Device().AbandonFunction();
}

} // namespace axcc
