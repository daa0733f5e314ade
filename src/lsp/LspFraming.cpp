#include "LspFraming.h"

#include <QList>

TLspFraming::EResult TLspFraming::Next(QByteArray& aBody, QString& sError)
{
    const qsizetype iHeaderEnd = fBuffer.indexOf("\r\n\r\n");
    if (iHeaderEnd < 0) {
        // Headers are short; a long run of bytes without their end is no header at all.
        if (fBuffer.size() > 8192) {
            fBuffer.clear();
            sError = QStringLiteral("Header without an end");
            return frError;
        }
        return frNone;
    }
    qsizetype iLength = -1;
    for (const QByteArray& aLine : fBuffer.left(iHeaderEnd).split('\n')) {
        const qsizetype iColon = aLine.indexOf(':');
        if (iColon < 0)
            continue;
        if (aLine.left(iColon).trimmed().toLower() == "content-length") {
            bool bOk = false;
            iLength = aLine.mid(iColon + 1).trimmed().toLongLong(&bOk);
            if (!bOk)
                iLength = -1;
        }
    }
    if (iLength < 0 || iLength > ciMaxBody) {
        fBuffer.remove(0, iHeaderEnd + 4);
        sError = iLength < 0 ? QStringLiteral("Missing or invalid Content-Length")
                             : QStringLiteral("Message too large");
        return frError;
    }
    if (fBuffer.size() < iHeaderEnd + 4 + iLength)
        return frNone;
    aBody = fBuffer.mid(iHeaderEnd + 4, iLength);
    fBuffer.remove(0, iHeaderEnd + 4 + iLength);
    return frMessage;
}
