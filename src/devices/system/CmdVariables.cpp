#include "CmdVariables.h"

#include "core/CommaSeparatedValue.h"
#include "core/EscTaggedString.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "core/ParseExpr.h"
#include "core/StrUtilsEx.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/CmdParameters.h"

#include <cmath>

namespace sys {

namespace {

void LogInit(const char* sClass, const QString& sParameter)
{
    TMsg::Debug(QString::fromLatin1(sClass) + QStringLiteral(".Init: ") + sParameter);
}

void LogExecute(const char* sClass, const QString& sParameter)
{
    TMsg::Debug(QString::fromLatin1(sClass) + QStringLiteral(".Execute: ") + sParameter);
}

QString Inserted(const QString& sText)
{
    return TVariableManager::Instance().InsertValues(sText);
}

// A condition as a Boolean; an empty one is false. Raises when it cannot be evaluated.
bool ConditionHolds(const QString& sCondition)
{
    if (sCondition.trimmed().isEmpty())
        return false;
    TExpressionParser parser;
    return parser.GetAsBoolean(parser.AddExpression(sCondition));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// AssignValueLog

TCommand* TCmdAssignValueLog::Init(const QString& sParameter)
{
    LogInit("TCmdAssignValueLog", sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    if (csv.ValueCount() < 2)
        throw EError(Format(QStringLiteral("Number of parameters found: %d < min. %d needed parameters!"),
                            {csv.ValueCount(), 2}));
    // The column follows the label's closing quote: "Label"§Column.
    QString sLabel = csv.GetValueTrimmed(0);
    sLabel = sLabel.mid(sLabel.lastIndexOf(QLatin1Char('"')) + 1);
    const int iMark = sLabel.indexOf(QChar(0x00A7));
    fsLogValName = iMark >= 0 ? sLabel.mid(iMark + 1) : QString();
    if (fsLogValName.isEmpty())
        throw EError(QStringLiteral("Missing value log name: \u00A7Sample!"));
    fsValue = csv.GetString(1);
    const bool bMultipleUse =
        csv.ValueCount() > 2 && csv.GetValueTrimmed(2).contains(QLatin1String("MultipleUse"));
    if (!TValueLog::Instance().Append(fsLogValName) && !bMultipleUse)
        TMsg::Warning(QStringLiteral("Log value \"%s\" multiple used!"), {fsLogValName});
    return this;
}

void TCmdAssignValueLog::Execute(const QString& sParameter)
{
    LogExecute("TCmdAssignValueLog", sParameter);
    try {
        LogValue(Inserted(fsValue));
    } catch (const std::exception& e) {
        const QString sError = QStringLiteral("Value log assigment failed: ") + ExceptionText(e);
        TMsg::Error(sError);
        SetErrorText(sError);
        Conclude(crFailed);
        return;
    }
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// AssignVariable, AssignVariableEx

TCommand* TCmdAssignVariable::Init(const QString& sParameter)
{
    LogInit(ClassName(), sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 3);
    fsValue = Unquote(csv.GetValueTrimmed(1), QLatin1Char('"'));
    fsVariableName = csv.GetValueTrimmed(2);
    RequireVariable(fsVariableName);
    return this;
}

void TCmdAssignVariable::Execute(const QString& sParameter)
{
    LogExecute(ClassName(), sParameter);
    ECmdResult eResult = crFailed;
    try {
        const QString sText = ValueText(Inserted(fsValue));
        if (TVariableManager::Instance().Update(fsVariableName, sText)) {
            Updated(sText);
            eResult = crDone;
        } else {
            UpdateFailed(sText);
        }
    } catch (const std::exception& e) {
        const QString sError = QStringLiteral("Variable assigment failed: ") + ExceptionText(e);
        TMsg::Error(sError);
        SetErrorText(sError);
    }
    Conclude(eResult);
}

void TCmdAssignVariable::Updated(const QString&)
{
    TMsg::Trace(QStringLiteral("Updated variable %s = %s"),
                {fsVariableName, TVariableManager::Instance().GetAsStr(fsVariableName)});
}

QString TCmdAssignVariableEx::ValueText(const QString& sInserted) const
{
    return TEscTaggedString::Transform(sInserted);
}

void TCmdAssignVariableEx::Updated(const QString&)
{
    const QString sValue = TVariableManager::Instance().GetAsStr(fsVariableName);
    TMsg::Trace(QStringLiteral("Updated variable %s = \"%s\"; %s"),
                {fsVariableName, EscapeText(sValue), HexDump(sValue)});
}

void TCmdAssignVariableEx::UpdateFailed(const QString& sText)
{
    SetErrorText(QStringLiteral("Update \"%s\" with \"%s\" failed!"), {fsVariableName, sText});
}

// ---------------------------------------------------------------------------------------------
// AssignVarConditionally

TCommand* TCmdAssignVarConditionally::Init(const QString& sParameter)
{
    LogInit("TCmdAssignVarConditionally", sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 5);
    fsCondition = csv.GetValueTrimmed(1);
    fsTrueValue = csv.GetValueTrimmed(2);
    fsFalseValue = csv.GetValueTrimmed(3);
    fsVariableName = csv.GetValueTrimmed(4);
    RequireVariable(fsVariableName);
    return this;
}

void TCmdAssignVarConditionally::Execute(const QString& sParameter)
{
    LogExecute("TCmdAssignVarConditionally", sParameter);
    ECmdResult eResult = crFailed;
    try {
        const QString sCondition = Inserted(fsCondition);
        const bool bHolds = ConditionHolds(sCondition);
        TMsg::Info(bHolds ? QStringLiteral("Condition is TRUE: %s")
                          : QStringLiteral("Condition is FALSE: %s"),
                   {sCondition});
        const QString sText = Inserted(bHolds ? fsTrueValue : fsFalseValue);
        TVariableManager& variables = TVariableManager::Instance();
        if (variables.Update(fsVariableName, sText)) {
            TMsg::Trace(QStringLiteral("Updated variable %s = %s"),
                        {fsVariableName, variables.GetAsStr(fsVariableName)});
            eResult = crDone;
        } else {
            SetErrorText(QStringLiteral("Update \"%s\" with \"%s\" failed!"), {fsVariableName, sText});
        }
    } catch (const std::exception& e) {
        const QString sError = QStringLiteral("Conditional variable assignment failed: ") + ExceptionText(e);
        TMsg::Error(sError);
        SetErrorText(sError);
    }
    Conclude(eResult);
}

// ---------------------------------------------------------------------------------------------
// VarIntToStr, VarStrToStr

TCommand* TCmdVarToVarBase::Init(const QString& sParameter)
{
    LogInit(ClassName(), sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsVarNameA = csv.GetValueTrimmed(1);
    fsFormat = csv.GetStringTrimmed(2);
    fsVarNameB = csv.GetValueTrimmed(3);
    CheckSource();
    return this;
}

void TCmdIntToStr::CheckSource() const
{
    RequireVariableOfType(fsVarNameA, ectIsInteger, 0x11920A);
}

void TCmdIntToStr::Execute(const QString& sParameter)
{
    LogExecute(ClassName(), sParameter);
    TVariableManager& variables = TVariableManager::Instance();
    ECmdResult eResult = crFailed;
    try {
        const std::int64_t iValue = variables.GetAsInt(fsVarNameA);
        // The store logs why a conversion failed.
        if (variables.SetIntToStr(iValue, fsVarNameB, fsFormat)) {
            TMsg::Trace(
                QStringLiteral("Variable %s=%d saved formatted in %s=\"%s\""),
                {fsVarNameA, static_cast<long long>(iValue), fsVarNameB, variables.GetAsStr(fsVarNameB)});
            eResult = crDone;
        } else {
            SetErrorText(QStringLiteral("Formatting %s into %s failed!"), {fsVarNameA, fsVarNameB});
        }
    } catch (const std::exception& e) {
        TMsg::Error(ExceptionText(e));
        SetErrorText(ExceptionText(e));
    }
    Conclude(eResult);
}

void TCmdStrToStr::CheckSource() const
{
    RequireVariable(fsVarNameA, 0x11930A);
}

void TCmdStrToStr::Execute(const QString& sParameter)
{
    LogExecute(ClassName(), sParameter);
    TVariableManager& variables = TVariableManager::Instance();
    try {
        const QString sText = variables.GetAsStr(fsVarNameA);
        variables.SetStrToStr(sText, fsVarNameB, fsFormat);
        TMsg::Trace(QStringLiteral("Variable %s=\"%s\" saved formatted in %s=\"%s\""),
                    {fsVarNameA, sText, fsVarNameB, variables.GetAsStr(fsVarNameB)});
    } catch (const std::exception& e) {
        // A target of another type: the step fails with the store's reason instead of hanging the run.
        TMsg::Error(ExceptionText(e));
        SetErrorText(ExceptionText(e));
        Conclude(crFailed);
        return;
    }
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// Calculate

TCommand* TCmdCalculate::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    LogInit("TCmdCalculate", sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsTerm = csv.GetValueTrimmed(1);
    fsVariableName = csv.GetValueTrimmed(2);
    return this;
}

void TCmdCalculate::Store(double rValue) const
{
    TVariableManager& variables = TVariableManager::Instance();
    switch (variables.GetType(fsVariableName)) {
    case evtInteger: {
        // Halves go to the even neighbour (the default rounding mode).
        const double rRounded = std::nearbyint(rValue);
        if (!(rRounded >= -9223372036854775808.0 && rRounded < 9223372036854775808.0))
            throw EError(
                Format(QStringLiteral("Result %s is out of the integer range!"), {FloatToStrG(rValue)}));
        variables.SetValue(fsVariableName, static_cast<std::int64_t>(rRounded));
        break;
    }
    case evtFloat:
        variables.SetValue(fsVariableName, rValue);
        break;
    case evtString:
        variables.SetValue(fsVariableName, FloatToStrG(rValue, 5));
        break;
    case evtNone:
        throw EMsg(QStringLiteral("Unknown variable type \"%s\""), {fsVariableName}, TMsgId(0x11B100), 0);
    }
}

void TCmdCalculate::Execute(const QString& sParameter)
{
    LogExecute("TCmdCalculate", sParameter);
    const QString sTerm = Inserted(fsTerm);
    try {
        TExpressionParser parser;
        const double rValue = parser.GetResults(parser.AddExpression(sTerm));
        if (std::isnan(rValue))
            throw EError(QStringLiteral("Result is not a number!"));
        Store(rValue);
    } catch (const std::exception& e) {
        TMsg::Error(QStringLiteral("Invalid term \"%s\": %s"), {sTerm, ExceptionText(e)});
        SetErrorText(QStringLiteral("Calculation failed: %s!"), {sTerm});
        TMsg::Error(QStringLiteral("Calculation failed: %s!"), {sTerm});
        Conclude(crFailed);
        return;
    }
    const QString sResult = TVariableManager::Instance().GetAsStr(fsVariableName);
    TMsg::Info(QStringLiteral("Result in \"%s\" = %s from %s "), {fsVariableName, sResult, sTerm});
    LogValue(sResult);
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// Evaluate

TCommand* TCmdEvaluate::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    LogInit("TCmdEvaluate", sParameter);
    fsTerm = ParameterFields(sParameter).GetValueTrimmed(1);
    return this;
}

void TCmdEvaluate::Execute(const QString& sParameter)
{
    LogExecute("TCmdEvaluate", sParameter);
    const QString sTerm = Inserted(fsTerm);
    bool bHolds = false;
    try {
        TExpressionParser parser;
        bHolds = parser.GetAsBoolean(parser.AddExpression(sTerm));
    } catch (const std::exception& e) {
        TMsg::Error(QStringLiteral("Invalid expression %s: %s"), {sTerm, ExceptionText(e)});
    }
    if (bHolds) {
        TMsg::Info(QStringLiteral("Expression is true: %s"), {sTerm});
        Conclude(crOk);
        return;
    }
    SetErrorText(QStringLiteral("Expression is false: %s!"), {sTerm});
    TMsg::Error(QStringLiteral("Expression is false or evaluation failed: %s!"), {sTerm});
    Conclude(crFailed);
}

} // namespace sys
