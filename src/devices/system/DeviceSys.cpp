#include "DeviceSys.h"

#include "CmdDialogs.h"
#include "CmdExecute.h"
#include "CmdIds.h"
#include "CmdPrint.h"
#include "CmdVariables.h"
#include "CmdWindows.h"
#include "ToneOutput.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/ParseExpr.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"
#include "execution/DeviceList.h"
#include "execution/RunnerHost.h"

namespace sys {

namespace {

const QString& NoRunner()
{
    static const QString s = QStringLiteral("No test process is running");
    return s;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TDeviceSys

// The functions in table order; later command families take their place here.
const TCmdCreateCmd::TTable& TDeviceSys::FunctionTable()
{
    using F = EParamField;
    constexpr auto eShared = TCmdCreateCmd::eShared;
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("DeviceSys TCmdCreateCmd.Init: \"%s\" \"%s\""), 0x111163, 0x11120A,
         QStringLiteral("S1")},
        {
            {"Beep", CreateCommand<TCmdBeep>, nullptr, {EParamField::Label}, eShared},
            {"ShowErrorReport", CreateCommand<TCmdShowErrorReport>, nullptr, {EParamField::Label}, eShared},
            {"WriteValueLog", CreateCommand<TCmdWriteValueLog>, nullptr, {EParamField::Label}, eShared},
            {"Process", CreateCommand<TCmdProcess>, "TCmdProcess", {EParamField::Label, EParamField::Choice}},
            {"SetTestCaseStatus",
             CreateCommand<TCmdSetTestCaseStatus>,
             "TCmdSetTestCaseStatus",
             {F::Label, F::TestCaseOrReference, F::Text}},
            {"Goto", CreateCommand<TCmdGoto>, "TCmdGoto", {F::Label, F::TestCase, F::Condition}},
            {"Delay", CreateCommand<TCmdDelay>, "TCmdDelay", {F::Label, F::Number}},
            {"Pause", CreateCommand<TCmdPause>, "TCmdPause", {F::Label}},
            {"Break", CreateCommand<TCmdBreak>, nullptr, {F::Label}},
            {"Dialog",
             CreateCommand<TCmdMessageBox>,
             "TCmdMessageBox",
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Choice}},
            {"Dialog.Input.String",
             CreateCommand<TCmdInputBoxStr>,
             "TCmdInputBoxStr",
             {F::Label, F::Text, F::Text, F::Text, F::Text, F::Variable}},
            {"Dialog.Input.Value",
             CreateCommand<TCmdInputBoxValue>,
             "TCmdInputBoxValue",
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Text, EParamField::Text,
              EParamField::Number, EParamField::Number, EParamField::Variable}},
            {"Execute",
             CreateCommand<TCmdExecute>,
             "TCmdExecute",
             {EParamField::Label, EParamField::File, EParamField::Text, EParamField::Text,
              EParamField::Number}},
            {"ExistWindow",
             CreateCommand<TCmdExistWindow>,
             "TCmdExistWindow",
             {EParamField::Label, EParamField::Text}},
            {"SendKey",
             CreateCommand<TCmdSendKey>,
             "TCmdSendKey",
             {EParamField::Label, EParamField::Text, EParamField::Text, EParamField::Choice}},
            {"OpenTZD",
             CreateCommand<TCmdOpenTzd>,
             "TCmdFileOpen",
             {EParamField::Label, EParamField::File, EParamField::Choice}},
            {"Print",
             CreateCommand<TCmdPrint>,
             "TCmdPrint",
             {EParamField::Label, EParamField::File, EParamField::Text, EParamField::Choice,
              EParamField::Number, EParamField::Number, EParamField::Number, EParamField::Number}},
            {"AssignValueLog",
             CreateCommand<TCmdAssignValueLog>,
             "TCmdAssignValueLog",
             {EParamField::Label, EParamField::Text, EParamField::Choice}},
            {"AssignVariable",
             CreateCommand<TCmdAssignVariable>,
             "TCmdAssignVariable",
             {F::Label, F::Text, F::Variable}},
            {"AssignVariableEx",
             CreateCommand<TCmdAssignVariableEx>,
             "TCmdAssignVariableEx",
             {F::Label, F::Text, F::Variable}},
            {"AssignVarConditionally",
             CreateCommand<TCmdAssignVarConditionally>,
             "TCmdAssignVarConditionally",
             {EParamField::Label, EParamField::Term, EParamField::Text, EParamField::Text,
              EParamField::Variable}},
            {"VarIntToStr",
             CreateCommand<TCmdIntToStr>,
             "TCmdIntToStr",
             {F::Label, F::Variable, F::NumberFormat, F::Variable}},
            {"VarStrToStr",
             CreateCommand<TCmdStrToStr>,
             "TCmdStrToStr",
             {EParamField::Label, EParamField::Variable, EParamField::Text, EParamField::Variable}},
            {"Calculate", CreateCommand<TCmdCalculate>, "TCmdCalculate", {F::Label, F::Term, F::Variable}},
            {"Evaluate", CreateCommand<TCmdEvaluate>, "TCmdEvaluate", {F::Label, F::Term}},
            {"GetNextID",
             CreateCommand<TCmdIdGetNext>,
             "TCmdIdGetNext",
             {EParamField::Label, EParamField::File, EParamField::Variable}},
            {"RegisterID",
             CreateCommand<TCmdIdRegister>,
             "TCmdIdRegister",
             {EParamField::Label, EParamField::File, EParamField::Variable}},
        }};
    return table;
}

