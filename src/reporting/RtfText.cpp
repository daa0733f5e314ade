#include "RtfText.h"

#include "core/CodePage.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

QChar AnsiChar(unsigned char cByte)
{
    const char c = char(cByte);
    const QString sChar = TCodePage::Station().Decode(QByteArrayView(&c, 1));
    return sChar.isEmpty() ? QChar(QChar::ReplacementCharacter) : sChar.front();
}

QString AnsiToString(const QByteArray& aBytes)
{
    return TCodePage::Station().Decode(aBytes);
}

QByteArray StringToAnsi(const QString& sText)
{
    QString sChars;
    sChars.reserve(sText.size());
    for (int i = 0; i < sText.size(); ++i) {
        const QChar c = sText.at(i);
        // A character outside the basic plane is one "?", as one character.
        if (c.isHighSurrogate() && i + 1 < sText.size() && sText.at(i + 1).isLowSurrogate()) {
            ++i;
            sChars += QLatin1Char('?');
            continue;
        }
        sChars += c;
    }
    return TCodePage::Station().Encode(sChars);
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
