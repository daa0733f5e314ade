#include "RtfText.h"

#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

namespace {

// Windows-1252 80-9F; 81, 8D, 8F, 90 and 9D have no character and map to themselves.
const char16_t kAnsi80[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                              0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

char AnsiByte(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return char(u);
    for (int i = 0; i < 32; ++i) {
        if (kAnsi80[i] == u)
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

QChar AnsiChar(unsigned char cByte)
{
    if (cByte >= 0x80 && cByte <= 0x9F)
        return QChar(kAnsi80[cByte - 0x80]);
    return QChar(char16_t(cByte));
}

QString AnsiToString(const QByteArray& aBytes)
{
    QString sText;
    sText.reserve(aBytes.size());
    for (const char c : aBytes)
        sText += AnsiChar(static_cast<unsigned char>(c));
    return sText;
}

QByteArray StringToAnsi(const QString& sText)
{
    QByteArray aBytes;
    aBytes.reserve(sText.size());
    for (int i = 0; i < sText.size(); ++i) {
        const QChar c = sText.at(i);
        // A character outside the basic plane is one "?", as one character.
        if (c.isHighSurrogate() && i + 1 < sText.size() && sText.at(i + 1).isLowSurrogate())
            ++i;
        aBytes += AnsiByte(c);
    }
    return aBytes;
}

QString RtfEscapeValue(const QString& sValue)
{
    QString sText;
    sText.reserve(sValue.size());
    for (const QChar c : sValue) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            sText += QLatin1Char('\\');
            sText += c;
        } else if (u >= 0x80) {
            // RTF takes the code unit as a signed 16-bit number; the group keeps the one-character
            // fallback count whatever the template set.
            sText += QStringLiteral("{\\uc1\\u%1?}").arg(int(static_cast<int16_t>(u)));
        } else {
            sText += c;
        }
    }
    return sText;
}

QString TemplateText(const QByteArray& aBytes)
{
    QString sText;
    if (aBytes.startsWith("\xEF\xBB\xBF"))
        sText = QString::fromUtf8(aBytes.mid(3));
    else if (aBytes.startsWith("\xFF\xFE"))
        sText = QStringDecoder(QStringConverter::Utf16LE)(aBytes.mid(2));
    else if (aBytes.startsWith("\xFE\xFF"))
        sText = QStringDecoder(QStringConverter::Utf16BE)(aBytes.mid(2));
    else
        sText = AnsiToString(aBytes);

    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = sText.split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QString sResult;
    for (const QString& sLine : lines)
        sResult += sLine + QLatin1String("\r\n");
    return sResult;
}

QByteArray ReadTemplateFile(const QString& sFileName, const QString& sKind)
{
    QFile file(sFileName);
    QByteArray aBytes;
    if (file.open(QIODevice::ReadOnly)) {
        if (file.size() > ciMaxTemplateBytes)
            throw EError(Format(QStringLiteral("Can not read %s \"%s\": larger than %d MiB"),
                                {sKind, sFileName, int(ciMaxTemplateBytes >> 20)}));
        aBytes = file.readAll();
    }
    if (!file.isOpen() || file.error() != QFileDevice::NoError)
        throw EError(
            Format(QStringLiteral("Can not read %s \"%s\": %s"), {sKind, sFileName, file.errorString()}));
    return aBytes;
}
