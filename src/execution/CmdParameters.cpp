#include "CmdParameters.h"

#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

TCommaSeparatedValue ParameterFields(const QString& sParameter)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sParameter + csv.Separator());
    return csv;
}

void RequireFieldCount(const TCommaSeparatedValue& csv, int iNeeded)
{
    if (csv.ValueCount() < iNeeded)
        throw EError(Format(QStringLiteral("Number of parameters found: %d < %d needed parameters!"),
                            {csv.ValueCount(), iNeeded}));
}

void RequireVariable(const TVariableManager& aVariables, const QString& sName, std::uint32_t dwId)
{
    if (aVariables.Confirm(sName, ectIsDeclared))
        return;
    const QString sText = QStringLiteral("Variable \"%s\" is not defined!");
    if (dwId == 0)
        throw EError(Format(sText, {sName}));
    throw EMsg(sText, {sName}, TMsgId(dwId), 0);
}

void RequireVariableOfType(const TVariableManager& aVariables, const QString& sName, EConfirmTypes eType,
                           std::uint32_t dwId)
{
    if (!aVariables.Confirm(sName, eType))
        throw EMsg(QStringLiteral("Variable \"%s\" is not defined or wrong type!"), {sName}, TMsgId(dwId), 0);
}
