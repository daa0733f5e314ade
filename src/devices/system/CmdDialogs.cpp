#include "CmdDialogs.h"

#include "core/CommaSeparatedValue.h"
#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdParameters.h"
#include "execution/Device.h"
#include "execution/DeviceContext.h"

namespace sys {

namespace {

const QString& NoAnswer()
{
    static const QString s = QStringLiteral("No operator answer available");
    return s;
}

QString Inserted(TDeviceContext& aContext, const QString& sText)
{
    return aContext.Variables().InsertValues(sText);
}

// A limit of Dialog.Input.Value: thousand separators removed, the application's decimal separator.
double ReadLimit(const TCommaSeparatedValue& csv, int iField, const QString& sError, std::uint32_t dwId)
{
    QString sText = csv.GetValueTrimmed(iField);
    const QString sWritten = sText;
    RemoveThousandSeparators(sText);
    double rValue = 0.0;
    if (!TextToFloat(sText, TFormatSettings::App().cDecimalSeparator, rValue))
        throw EMsg(sError, {sWritten}, TMsgId(dwId), 0);
    return rValue;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCmdDialogBase

TCmdDialogBase::~TCmdDialogBase()
{
    // A blocking dialog's loop returns into Ask once we are gone, and a face that answers later may
    // still call back: both find fAlive expired.
    Withdraw();
}

void TCmdDialogBase::AskButton(const QString& sCaption, const QString& sText, TDialogButtons eButtons,
                               std::function<void(TDialogAnswer)> aAnswered)
{
    Ask([&](IOperatorDialogs& aDialogs, std::function<void(TJudge)> aReply) {
        aDialogs.AskMessageBox(
            sCaption, sText, eButtons,
            [reply = std::move(aReply), answered = std::move(aAnswered)](TDialogAnswer eAnswer) {
                if (eAnswer == TDialogAnswer::None)
                    reply(nullptr);
                else
                    reply([answered, eAnswer] { answered(eAnswer); });
            });
    });
}

void TCmdDialogBase::AskText(const QString& sCaption, const QString& sPrompt, const QString& sDefault,
                             std::function<void(const QString&)> aAnswered)
{
    Ask([&](IOperatorDialogs& aDialogs, std::function<void(TJudge)> aReply) {
        aDialogs.AskInputBox(
            sCaption, sPrompt, sDefault,
            [reply = std::move(aReply), answered = std::move(aAnswered)](std::optional<QString> answer) {
                if (!answer)
                    reply(nullptr);
                else
                    reply([answered, sAnswer = std::move(*answer)] { answered(sAnswer); });
            });
    });
}

void TCmdDialogBase::Ask(const TQuestion& aQuestion)
{
    IOperatorDialogs* pDialogs = Owner()->Context().Dialogs();
    if (!pDialogs) {
        Fail(NoAnswer());
        return;
    }
    const std::weak_ptr<bool> alive = fAlive;
    const std::uint64_t iQuestion = ++fiQuestion;
    fbAsking = true;
    fbInsideAsk = true;
    aQuestion(*pDialogs, [this, alive, iQuestion](TJudge aJudge) {
        if (!alive.expired())
            Answered(iQuestion, std::move(aJudge));
    });
    if (alive.expired())
        return;
    fbInsideAsk = false;
    if (!fbJudging) // else the judge that asked runs this answer once it returned
        RunJudges();
}

void TCmdDialogBase::Answered(std::uint64_t iQuestion, TJudge aJudge)
{
    if (!fbAsking || iQuestion != fiQuestion)
        return; // withdrawn, or a question of an execution that was cancelled meanwhile
    fbAsking = false;
    if (!Pending())
        return;
    if (!aJudge) {
        Fail(NoAnswer());
        return;
    }
    fJudge = std::move(aJudge);
    if (!fbInsideAsk && !fbJudging)
        RunJudges();
}

void TCmdDialogBase::RunJudges()
{
    const std::weak_ptr<bool> alive = fAlive;
    while (fJudge) {
        const TJudge judge = std::exchange(fJudge, nullptr);
        fbJudging = true;
        Guarded(judge);
        if (alive.expired())
            return;
        fbJudging = false;
    }
}

void TCmdDialogBase::StopPendingWork()
{
    fJudge = nullptr;
    Withdraw();
}

void TCmdDialogBase::Withdraw()
{
    if (!fbAsking)
        return;
    fbAsking = false;
    if (IOperatorDialogs* pDialogs = Owner()->Context().Dialogs())
        pDialogs->CloseActiveDialog();
}

// ---------------------------------------------------------------------------------------------
// Dialog

TCommand* TCmdMessageBox::Init(const QString& sParameter)
{
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsCaption = csv.GetStringTrimmed(1);
    fsText = csv.GetStringTrimmed(2);
    const QString sButtons = csv.GetValueTrimmed(3);
    if (sButtons == QLatin1String("ButtonOk"))
        fiButton = 0;
    else if (sButtons == QLatin1String("ButtonOkCancel"))
        fiButton = 1;
    else if (sButtons == QLatin1String("ButtonYesNo"))
        fiButton = 4;
    else
        throw EMsg(QStringLiteral("Unknown button definition \"%s\"!"), {sButtons}, TMsgId(0x11310A), 0);
    return this;
}

TDialogButtons TCmdMessageBox::Buttons() const
{
    return fiButton == 4   ? TDialogButtons::YesNo
           : fiButton == 1 ? TDialogButtons::OkCancel
                           : TDialogButtons::Ok;
}

void TCmdMessageBox::Start(const QString&)
{
    AskButton(fsCaption, Inserted(Context(), fsText), Buttons(),
              [this](TDialogAnswer eAnswer) { Judge(eAnswer); });
}

void TCmdMessageBox::Judge(TDialogAnswer eAnswer)
{
    switch (eAnswer) {
    case TDialogAnswer::Cancel:
        Fail(QStringLiteral("Closed with [Cancel]"));
        break;
    case TDialogAnswer::No:
        Fail(QStringLiteral("Closed with [No]"));
        break;
    default:
        Finish(crOk);
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Dialog.Input.String

TCommand* TCmdInputBoxStr::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsCaption = csv.GetStringTrimmed(1);
    fsPrompt = csv.GetStringTrimmed(2);
    fsDefault = csv.GetStringTrimmed(3);
    fsExpected = csv.GetStringTrimmed(4);
    if (csv.ValueCount() > 5) {
        fsVariableName = csv.GetString(5);
        RequireVariable(Context().Variables(), fsVariableName, 0x11520A);
    }
    return this;
}

void TCmdInputBoxStr::Start(const QString&)
{
    const QString sDefault = Inserted(Context(), fsDefault);
    AskText(fsCaption, Inserted(Context(), fsPrompt), sDefault,
            [this](const QString& sInput) { Judge(sInput); });
}

void TCmdInputBoxStr::Judge(const QString& sInput)
{
    LogValue(sInput);
    if (!MatchWildcard(sInput, fsExpected)) {
        SetErrorText(QStringLiteral("\"%s\"<>\"%s\""), {fsExpected, sInput});
        Msg().Error(QStringLiteral("Input Failed: Expected= \"%s\" Input= \"%s\""), {fsExpected, sInput});
        Finish(crFailed);
        return;
    }
    Msg().Info(QStringLiteral("Input Passed: Expected= \"%s\" Input= \"%s\""), {fsExpected, sInput});
    if (!fsVariableName.isEmpty() && !Context().Variables().Update(fsVariableName, sInput)) {
        SetErrorText(QStringLiteral("Update %s with \"%s\" failed!"), {fsVariableName, sInput});
        Msg().Error(QStringLiteral("Invalid data type for variable %s"), {fsVariableName});
        Finish(crFailed);
        return;
    }
    Finish(crOk);
}

// ---------------------------------------------------------------------------------------------
// Dialog.Input.Value

TCommand* TCmdInputBoxValue::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsCaption = csv.GetStringTrimmed(1);
    fsPrompt1 = csv.GetStringTrimmed(2);
    fsPrompt2 = csv.GetStringTrimmed(3);
    fsDefault = csv.GetStringTrimmed(4);
    fdValueMin = ReadLimit(csv, 5, QStringLiteral("Unknown format for value min \"%s\"!"), 0x11410A);
    fdValueMax = ReadLimit(csv, 6, QStringLiteral("Unknown format for value max \"%s\"!"), 0x114114);
    if (csv.ValueCount() > 7) {
        fsVariableName = csv.GetString(7);
        RequireVariableOfType(Context().Variables(), fsVariableName, ectIsFloat, 0x11520A);
    }
    return this;
}

void TCmdInputBoxValue::Start(const QString&)
{
    AskValue(Inserted(Context(), fsPrompt1));
}

void TCmdInputBoxValue::AskValue(const QString& sPrompt)
{
    AskText(fsCaption, sPrompt, Inserted(Context(), fsDefault),
            [this](const QString& sAnswer) { Judge(sAnswer); });
}

// The operator cannot leave the dialog without a number: Cancel gives back the default text, which
// is asked again with the repeat prompt when it is no number.
void TCmdInputBoxValue::Judge(const QString& sAnswer)
{
    QString sInput = sAnswer.trimmed();
    RemoveThousandSeparators(sInput);
    double rValue = 0.0;
    if (!TextToFloat(sInput, TFormatSettings::App().cDecimalSeparator, rValue)) {
        AskValue(Inserted(Context(), fsPrompt2));
        return;
    }
    LogValue(FloatToStrG(rValue));
    SetMeasurement(rValue, fdValueMin, fdValueMax);
    if (fdValueMin <= rValue && rValue <= fdValueMax) {
        Msg().Info(QStringLiteral("Input Passed: %g <= %g <= %g"), {fdValueMin, rValue, fdValueMax});
        if (!fsVariableName.isEmpty())
            Context().Variables().SetValue(fsVariableName, rValue);
        Finish(crOk);
        return;
    }
    SetErrorText(QStringLiteral("%g <= %g <= %g"), {fdValueMin, rValue, fdValueMax});
    Msg().Error(QStringLiteral("Input Failed: %g <= %g <= %g!"), {fdValueMin, rValue, fdValueMax});
    Finish(crFailed);
}

} // namespace sys
