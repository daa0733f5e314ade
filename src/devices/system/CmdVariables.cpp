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

void LogExecute(TDeviceContext& aContext, const char* sClass, const QString& sParameter)
{
    aContext.Msg().Debug(QString::fromLatin1(sClass) + QStringLiteral(".Execute: ") + sParameter);
}

QString Inserted(TDeviceContext& aContext, const QString& sText)
{
    return aContext.Variables().InsertValues(sText);
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
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    if (csv.ValueCount() < 2)
        throw EError(Format(QStringLiteral("Number of parameters found: %d < min. %d needed parameters!"),
                            {csv.ValueCount(), 2}));
    fsLogValName = LogColumnName(csv.GetValueTrimmed(0));
    if (fsLogValName.isEmpty())
        throw EError(QStringLiteral("Missing value log name: \u00A7Sample!"));
    fsValue = csv.GetString(1);
    const bool bMultipleUse =
        csv.ValueCount() > 2 && csv.GetValueTrimmed(2).contains(QLatin1String("MultipleUse"));
    if (!Context().ValueLog().Append(fsLogValName) && !bMultipleUse)
        Msg().Warning(QStringLiteral("Log value \"%s\" multiple used!"), {fsLogValName});
    return this;
}

void TCmdAssignValueLog::Execute(const QString& sParameter)
{
    LogExecute(Context(), "TCmdAssignValueLog", sParameter);
    try {
        LogValue(Inserted(Context(), fsValue));
    } catch (const std::exception& e) {
        const QString sError = QStringLiteral("Value log assigment failed: ") + ExceptionText(e);
        Msg().Error(sError);
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
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 3);
    fsValue = Unquote(csv.GetValueTrimmed(1), QLatin1Char('"'));
    fsVariableName = csv.GetValueTrimmed(2);
    RequireVariable(Context().Variables(), fsVariableName);
    return this;
}

void TCmdAssignVariable::Execute(const QString& sParameter)
{
    LogExecute(Context(), ClassName(), sParameter);
    ECmdResult eResult = crFailed;
    try {
        const QString sText = ValueText(Inserted(Context(), fsValue));
        if (Context().Variables().Update(fsVariableName, sText)) {
            Updated(sText);
            eResult = crDone;
        } else {
            UpdateFailed(sText);
        }
    } catch (const std::exception& e) {
        const QString sError = QStringLiteral("Variable assigment failed: ") + ExceptionText(e);
        Msg().Error(sError);
        SetErrorText(sError);
    }
    Conclude(eResult);
}

void TCmdAssignVariable::Updated(const QString&)
{
    Msg().Trace(QStringLiteral("Updated variable %s = %s"),
                {fsVariableName, Context().Variables().GetAsStr(fsVariableName)});
}

QString TCmdAssignVariableEx::ValueText(const QString& sInserted) const
{
    return TEscTaggedString::Transform(sInserted);
}

void TCmdAssignVariableEx::Updated(const QString&)
{
    const QString sValue = Context().Variables().GetAsStr(fsVariableName);
    Msg().Trace(QStringLiteral("Updated variable %s = \"%s\"; %s"),
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
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 5);
    fsCondition = csv.GetValueTrimmed(1);
    fsTrueValue = csv.GetValueTrimmed(2);
    fsFalseValue = csv.GetValueTrimmed(3);
    fsVariableName = csv.GetValueTrimmed(4);
    RequireVariable(Context().Variables(), fsVariableName);
    return this;
}

void TCmdAssignVarConditionally::Execute(const QString& sParameter)
{
    LogExecute(Context(), "TCmdAssignVarConditionally", sParameter);
    ECmdResult eResult = crFailed;
    try {
        const QString sCondition = Inserted(Context(), fsCondition);
        const bool bHolds = ConditionHolds(sCondition);
        Msg().Info(bHolds ? QStringLiteral("Condition is TRUE: %s")
                          : QStringLiteral("Condition is FALSE: %s"),
                   {sCondition});
        const QString sText = Inserted(Context(), bHolds ? fsTrueValue : fsFalseValue);
        TVariableManager& variables = Context().Variables();
        if (variables.Update(fsVariableName, sText)) {
            Msg().Trace(QStringLiteral("Updated variable %s = %s"),
                        {fsVariableName, variables.GetAsStr(fsVariableName)});
            eResult = crDone;
        } else {
            SetErrorText(QStringLiteral("Update \"%s\" with \"%s\" failed!"), {fsVariableName, sText});
        }
    } catch (const std::exception& e) {
        const QString sError = QStringLiteral("Conditional variable assignment failed: ") + ExceptionText(e);
        Msg().Error(sError);
        SetErrorText(sError);
    }
    Conclude(eResult);
}

