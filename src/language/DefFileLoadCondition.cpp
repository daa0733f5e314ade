#include "DefFileLoadCondition.h"

#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "core/ParseExpr.h"

void TLoadCondition::Push(TConditionLevelTypes aType)
{
    if (fiConditionIndex > 14)
        throw EError(QStringLiteral("To many load conditions!"));
    fConditionLevels[std::size_t(++fiConditionIndex)] = aType;
}

void TLoadCondition::Pop()
{
    if (fiConditionIndex == 0)
        throw EError(QStringLiteral("To many load condition terminators!"));
    fConditionLevels[std::size_t(fiConditionIndex--)] = eclNone;
}

TConditionLevelTypes TLoadCondition::Read(bool aReset)
{
    const TConditionLevelTypes eLevel = fConditionLevels[std::size_t(fiConditionIndex)];
    if (aReset)
        fConditionLevels[std::size_t(fiConditionIndex)] = eclNone;
    return eLevel;
}

bool TLoadCondition::IsTermTrue(const QString& aTerm)
{
    if (aTerm.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (aTerm.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    try {
        TExpressionParser parser;
        return parser.GetAsBoolean(parser.AddExpression(aTerm));
    } catch (const std::exception& e) {
        throw EError(Format(QStringLiteral("Invalid condition term \"%s\": %s"), {aTerm, ExceptionText(e)}));
    }
}