TDeviceSys::TDeviceSys(TDeviceContext& aContext) : TDevice(aContext), fWorker(Msg(), "tzk-sys")
{
    TCmdCreateCmd::AddTo(*this, FunctionTable());
}

void TDeviceSys::Init(const QString&)
{
    // The line names the device only; its debug line comes from the registration.
}

void TDeviceSys::Released()
{
    fWorker.Stop();
}

// ---------------------------------------------------------------------------------------------
// Stateless commands: one object serves every line

TCommand* TCmdBeep::CommandFor(const QString&, const QString&)
{
    return this;
}

void TCmdBeep::Start(const QString&)
{
    // A beep cancelled while it sounded may still be finishing its last tone: the worker waits for
    // it before it plays these.
    IToneOutput& output = Owner()->Context().Part<IToneOutput>();
    RunOnWorker(
        Device().Worker(),
        [&output](const TWorkerThread::TLink&) {
            // Without a sound server the step still passes; the bell at least tells the operator.
            if (!output.PlayTone(800, 40) || !output.PlayTone(500, 20))
                output.Bell();
        },
        [this] { Finish(crDone); });
}

TCommand* TCmdShowErrorReport::CommandFor(const QString&, const QString&)
{
    return this;
}

void TCmdShowErrorReport::Execute(const QString&)
{
    IRunnerControl* pRunner = Owner()->Context().Runner();
    if (pRunner && pRunner->FailureReport()) {
        IFailureReport& report = *pRunner->FailureReport();
        report.ShowQueuedError(pRunner->OperatorName());
        if (report.ExitAfterFailure())
            pRunner->SetExitAfterFailure();
    }
    Conclude(crDone);
}

TCommand* TCmdWriteValueLog::CommandFor(const QString&, const QString&)
{
    return this;
}

void TCmdWriteValueLog::Execute(const QString&)
{
    const IRunnerControl* pRunner = Owner()->Context().Runner();
    try {
        Context().ValueLog().Write(true, pRunner ? pRunner->OperatorName() : QString());
        Context().ValueLog().SetStart();
    } catch (const std::exception& e) {
        // A log that cannot be written fails the step instead of keeping the run waiting.
        SetErrorText(ExceptionText(e));
        Msg().Error(ExceptionText(e));
        Conclude(crFailed);
        return;
    }
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// Process

TCommand* TCmdProcess::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    const QString sMode = csv.GetValueTrimmed(1);
    const std::pair<const char*, EProcessMode> modes[] = {{"ContinueOnFailure", pmContinueOnFailure},
                                                          {"BreakOnFailure", pmBreakOnFailure},
                                                          {"ExitAfterFailure", pmExitAfterFailure}};
    feMode = pmUnknown;
    for (const auto& mode : modes) {
        if (sMode.compare(QLatin1String(mode.first), Qt::CaseInsensitive) == 0)
            feMode = mode.second;
    }
    if (feMode == pmUnknown)
        throw EMsg(QStringLiteral("Unknown label \"%s\" defined!"), {sMode}, TMsgId(0x112100), 0);
    return this;
}

void TCmdProcess::Execute(const QString&)
{
    if (feMode == pmExitAfterFailure) {
        IRunnerControl* pRunner = Owner()->Context().Runner();
        if (!pRunner) {
            SetErrorText(NoRunner());
            Conclude(crFailed);
            return;
        }
        pRunner->SetExitAfterFailure();
    } else if (IRunnerControl* pRunner = Owner()->Context().Runner()) {
        // Through the run: a shared device's context stands for its holder, whose policy it is.
        pRunner->SetEndOnFailure(feMode == pmBreakOnFailure);
    } else {
        Context().SetEndOnFailure(feMode == pmBreakOnFailure);
    }
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// SetTestCaseStatus

TCommand* TCmdSetTestCaseStatus::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 3);
    fsCaseName = csv.GetStringTrimmed(1);
    const QString sStatus = csv.GetValueTrimmed(2);
    if (sStatus.compare(QLatin1String("Enabled"), Qt::CaseInsensitive) == 0)
        fbTestEnabled = true;
    else if (sStatus.compare(QLatin1String("Disabled"), Qt::CaseInsensitive) == 0)
        fbTestEnabled = false;
    else
        throw EError(Format(QStringLiteral("Unknown label \"%s\"!"), {sStatus}));
    return this;
}

