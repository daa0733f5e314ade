#pragma once

#include <QByteArray>
#include <QString>

// Cuts the byte stream of the language server protocol into message bodies: header lines
// ("Content-Length: n"), an empty line, n bytes of JSON.
class TLspFraming
{
public:
    // A body larger than this is refused: no editor sends a definition this size.
    static constexpr qsizetype ciMaxBody = 64 * 1024 * 1024;

    void Append(const QByteArray& aBytes) { fBuffer.append(aBytes); }

    enum EResult
    {
        frNone,    // no whole message yet
        frMessage, // aBody holds one
        frError    // a malformed header was dropped; sError says why
    };
    EResult Next(QByteArray& aBody, QString& sError);

private:
    QByteArray fBuffer;
};
