#include "FuzzSupport.h"

#include "core/StrUtilsEx.h"

#include <QByteArray>

#include <algorithm>

#include <vector>

namespace {

// The definition of the match as a table over all text and pattern positions, to compare the
// backtracking matcher with. Kept for small inputs, where its quadratic memory is harmless.
bool ReferenceMatch(const QByteArray& aText, const QByteArray& aPattern)
{
    const std::size_t nText = std::size_t(aText.size());
    const std::size_t nPattern = std::size_t(aPattern.size());
    // matches[p][t]: the pattern from p matches the text from t.
    std::vector<std::vector<char>> matches(nPattern + 1, std::vector<char>(nText + 1, 0));
    matches[nPattern][nText] = 1;
    for (std::size_t p = nPattern; p-- > 0;) {
        for (std::size_t t = nText + 1; t-- > 0;) {
            if (aPattern[qsizetype(p)] == '*')
                matches[p][t] = matches[p + 1][t] || (t < nText && matches[p][t + 1]);
            else if (t < nText &&
                     (aPattern[qsizetype(p)] == '?' || aPattern[qsizetype(p)] == aText[qsizetype(t)]))
                matches[p][t] = matches[p + 1][t + 1];
        }
    }
    return matches[0][0] != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize == 0)
        return 0;
    // The first byte divides the rest into pattern and text; a zero byte stays an ordinary byte.
    const std::size_t nPattern = std::min<std::size_t>(pData[0], nSize - 1);
    const QByteArray aPattern(reinterpret_cast<const char*>(pData + 1), qsizetype(nPattern));
    const QByteArray aText(reinterpret_cast<const char*>(pData + 1 + nPattern),
                           qsizetype(nSize - 1 - nPattern));

    const bool bMatch = MatchWildcardBytes(aText, aPattern);
    if (std::size_t(aText.size() + 1) * std::size_t(aPattern.size() + 1) <= 200000)
        FuzzCheck(bMatch == ReferenceMatch(aText, aPattern), "byte match agrees with the reference");
    FuzzCheck(bMatch == MatchWildcardBytes(QString::fromLatin1(aText), QString::fromLatin1(aPattern)),
              "byte match of texts agrees with byte match of bytes");
    // Latin-1 texts hold one character per byte, so the text form gives the same answer.
    FuzzCheck(bMatch == MatchWildcard(QString::fromLatin1(aText), QString::fromLatin1(aPattern)),
              "text match agrees with byte match");
    MatchWildcard(FuzzText(pData + 1, nPattern), FuzzText(pData + 1 + nPattern, nSize - 1 - nPattern));
    return 0;
}
