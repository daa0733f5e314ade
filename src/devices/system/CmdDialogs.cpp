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
    // The dialog's loop returns to Ask once we are gone; Ask then sees fAlive expired.
    Withdraw();
}

bool TCmdDialogBase::Ask(const std::function<bool(IOperatorDialogs&)>& aAsk)
{
    IOperatorDialogs* pDialogs = Owner()->Context().Dialogs();
    if (!pDialogs) {
        Fail(NoAnswer());
        return false;
    }
    const std::weak_ptr<bool> alive = fAlive;
    fbAsking = true;
    const bool bAnswered = aAsk(*pDialogs);
    if (alive.expired())
        return false;
    fbAsking = false;
    if (!Pending())
        return false; // withdrawn by a cancel
    if (!bAnswered) {
        Fail(NoAnswer());
        return false;
    }
    return true;
}

void TCmdDialogBase::StopPendingWork()
{
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
    TDialogAnswer eAnswer = TDialogAnswer::None;
    const QString sText = Inserted(Context(), fsText);
    const TDialogButtons eButtons = Buttons();
    if (!Ask([&](IOperatorDialogs& aDialogs) {
            eAnswer = aDialogs.MessageBox(fsCaption, sText, eButtons);
            return eAnswer != TDialogAnswer::None;
        }))
        return;
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
    std::optional<QString> answer;
    const QString sDefault = Inserted(Context(), fsDefault);
    const QString sPrompt = Inserted(Context(), fsPrompt);
    if (!Ask([&](IOperatorDialogs& aDialogs) {
            answer = aDialogs.InputBox(fsCaption, sPrompt, sDefault);
            return answer.has_value();
        }))
        return;
    const QString& sInput = *answer;
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
    QString sPrompt = Inserted(Context(), fsPrompt1);
    double rValue = 0.0;
    for (;;) {
        std::optional<QString> answer;
        const QString sDefault = Inserted(Context(), fsDefault);
        if (!Ask([&](IOperatorDialogs& aDialogs) {
                answer = aDialogs.InputBox(fsCaption, sPrompt, sDefault);
                return answer.has_value();
            }))
            return;
        QString sInput = answer->trimmed();
        RemoveThousandSeparators(sInput);
        if (TextToFloat(sInput, TFormatSettings::App().cDecimalSeparator, rValue))
            break;
        sPrompt = Inserted(Context(), fsPrompt2);
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
