// Opens the value log on arbitrary file content and appends to it, with more arbitrary content
// appended by "another program" in between. Aborts when the last header the log finds differs
// from the last line starting with "Start" in the file as a whole.

#include "FuzzSupport.h"

#include "core/MsgExceptions.h"
#include "core/ValueLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

QString gsFile;

enum EEncoding
{
    eLatin1,
    eUtf8,
    eUtf16LE,
    eUtf16BE
};

// The last line that starts with "Start", read forwards over the whole file.
QString LastHeader(const QByteArray& aFile)
{
    EEncoding eEncoding = eLatin1;
    qsizetype iBom = 0;
    if (aFile.startsWith("\xEF\xBB\xBF")) {
        eEncoding = eUtf8;
        iBom = 3;
    } else if (aFile.startsWith("\xFF\xFE")) {
        eEncoding = eUtf16LE;
        iBom = 2;
    } else if (aFile.startsWith("\xFE\xFF")) {
        eEncoding = eUtf16BE;
        iBom = 2;
    }
    const bool bWide = eEncoding == eUtf16LE || eEncoding == eUtf16BE;
    QString sText;
    if (eEncoding == eLatin1) {
        sText = QString::fromLatin1(aFile);
    } else if (eEncoding == eUtf8) {
        // A second byte-order mark is text of the first line, as it is for the log.
        QStringDecoder decoder(QStringDecoder::Utf8,
                               QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
        sText = decoder.decode(aFile.mid(iBom));
    } else {
        QByteArray aUnits = aFile.mid(iBom);
        aUnits.truncate(aUnits.size() / 2 * 2);
        // Units one by one, so that a broken surrogate is kept as it is.
        for (qsizetype i = 0; i < aUnits.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(aUnits.at(eEncoding == eUtf16LE ? i : i + 1));
            const auto hi = static_cast<unsigned char>(aUnits.at(eEncoding == eUtf16LE ? i + 1 : i));
            sText += QChar(char16_t(hi << 8 | lo));
        }
    }
    QString sHeader;
    qsizetype iStart = 0;
    for (qsizetype i = 0; i <= sText.size(); ++i) {
        if (i == sText.size() || sText.at(i) == QLatin1Char('\r') || sText.at(i) == QLatin1Char('\n')) {
            const QString sLine = sText.mid(iStart, i - iStart);
            if (sLine.startsWith(QLatin1String("Start")))
                sHeader = sLine;
            iStart = i + 1;
        }
    }
    if (!bWide)
        return sHeader;
    // The log decodes the header's own bytes; broken surrogates come out as replacement
    // characters there.
    QStringDecoder decoder(eEncoding == eUtf16LE ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    QByteArray aHeader;
    for (const QChar c : sHeader) {
        const char16_t u = c.unicode();
        if (eEncoding == eUtf16LE)
            aHeader += char(u & 0xFF), aHeader += char(u >> 8);
        else
            aHeader += char(u >> 8), aHeader += char(u & 0xFF);
    }
    return decoder.decode(aHeader);
}

QByteArray FileBytes()
{
    QFile file(gsFile);
    FuzzCheck(file.open(QIODevice::ReadOnly), "the log file can be read");
    return file.readAll();
}

void WriteFile(const QByteArray& aBytes, QIODevice::OpenMode eMode)
{
    QFile file(gsFile);
    FuzzCheck(file.open(eMode) && file.write(aBytes) == aBytes.size(), "the log file can be written");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QString sDir = QDir::tempPath() + QStringLiteral("/tzk-fuzz-valuelog-%1").arg(getpid());
    QDir().mkpath(sDir);
    gsFile = sDir + QStringLiteral("/log.csv");
    std::atexit([] { QDir(QFileInfo(gsFile).absolutePath()).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    // Before a line "--append--" is the file as found; after it what another program appends
    // between two runs.
    const QByteArray aInput(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    const qsizetype iSplit = aInput.indexOf("--append--");
    const QByteArray aFound = iSplit < 0 ? aInput : aInput.left(iSplit);
    const QByteArray aAppended = iSplit < 0 ? QByteArray() : aInput.mid(iSplit + 10);

    WriteFile(aFound, QIODevice::WriteOnly | QIODevice::Truncate);
    TValueLog log;
    log.SetClock([] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)); });
    log.Init(gsFile, QString());
    if (log.LastFileHeader() != LastHeader(aFound))
        std::fprintf(stderr, "log: %s\nfile: %s\n", qPrintable(log.LastFileHeader().toUtf8().toHex()),
                     qPrintable(LastHeader(aFound).toUtf8().toHex()));
    FuzzCheck(log.LastFileHeader() == LastHeader(aFound), "header found on opening");

    log.Append(QStringLiteral("Volt"));
    log.SetStart();
    log.SetValue(QStringLiteral("Volt"), QStringLiteral("1.5"));
    log.Write(true, QStringLiteral("Op"));
    const QByteArray aAfterFirst = FileBytes();
    FuzzCheck(aAfterFirst.startsWith(aFound), "earlier lines stay as they are");
    FuzzCheck(log.LastFileHeader() == log.Headers(), "the log's own header is the last one");
    FuzzCheck(LastHeader(aAfterFirst) == log.Headers(), "the file's last header is the log's");

    WriteFile(aAppended, QIODevice::Append);
    log.SetStart();
    log.Write(false, QStringLiteral("Op"));
    const QByteArray aAfterSecond = FileBytes();
    FuzzCheck(aAfterSecond.startsWith(aAfterFirst + aAppended), "appended lines stay as they are");
    FuzzCheck(LastHeader(aAfterSecond) == log.Headers(), "a header follows lines of other columns");
    return 0;
}
