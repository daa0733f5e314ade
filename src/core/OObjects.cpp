#include "OObjects.h"

#include "MsgExceptions.h"

#include <QStringView>

#include <limits>

namespace {

double StrEqual(const QString& sLeft, const QString& sRight)
{
    return sLeft == sRight ? 1.0 : 0.0;
}

double StrNotEqual(const QString& sLeft, const QString& sRight)
{
    return sLeft != sRight ? 1.0 : 0.0;
}

// Ordinal comparisons: UTF-16 code units in order.
double StrGreater(const QString& sLeft, const QString& sRight)
{
    return QString::compare(sLeft, sRight, Qt::CaseSensitive) > 0 ? 1.0 : 0.0;
}

double StrLess(const QString& sLeft, const QString& sRight)
{
    return QString::compare(sLeft, sRight, Qt::CaseSensitive) < 0 ? 1.0 : 0.0;
}

double StrGreaterEqual(const QString& sLeft, const QString& sRight)
{
    return QString::compare(sLeft, sRight, Qt::CaseSensitive) >= 0 ? 1.0 : 0.0;
}

double StrLessEqual(const QString& sLeft, const QString& sRight)
{
    return QString::compare(sLeft, sRight, Qt::CaseSensitive) <= 0 ? 1.0 : 0.0;
}

// The left string equals one element of the right one split at every ","; elements keep their blanks.
double StrIn(const QString& sLeft, const QString& sRight)
{
    const QStringView sList(sRight);
    qsizetype iStart = 0;
    while (true) {
        const qsizetype iComma = sList.indexOf(QLatin1Char(','), iStart);
        const QStringView sElement = sList.mid(iStart, iComma < 0 ? -1 : iComma - iStart);
        if (sElement == sLeft)
            return 1.0;
        if (iComma < 0)
            return 0.0;
        iStart = iComma + 1;
    }
}

} // namespace

void CopyValue(TExpressionRec& aRec)
{
    aRec.Res = *aRec.Args[0];
}

TExprWord::TExprWord(const QString& sName, TExprFunc aDoubleFunc)
    : FName(sName.toLower()), FDoubleFunc(aDoubleFunc)
{}

TExprWord::~TExprWord() = default;

TDoubleConstant::TDoubleConstant(double rValue) : TExprWord(QString(), &CopyValue), FValue(rValue) {}

TDoubleConstant::TDoubleConstant(const QString& sText, double rValue)
    : TExprWord(sText, &CopyValue), FValue(rValue)
{}

TConstant::TConstant(const QString& sName, double rValue, const QString& sDescription)
    : TDoubleConstant(sName, rValue), FDescription(sDescription)
{}

TGeneratedVariable::TGeneratedVariable(const QString& sName)
    : TDoubleConstant(sName, std::numeric_limits<double>::quiet_NaN())
{}

TDoubleVariable::TDoubleVariable(const QString& sName, double* pValue)
    : TExprWord(sName, &CopyValue), FValue(pValue)
{}

TStringConstant::TStringConstant(const QString& sText, const QString& sValue)
    : TExprWord(sText, &CopyValue), FValue(sValue)
{}

TStringVariable::TStringVariable(const QString& sName, const QString* pValue)
    : TExprWord(sName, &CopyValue), FValue(pValue)
{}

TFunction::TFunction(const QString& sName, const QString& sDescription, TExprFunc aDoubleFunc,
                     int iNFunctionArg, bool bIsOper, int iOperPrec)
    : TExprWord(sName, aDoubleFunc), FIsOper(bIsOper), FOperPrec(iOperPrec), FNFunctionArg(iNFunctionArg),
      FDescription(sDescription)
{
    // The evaluation record has room for no more.
    if (iNFunctionArg < 0 || iNFunctionArg > cMaxArg)
        throw EError(QStringLiteral("%1 cannot take %2 arguments").arg(FName).arg(iNFunctionArg));
}

TSimpleStringFunction::TSimpleStringFunction(const QString& sName, const QString& sDescription,
                                             TStringFunc aStringFunc)
    : TFunction(sName, sDescription, &TSimpleStringFunction::Evaluate, 2), FStringFunc(aStringFunc)
{}

TSimpleStringFunction::TSimpleStringFunction(const QString& sName, const QString& sDescription,
                                             TStringFunc aStringFunc, TExprWord* aLeftArg,
                                             TExprWord* aRightArg)
    : TFunction(sName, sDescription, &TSimpleStringFunction::Evaluate, 0), FStringFunc(aStringFunc),
      FLeftArg(aLeftArg), FRightArg(aRightArg)
{}

bool TSimpleStringFunction::CanVary() const
{
    return (FLeftArg && FLeftArg->CanVary()) || (FRightArg && FRightArg->CanVary());
}

std::unique_ptr<TSimpleStringFunction> TSimpleStringFunction::Bind(TExprWord* aLeftArg,
                                                                   TExprWord* aRightArg) const
{
    return std::make_unique<TSimpleStringFunction>(FName, Description(), FStringFunc, aLeftArg, aRightArg);
}

void TSimpleStringFunction::Evaluate(TExpressionRec& aRec)
{
    const auto* pWord = static_cast<const TSimpleStringFunction*>(aRec.ExprWord);
    aRec.Res = pWord->FStringFunc(pWord->FLeftArg->AsString(), pWord->FRightArg->AsString());
}

std::unique_ptr<TSimpleStringFunction> TVaryingStringFunction::Bind(TExprWord* aLeftArg,
                                                                    TExprWord* aRightArg) const
{
    return std::make_unique<TVaryingStringFunction>(FName, Description(), FStringFunc, aLeftArg, aRightArg);
}

TLogicalStringOper::TLogicalStringOper(const QString& sOperName, TStringFunc aStringFunc, TExprWord* aLeftArg,
                                       TExprWord* aRightArg)
    : TSimpleStringFunction(sOperName, QString(), aStringFunc, aLeftArg, aRightArg)
{}

TStringFunc TLogicalStringOper::ComparisonOf(const QString& sOperName)
{
    if (sOperName == QLatin1String("="))
        return &StrEqual;
    if (sOperName == QLatin1String("<>"))
        return &StrNotEqual;
    if (sOperName == QLatin1String(">"))
        return &StrGreater;
    if (sOperName == QLatin1String("<"))
        return &StrLess;
    if (sOperName == QLatin1String(">="))
        return &StrGreaterEqual;
    if (sOperName == QLatin1String("<="))
        return &StrLessEqual;
    if (sOperName == QLatin1String("in"))
        return &StrIn;
    return nullptr;
}
