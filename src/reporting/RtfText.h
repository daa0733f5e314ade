#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// Templates are 8-bit RTF in the station's code page, Windows-1252 unless the settings name
// another (Latin-1 with printable characters in 80-9F).

// The character of one byte; Windows-1252's five bytes without a character keep their value.
QChar AnsiChar(unsigned char cByte);
QString AnsiToString(const QByteArray& aBytes);
// Characters without a byte in the code page become "?".
QByteArray StringToAnsi(const QString& sText);

// A value to be inserted into RTF text so that it prints as written: "\", "{" and "}" escaped,
// characters outside ASCII as Unicode escapes (with "?" for readers that cannot take them).
QString RtfEscapeValue(const QString& sValue);

// The text of a template file: a byte-order mark selects UTF-8 or UTF-16, otherwise the bytes
// are ANSI. Every line ends with CR LF, the last one included.
QString TemplateText(const QByteArray& aBytes);

// Templates are a few hundred kilobytes with pictures; anything near this is a wrong file.
constexpr qint64 ciMaxTemplateBytes = 64 * 1024 * 1024;

// The whole file; raises EError "Can not read <sKind> "<file>": <reason>" when it cannot be read
// or is larger than ciMaxTemplateBytes.
QByteArray ReadTemplateFile(const QString& sFileName, const QString& sKind);
