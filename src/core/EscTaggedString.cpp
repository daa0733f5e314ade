#include "EscTaggedString.h"

#include "MsgExceptions.h"

#include <QStringView>

#include <algorithm>
#include <memory>

namespace {

std::unique_ptr<TEscTaggedString>& Singleton()
{
    static std::unique_ptr<TEscTaggedString> instance;
    return instance;
}

int HexValue(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

// Length of a hex tag: the mark and two hex digits.
constexpr int ciHexTagLength = 3;

} // namespace

TEscTaggedString::TEscTaggedString() : FTagMark(QLatin1Char('\\')) {}

TEscTaggedString& TEscTaggedString::Instance()
{
    auto& instance = Singleton();
    if (!instance)
        instance = std::make_unique<TEscTaggedString>();
    return *instance;
}

void TEscTaggedString::InstanceRelease()
{
    Singleton().reset();
}

QString TEscTaggedString::Transform(const QString& sData)
{
    return Instance().Process(sData);
}

void TEscTaggedString::AddDefaultTags()
{
    ClearTags();
    Add(QStringLiteral("\\STX"), QString(QChar(0x02)));
    Add(QStringLiteral("\\ETX"), QString(QChar(0x03)));
    Add(QStringLiteral("\\EOT"), QString(QChar(0x04)));
    Add(QStringLiteral("\\ENQ"), QString(QChar(0x05)));
    Add(QStringLiteral("\\AKN"), QString(QChar(0x06)));
    Add(QStringLiteral("\\NAK"), QString(QChar(0x15)));
    Add(QStringLiteral("\\r"), QString(QChar(0x0D)));
    Add(QStringLiteral("\\n"), QString(QChar(0x0A)));
}

void TEscTaggedString::Add(const QString& aTag, const QString& aSubstitute)
{
    fTagList.append(aTag);
    fSubstituteList.append(aSubstitute);
    fiLongestTag = std::max(fiLongestTag, int(aTag.size()));
}

void TEscTaggedString::ClearTags()
{
    fTagList.clear();
    fSubstituteList.clear();
    fiLongestTag = 0;
}

bool TEscTaggedString::MatchTag(const QString& aText, int iMark, int& iLength)
{
    // No candidate longer than this can match, so the search need not run to the end of a
    // long text.
    const int iMaxLength = std::max(fiLongestTag, ciHexTagLength);
    for (int iEnd = iMark + 1; iEnd <= aText.size() && iEnd - iMark <= iMaxLength; ++iEnd) {
        if (aText.at(iEnd - 1) == QLatin1Char(' '))
            return false;
        const QStringView candidate = QStringView(aText).mid(iMark, iEnd - iMark);
        for (int iTag = 0; iTag < fTagList.size(); ++iTag) {
            if (candidate == fTagList.at(iTag)) {
                fsSubstitute = fSubstituteList.at(iTag);
                iLength = int(candidate.size());
                return true;
            }
        }
        if (candidate.size() == ciHexTagLength) {
            const int iHigh = HexValue(candidate.at(1));
            const int iLow = HexValue(candidate.at(2));
            if (iHigh >= 0 && iLow >= 0) {
                fsSubstitute = QString(QChar(iHigh * 16 + iLow));
                iLength = ciHexTagLength;
                return true;
            }
        }
    }
    return false;
}

QString TEscTaggedString::Process(const QString& aText)
{
    fsTarget.clear();
    fsTarget.reserve(aText.size());
    int iPos = 0;
    const int n = int(aText.size());
    for (;;) {
        const int iMark = int(aText.indexOf(FTagMark, iPos));
        if (iMark < 0 || iMark == n - 1)
            break;
        fsTarget += QStringView(aText).mid(iPos, iMark - iPos);
        if (aText.at(iMark + 1) == FTagMark) {
            fsTarget += FTagMark;
            iPos = iMark + 2;
            continue;
        }
        int iLength = 0;
        if (!MatchTag(aText, iMark, iLength))
            throw EError(Format(QStringLiteral("Unknown tag in string \"%s\"!"), {aText.mid(iMark)}));
        fsTarget += fsSubstitute;
        iPos = iMark + iLength;
    }
    fsTarget += QStringView(aText).mid(iPos);
    return fsTarget;
}