// ---------------------------------------------------------------------------------------------
// VarIntToStr, VarStrToStr

TCommand* TCmdVarToVarBase::Init(const QString& sParameter)
{
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsVarNameA = csv.GetValueTrimmed(1);
    fsFormat = csv.GetStringTrimmed(2);
    fsVarNameB = csv.GetValueTrimmed(3);
    CheckSource();
    return this;
}

void TCmdIntToStr::CheckSource() const
{
    RequireVariableOfType(Context().Variables(), fsVarNameA, ectIsInteger, 0x11920A);
}

void TCmdIntToStr::Execute(const QString& sParameter)
{
    LogExecute(Context(), ClassName(), sParameter);
    TVariableManager& variables = Context().Variables();
    ECmdResult eResult = crFailed;
    try {
        const std::int64_t iValue = variables.GetAsInt(fsVarNameA);
        // The store logs why a conversion failed.
        if (variables.SetIntToStr(iValue, fsVarNameB, fsFormat)) {
            Msg().Trace(
                QStringLiteral("Variable %s=%d saved formatted in %s=\"%s\""),
                {fsVarNameA, static_cast<long long>(iValue), fsVarNameB, variables.GetAsStr(fsVarNameB)});
            eResult = crDone;
        } else {
            SetErrorText(QStringLiteral("Formatting %s into %s failed!"), {fsVarNameA, fsVarNameB});
        }
    } catch (const std::exception& e) {
        Msg().Error(ExceptionText(e));
        SetErrorText(ExceptionText(e));
    }
    Conclude(eResult);
}

void TCmdStrToStr::CheckSource() const
{
    RequireVariable(Context().Variables(), fsVarNameA, 0x11930A);
}

void TCmdStrToStr::Execute(const QString& sParameter)
{
    LogExecute(Context(), ClassName(), sParameter);
    TVariableManager& variables = Context().Variables();
    try {
        const QString sText = variables.GetAsStr(fsVarNameA);
        variables.SetStrToStr(sText, fsVarNameB, fsFormat);
        Msg().Trace(QStringLiteral("Variable %s=\"%s\" saved formatted in %s=\"%s\""),
                    {fsVarNameA, sText, fsVarNameB, variables.GetAsStr(fsVarNameB)});
    } catch (const std::exception& e) {
        // A target of another type: the step fails with the store's reason instead of hanging the run.
        Msg().Error(ExceptionText(e));
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
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsTerm = csv.GetValueTrimmed(1);
    fsVariableName = csv.GetValueTrimmed(2);
    return this;
}

void TCmdCalculate::Store(double rValue) const
{
    TVariableManager& variables = Context().Variables();
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
    LogExecute(Context(), "TCmdCalculate", sParameter);
    const QString sTerm = Inserted(Context(), fsTerm);
    try {
        TExpressionParser parser;
        const double rValue = parser.GetResults(parser.AddExpression(sTerm));
        if (std::isnan(rValue))
            throw EError(QStringLiteral("Result is not a number!"));
        Store(rValue);
    } catch (const std::exception& e) {
        Msg().Error(QStringLiteral("Invalid term \"%s\": %s"), {sTerm, ExceptionText(e)});
        SetErrorText(QStringLiteral("Calculation failed: %s!"), {sTerm});
        Msg().Error(QStringLiteral("Calculation failed: %s!"), {sTerm});
        Conclude(crFailed);
        return;
    }
    const QString sResult = Context().Variables().GetAsStr(fsVariableName);
    Msg().Info(QStringLiteral("Result in \"%s\" = %s from %s "), {fsVariableName, sResult, sTerm});
    LogValue(sResult);
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// Evaluate

TCommand* TCmdEvaluate::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    fsTerm = ParameterFields(sParameter).GetValueTrimmed(1);
    return this;
}

void TCmdEvaluate::Execute(const QString& sParameter)
{
    LogExecute(Context(), "TCmdEvaluate", sParameter);
    const QString sTerm = Inserted(Context(), fsTerm);
    bool bHolds = false;
    try {
        TExpressionParser parser;
        bHolds = parser.GetAsBoolean(parser.AddExpression(sTerm));
    } catch (const std::exception& e) {
        Msg().Error(QStringLiteral("Invalid expression %s: %s"), {sTerm, ExceptionText(e)});
    }
    if (bHolds) {
        Msg().Info(QStringLiteral("Expression is true: %s"), {sTerm});
        Conclude(crOk);
        return;
    }
    SetErrorText(QStringLiteral("Expression is false: %s!"), {sTerm});
    Msg().Error(QStringLiteral("Expression is false or evaluation failed: %s!"), {sTerm});
    Conclude(crFailed);
}

} // namespace sys