void TCmdSetTestCaseStatus::Execute(const QString&)
{
    IRunnerControl* pRunner = Owner()->Context().Runner();
    const QString sName = Context().Variables().InsertValues(fsCaseName);
    if (!pRunner) {
        SetErrorText(NoRunner());
        Conclude(crFailed);
        return;
    }
    if (!pRunner->SetTestCaseStatus(sName, fbTestEnabled)) {
        SetErrorText(QStringLiteral("Test case \"%s\" not found!"), {sName});
        Conclude(crFailed);
        return;
    }
    Msg().Trace(QStringLiteral("Test case \"%s\" %s!"),
                {sName, fbTestEnabled ? QStringLiteral("enabled") : QStringLiteral("disabled")});
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// Goto

TCommand* TCmdGoto::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsCaseName = csv.GetStringTrimmed(1);
    fsTerm = csv.ValueCount() > 2 ? csv.GetStringTrimmed(2) : QString();
    return this;
}

void TCmdGoto::Execute(const QString&)
{
    if (!fsTerm.isEmpty()) {
        const QString sTerm = Context().Variables().InsertValues(fsTerm);
        bool bCondition = false;
        try {
            TExpressionParser parser;
            bCondition = parser.GetAsBoolean(parser.AddExpression(sTerm));
        } catch (const std::exception& e) {
            // A condition that cannot be evaluated is a failure, never a jump.
            const QString sError =
                Format(QStringLiteral("Goto condition invalid \"%s\": %s"), {sTerm, ExceptionText(e)});
            Msg().Error(sError);
            SetErrorText(sError);
            Conclude(crFailed);
            return;
        }
        if (!bCondition) {
            Msg().Trace(QStringLiteral("Goto condition \"%s\" not met - goto ignored."), {sTerm});
            Conclude(crDone);
            return;
        }
    }
    IRunnerControl* pRunner = Owner()->Context().Runner();
    if (!pRunner) {
        SetErrorText(NoRunner());
        Conclude(crFailed);
        return;
    }
    if (!pRunner->SetGotoCase(fsCaseName)) {
        SetErrorText(QStringLiteral("Goto target \"%s\" not found or disabled"), {fsCaseName});
        Conclude(crFailed);
        return;
    }
    Conclude(crOk);
}

// ---------------------------------------------------------------------------------------------
// Delay

TCmdDelay::TCmdDelay(TDevice* aOwner) : TAsyncCommand(aOwner), fTimer(std::make_unique<QTimer>())
{
    fTimer->setSingleShot(true);
    // The engineer's settle time is a minimum: a coarse timer may fire up to 5 % early.
    fTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(fTimer.get(), &QTimer::timeout, Receiver(), Guard([this] { Finish(crDone); }));
}

TCommand* TCmdDelay::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    fiInterval = csv.GetInteger(1);
    return this;
}

void TCmdDelay::Start(const QString&)
{
    Msg().Trace(QStringLiteral("Delay for %d ms"), {fiInterval});
    // Zero or less concludes from the next pass of the event loop, never inside Execute.
    fTimer->start(std::max(fiInterval, 0));
}

void TCmdDelay::StopPendingWork()
{
    fTimer->stop();
}

// ---------------------------------------------------------------------------------------------
// Pause

TCmdPause::~TCmdPause()
{
    Unhook();
}

TCommand* TCmdPause::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    return this;
}

void TCmdPause::Start(const QString&)
{
    IRunnerControl* pRunner = Owner()->Context().Runner();
    if (!pRunner) {
        Fail(NoRunner());
        return;
    }
    fHookedRunner = pRunner;
    pRunner->SetOnKeyContinue([this](int iKey) { return KeyPressed(iKey); });
}

bool TCmdPause::KeyPressed(int iKey)
{
    if (iKey == Qt::Key_Return || iKey == Qt::Key_Enter) {
        Unhook();
        Finish(crOk);
    } else if (iKey == Qt::Key_Escape) {
        Unhook();
        Finish(crFailed);
    } else if (iKey == ciKeyNoAnswer) {
        Unhook();
        Fail(QStringLiteral("No operator answer available"));
    } else {
        return false; // every other key is left to the main window
    }
    return true;
}

void TCmdPause::StopPendingWork()
{
    Unhook();
}

void TCmdPause::Unhook()
{
    if (fHookedRunner && fHookedRunner == Owner()->Context().Runner())
        fHookedRunner->ClearOnKeyContinue();
    fHookedRunner = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Break

TCommand* TCmdBreak::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    return this;
}

void TCmdBreak::Execute(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdBreak.Execute: ") + sParameter);
    Conclude(crBreak);
}

} // namespace sys
