// Compiles and evaluates arbitrary expression texts, with number and string variables. Aborts
// when a text added twice is compiled twice, or when constant folding changes a result.

#include "FuzzSupport.h"

#include "core/MsgExceptions.h"
#include "core/ParseExpr.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

struct TOutcome
{
    std::optional<double> rValue; // none when compiling or evaluating raised
    std::optional<bool> bBoolean;
};

bool Same(const TOutcome& a, const TOutcome& b)
{
    if (a.rValue.has_value() != b.rValue.has_value() || a.bBoolean != b.bBoolean)
        return false;
    if (!a.rValue)
        return true;
    if (std::isnan(*a.rValue) || std::isnan(*b.rValue))
        return std::isnan(*a.rValue) && std::isnan(*b.rValue);
    return *a.rValue == *b.rValue;
}

// One evaluation in a fresh evaluator: "++", "--" and ":=" change stored values, so a second
// evaluation of the same list may rightly differ.
TOutcome Run(const QString& sText, bool bOptimize, bool bBoolean)
{
    double rX = 2.5;
    double rN = -7;
    const QString sName = QStringLiteral("abc");
    TExpressionParser parser;
    parser.SetOptimize(bOptimize);
    parser.DefineVariable(QStringLiteral("x"), &rX);
    parser.DefineVariable(QStringLiteral("n"), &rN);
    parser.DefineStringVariable(QStringLiteral("s"), &sName);

    TOutcome outcome;
    int iIndex = -1;
    try {
        iIndex = parser.AddExpression(sText);
    } catch (const std::exception&) {
        return outcome;
    }
    const int iCount = parser.Count();
    try {
        FuzzCheck(parser.AddExpression(sText) == iIndex && parser.Count() == iCount,
                  "a text added again is found, not compiled again");
    } catch (const std::exception&) {
        FuzzCheck(false, "a text that compiled once compiles again");
    }
    try {
        if (bBoolean)
            outcome.bBoolean = parser.GetAsBoolean(iIndex);
        else
            outcome.rValue = parser.GetResults(iIndex);
    } catch (const std::exception&) {
    }
    return outcome;
}

TOutcome Run(const QString& sText, bool bOptimize)
{
    TOutcome outcome = Run(sText, bOptimize, false);
    outcome.bBoolean = Run(sText, bOptimize, true).bBoolean;
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QString sText = FuzzText(pData, nSize);
    const TOutcome folded = Run(sText, true);
    // Random values differ between runs; the rest must not depend on folding.
    if (!sText.contains(QLatin1String("rand"), Qt::CaseInsensitive)) {
        const TOutcome plain = Run(sText, false);
        if (!Same(folded, plain)) {
            const auto show = [](const TOutcome& o) {
                std::fprintf(stderr, " value %s %.17g, Boolean %s %d\n", o.rValue ? "yes" : "no",
                             o.rValue.value_or(0), o.bBoolean ? "yes" : "no",
                             int(o.bBoolean.value_or(false)));
            };
            std::fprintf(stderr, "folded:");
            show(folded);
            std::fprintf(stderr, "not folded:");
            show(plain);
        }
        FuzzCheck(Same(folded, plain), "folding keeps the result");
    }
    return 0;
}
