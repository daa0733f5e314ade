#include "IdFile.h"

#include "core/CodePage.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sys {

namespace {

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[noreturn]] void RaiseFileError(const QString& sAction, const QString& sPath)
{
    throw EError(Format(QStringLiteral("Can not %s ID file \"%s\": %s"), {sAction, sPath, ErrnoText()}));
}

struct TDecoded
{
    QStringConverter::Encoding eEncoding = QStringConverter::Latin1;
    bool bBom = false;
    QString sText;
};

// The encoding named by the byte-order mark, else 8-bit in the station's code page (Latin1 stands
// for that).
TDecoded Decode(const QByteArray& aBytes)
{
    TDecoded decoded;
    if (const std::optional<QStringConverter::Encoding> eBom = QStringConverter::encodingForData(aBytes)) {
        decoded.eEncoding = *eBom;
        decoded.bBom = true;
        // Drops the byte-order mark; a character cut short at the end is read as a replacement
        // character, so that the file does not seem to end with a line break.
        QStringDecoder decoder(decoded.eEncoding, QStringConverter::Flag::Stateless);
        decoded.sText = decoder.decode(aBytes);
    } else {
        decoded.sText = TCodePage::Station().Decode(aBytes);
    }
    return decoded;
}

// Bytes per code unit; a file with a byte-order mark of that size.
qsizetype UnitSize(QStringConverter::Encoding eEncoding)
{
    switch (eEncoding) {
    case QStringConverter::Utf16:
    case QStringConverter::Utf16LE:
    case QStringConverter::Utf16BE:
        return 2;
    case QStringConverter::Utf32:
    case QStringConverter::Utf32LE:
    case QStringConverter::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

QStringList SplitLines(const QString& sText)
{
    QStringList slLines = sText.split(QLatin1Char('\n'));
    if (sText.endsWith(QLatin1Char('\n')) || sText.isEmpty())
        slLines.removeLast();
    for (QString& sLine : slLines) {
        if (sLine.endsWith(QLatin1Char('\r')))
            sLine.chop(1);
    }
    return slLines;
}

// Reads from the current position to the end.
QByteArray ReadRest(int fd, const QString& sPath)
{
    QByteArray aBytes;
    char aBuffer[65536];
    for (;;) {
        const ssize_t iRead = ::read(fd, aBuffer, sizeof aBuffer);
        if (iRead < 0 && errno == EINTR)
            continue;
        if (iRead < 0)
            RaiseFileError(QStringLiteral("read"), sPath);
        if (iRead == 0)
            return aBytes;
        aBytes.append(aBuffer, iRead);
    }
}

bool WriteAll(int fd, const QByteArray& aBytes)
{
    const char* p = aBytes.constData();
    qsizetype iLeft = aBytes.size();
    while (iLeft > 0) {
        const ssize_t iWritten = ::write(fd, p, std::size_t(iLeft));
        if (iWritten < 0 && errno == EINTR)
            continue;
        if (iWritten <= 0)
            return false;
        p += iWritten;
        iLeft -= iWritten;
    }
    return true;
}

// A file system that cannot sync a folder (or a special file) does not make the write unsafe.
bool Synced(int fd)
{
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

bool SameFile(int fd, const QString& sPath)
{
    struct stat opened
    {};
    struct stat named
    {};
    return ::fstat(fd, &opened) == 0 && ::stat(QFile::encodeName(sPath).constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

TIdFile::TIdFile(const QString& sPath, ELock eLock, int iTimeoutMs, const TWorkerThread::TLink* pLink)
    : fsPath(sPath)
{
    const QByteArray aPath = QFile::encodeName(sPath);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMs);
    for (;;) {
        fiFd = ::open(aPath.constData(), (eLock == ELock::Exclusive ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (fiFd < 0)
            RaiseFileError(QStringLiteral("open"), sPath);
        struct flock lock
        {};
        lock.l_type = eLock == ELock::Exclusive ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        bool bLocked = false;
        while (!bLocked) {
            if (::fcntl(fiFd, F_OFD_SETLK, &lock) == 0) {
                bLocked = true;
            } else if (errno == EACCES || errno == EAGAIN || errno == EINTR) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    ::close(fiFd);
                    fiFd = -1;
                    throw EError(Format(QStringLiteral("ID file \"%s\" is locked by another station for more "
                                                       "than %d ms!"),
                                        {sPath, iTimeoutMs}));
                }
                // The lock has no wait with a time-out: poll it, in steps a stop cuts short.
                constexpr std::chrono::milliseconds poll(10);
                bool bStopped = false;
                if (pLink)
                    bStopped = pLink->WaitFor(poll);
                else
                    std::this_thread::sleep_for(poll);
                if (bStopped) {
                    ::close(fiFd);
                    fiFd = -1;
                    throw EError(QStringLiteral("Cancelled while waiting for the ID file"));
                }
            } else {
                const int iError = errno;
                ::close(fiFd);
                fiFd = -1;
                errno = iError;
                RaiseFileError(QStringLiteral("lock"), sPath);
            }
        }
        // A rewrite renames a new file over the one we waited for: read the one that is there now.
        if (SameFile(fiFd, sPath))
            break;
        ::close(fiFd);
        fiFd = -1;
    }
    try {
        ReadAll();
    } catch (...) {
        ::close(fiFd);
        throw;
    }
}

TIdFile::~TIdFile()
{
    if (fiFd >= 0)
        ::close(fiFd);
}

void TIdFile::ReadAll()
{
    if (::lseek(fiFd, 0, SEEK_SET) < 0)
        RaiseFileError(QStringLiteral("read"), fsPath);
    const QByteArray aBytes = ReadRest(fiFd, fsPath);
    fiSize = off_t(aBytes.size());
    const TDecoded decoded = Decode(aBytes);
    feEncoding = decoded.eEncoding;
    fbBom = decoded.bBom;
    fbEndsWithBreak = decoded.sText.isEmpty() || decoded.sText.endsWith(QLatin1Char('\n'));
    fslLines = SplitLines(decoded.sText);
}

QByteArray TIdFile::Encode(const QString& sText, bool bWithBom) const
{
    if (feEncoding == QStringConverter::Latin1) {
        bool bComplete = true;
        QByteArray aBytes = TCodePage::Station().Encode(sText, &bComplete);
        if (!bComplete)
            throw EError(Format(QStringLiteral("\"%s\" can not be written to the 8-bit ID file \"%s\"!"),
                                {sText.trimmed(), fsPath}));
        return aBytes;
    }
    QStringEncoder encoder(feEncoding,
                           bWithBom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder.encode(sText);
}

void TIdFile::Append(const QString& sLine)
{
    const QString sText =
        (fbEndsWithBreak ? QString() : QStringLiteral("\r\n")) + sLine + QStringLiteral("\r\n");
    // An empty file has no byte-order mark, so it is 8-bit and the line needs none either.
    // A unit cut short at the end (by another program) is completed first, or the line would be
    // written at an odd offset and read as other characters, with every ID after it. Bytes 0xFF
    // never complete it to a line break, in either byte order.
    const qsizetype iUnit = UnitSize(feEncoding);
    const qsizetype iStray = qsizetype(fiSize % iUnit);
    const QByteArray aBytes = QByteArray(iStray > 0 ? iUnit - iStray : 0, '\xFF') + Encode(sText, false);
    if (::lseek(fiFd, 0, SEEK_END) < 0)
        RaiseFileError(QStringLiteral("write"), fsPath);
    if (!WriteAll(fiFd, aBytes) || !Synced(fiFd)) {
        const int iError = errno;
        // Take back a line cut short, so that the next ID is not appended to half of this one.
        if (::ftruncate(fiFd, fiSize) == 0)
            static_cast<void>(Synced(fiFd));
        errno = iError;
        RaiseFileError(QStringLiteral("write"), fsPath);
    }
    fiSize += off_t(aBytes.size());
    fbEndsWithBreak = true;
    fslLines.append(sLine);
}

void TIdFile::Rewrite(const QStringList& slLines)
{
    const QByteArray aBytes = Encode(slLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), fbBom);
    const QFileInfo info(fsPath);
    const QString sFolder = info.absolutePath();
    // Copies left by a station that crashed while rewriting: nobody else writes one while we hold
    // the lock on the file in place.
    const QString sTempPrefix = QStringLiteral(".") + info.fileName() + QStringLiteral(".");
    for (const QString& sStale :
         QDir(sFolder).entryList({sTempPrefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden))
        QFile::remove(sFolder + QLatin1Char('/') + sStale);
    QByteArray aTemp =
        QFile::encodeName(sFolder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(aTemp.data());
    if (fd < 0)
        RaiseFileError(QStringLiteral("rewrite"), fsPath);
    struct stat original
    {};
    bool bOk = ::fstat(fiFd, &original) == 0 && ::fchmod(fd, original.st_mode & 07777) == 0 &&
               WriteAll(fd, aBytes) && ::fsync(fd) == 0;
    const int iError = errno;
    bOk = ::close(fd) == 0 && bOk;
    if (!bOk || ::rename(aTemp.constData(), QFile::encodeName(fsPath).constData()) != 0) {
        const int iRenameError = bOk ? errno : iError;
        ::unlink(aTemp.constData());
        errno = iRenameError;
        RaiseFileError(QStringLiteral("rewrite"), fsPath);
    }
    // The rename itself reaches the disk with the folder.
    const int iFolder = ::open(QFile::encodeName(sFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iFolder >= 0) {
        static_cast<void>(Synced(iFolder));
        ::close(iFolder);
    }
    fslLines = slLines;
}

QStringList TIdFile::ReadLines(const QString& sPath)
{
    const int fd = ::open(QFile::encodeName(sPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        RaiseFileError(QStringLiteral("read"), sPath);
    QByteArray aBytes;
    try {
        aBytes = ReadRest(fd, sPath);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return SplitLines(Decode(aBytes).sText);
}

} // namespace sys
