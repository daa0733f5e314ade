#include "CodePage.h"

#include "MsgExceptions.h"
#include "MsgUtils.h"

#include <QSettings>
#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

namespace {

// Windows-1252 differs from Latin-1 in 0x80..0x9F only. Its five unassigned bytes map to the
// control characters of the same value, as Windows converts them, so that every byte reads and
// writes back unchanged.
constexpr std::array<char16_t, 32> cWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const QString csWindows1252 = QStringLiteral("windows-1252");
const QString csLatin1 = QStringLiteral("iso-8859-1");

// The byte of a character in Windows-1252; -1 when there is none.
int Windows1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < cWindows1252High.size(); ++i) {
        if (cWindows1252High[i] == c)
            return int(0x80 + i);
    }
    return -1;
}

TCodePage& StationCodePage()
{
    static TCodePage codePage;
    return codePage;
}

} // namespace

TCodePage::TCodePage() : fsName(csWindows1252) {}

TCodePage TCodePage::Named(const QString& sName)
{
    const QString sKey = sName.trimmed().toLower();
    TCodePage codePage;
    if (sKey.isEmpty() || sKey == csWindows1252 || sKey == QLatin1String("cp1252"))
        return codePage;
    if (sKey == csLatin1 || sKey == QLatin1String("latin1") || sKey == QLatin1String("iso8859-1")) {
        codePage.feKind = EKind::Latin1;
        codePage.fsName = csLatin1;
        return codePage;
    }
    const QByteArray aName = sKey.toLatin1();
    QStringDecoder decoder(aName.constData());
    QStringEncoder encoder(aName.constData());
    // Only 8-bit code pages: a file of another encoding names itself by its byte-order mark.
    static const QByteArray cProbe("\x41\xC4\x80", 3);
    if (!decoder.isValid() || !encoder.isValid() || QString(decoder.decode(cProbe)).size() != cProbe.size())
        throw EError(Format(QStringLiteral("Unknown 8-bit code page \"%s\""), {sName.trimmed()}));
    codePage.feKind = EKind::Platform;
    codePage.fsName = sKey;
    return codePage;
}

QString TCodePage::Decode(QByteArrayView aBytes) const
{
    switch (feKind) {
    case EKind::Latin1:
        return QString::fromLatin1(aBytes.data(), aBytes.size());
    case EKind::Windows1252: {
        QString sText(aBytes.size(), Qt::Uninitialized);
        QChar* pOut = sText.data();
        for (const char c : aBytes) {
            const auto b = static_cast<unsigned char>(c);
            *pOut++ = QChar(b >= 0x80 && b < 0xA0 ? cWindows1252High[b - 0x80] : char16_t(b));
        }
        return sText;
    }
    case EKind::Platform: {
        QStringDecoder decoder(fsName.toLatin1().constData());
        return decoder.decode(aBytes);
    }
    }
    return QString();
}

QByteArray TCodePage::Encode(const QString& sText, bool* pbComplete) const
{
    bool bComplete = true;
    QByteArray aBytes;
    switch (feKind) {
    case EKind::Latin1:
    case EKind::Windows1252:
        aBytes.resize(sText.size());
        for (qsizetype i = 0; i < sText.size(); ++i) {
            const char16_t c = sText.at(i).unicode();
            const int iByte = feKind == EKind::Latin1 ? (c <= 0xFF ? int(c) : -1) : Windows1252Byte(c);
            if (iByte < 0)
                bComplete = false;
            aBytes[i] = char(iByte < 0 ? '?' : iByte);
        }
        break;
    case EKind::Platform: {
        QStringEncoder encoder(fsName.toLatin1().constData());
        aBytes = encoder.encode(sText);
        bComplete = !encoder.hasError() && Decode(aBytes) == sText;
        break;
    }
    }
    if (pbComplete)
        *pbComplete = bComplete;
    return aBytes;
}

bool TCodePage::CanEncode(const QString& sText) const
{
    bool bComplete = true;
    Encode(sText, &bComplete);
    return bComplete;
}

const TCodePage& TCodePage::Station()
{
    return StationCodePage();
}

void TCodePage::SetStation(const TCodePage& aCodePage)
{
    StationCodePage() = aCodePage;
}

TCodePage TCodePage::FromSettings(const QString& sIniFile)
{
    const QSettings settings(sIniFile, QSettings::IniFormat);
    return Named(settings.value(QStringLiteral("Station/CodePage")).toString());
}
