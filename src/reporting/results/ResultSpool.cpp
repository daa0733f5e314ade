#include "ResultSpool.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray caHeader = QByteArrayLiteral("TZK-RESULT-SPOOL 1\n");
const QString csSuffix = QStringLiteral(".spool");
// A file whose runs are all stored is kept for the next runs until it has grown to this size.
constexpr qint64 ciRotateBytes = 1024 * 1024;
// A run id as written: 36 characters.
constexpr int ciIdLength = 36;

QString ErrnoText(int iError)
{
    return QString::fromLocal8Bit(std::strerror(iError));
}

quint32 Crc32(const char* pData, qint64 iLength)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (qint64 i = 0; i < iLength; ++i)
        crc = table[(crc ^ quint8(pData[i])) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray IdBytes(const QUuid& aId)
{
    return aId.toByteArray(QUuid::WithoutBraces);
}

// Writes all of aBytes at the end of the file; on failure the file is cut back to iSize, so that
// no partial record stays behind. 0 or the error number.
int AppendAll(int iFd, qint64 iSize, const QByteArray& aBytes)
{
    qint64 iDone = 0;
    while (iDone < aBytes.size()) {
        const ssize_t n = ::write(iFd, aBytes.constData() + iDone, std::size_t(aBytes.size() - iDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int iError = n < 0 ? errno : ENOSPC;
            if (::ftruncate(iFd, iSize) != 0) {
                // Nothing more can be done: the next open cuts the partial record off.
            }
            return iError;
        }
        iDone += n;
    }
    return 0;
}

void SyncFolder(const QString& sFolder)
{
    const int iFd = ::open(QFile::encodeName(sFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iFd >= 0) {
        ::fsync(iFd);
        ::close(iFd);
    }
}

} // namespace

struct TResultSpool::TFile
{
    QString sPath;
    int iFd = -1;
    qint64 iSize = 0;
    int iUnacknowledged = 0;

    ~TFile()
    {
        if (iFd >= 0)
            ::close(iFd); // releases the lock
    }
};

TResultSpool::TResultSpool(const QString& sFolder) : fsFolder(sFolder) {}

TResultSpool::~TResultSpool() = default;

bool TResultSpool::Fail(const QString& sError)
{
    fsError = sError;
    return false;
}

bool TResultSpool::Open()
{
    if (!QDir().mkpath(fsFolder))
        return Fail(QStringLiteral("Cannot create the spool folder \"%1\"").arg(fsFolder));
    // The names begin with the time of their creation: oldest first.
    const QStringList slFiles =
        QDir(fsFolder).entryList({QStringLiteral("runs-*") + csSuffix}, QDir::Files, QDir::Name);
    for (const QString& sName : slFiles) {
        if (!Adopt(QDir(fsFolder).filePath(sName)))
            return false;
    }
    return true;
}

bool TResultSpool::Adopt(const QString& sPath)
{
    const QByteArray aPath = QFile::encodeName(sPath);
    auto file = std::make_shared<TFile>();
    file->sPath = sPath;
    file->iFd = ::open(aPath.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (file->iFd < 0) {
        // Gone meanwhile (another program emptied it), or not ours to open: the others still count.
        const int iError = errno;
        if (iError != ENOENT)
            fslWarnings.append(
                QStringLiteral("The spool file \"%1\" cannot be opened: %2").arg(sPath, ErrnoText(iError)));
        return true;
    }
    // Another program of this station holds it: its runs are its own.
    if (::flock(file->iFd, LOCK_EX | LOCK_NB) != 0)
        return true;
    // A program that emptied the file deleted it between our listing and our lock.
    struct stat held = {};
    struct stat named = {};
    if (::fstat(file->iFd, &held) != 0 || ::stat(aPath.constData(), &named) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev)
        return true;

    QFile reader(sPath);
    QByteArray aData;
    if (held.st_size > 0) {
        if (!reader.open(QIODevice::ReadOnly))
            return Fail(
                QStringLiteral("Cannot read the spool file \"%1\": %2").arg(sPath, reader.errorString()));
        const uchar* pMap = reader.map(0, held.st_size);
        if (!pMap)
            return Fail(
                QStringLiteral("Cannot read the spool file \"%1\": %2").arg(sPath, reader.errorString()));
        aData = QByteArray::fromRawData(reinterpret_cast<const char*>(pMap), qsizetype(held.st_size));
    }

    // Records: "R <id> <length> <crc32>\n" with the run and "\n"; "A <id>\n" acknowledges a run.
    std::vector<TEntry> runs;
    QSet<QUuid> acknowledged;
    qint64 iGood = 0;
    bool bDamaged = false;
    int iSkipped = 0;
    if (aData.size() >= caHeader.size() && aData.startsWith(caHeader)) {
        qint64 iPos = caHeader.size();
        iGood = iPos;
        while (iPos < aData.size()) {
            const qint64 iEnd = aData.indexOf('\n', iPos);
            if (iEnd < 0)
                break; // cut short: the rest goes
            const QByteArray aLine = aData.mid(iPos, iEnd - iPos);
            const QList<QByteArray> fields = aLine.split(' ');
            if (fields.size() == 2 && fields[0] == "A" && fields[1].size() == ciIdLength) {
                const QUuid id = QUuid::fromString(QLatin1String(fields[1]));
                if (id.isNull()) {
                    bDamaged = true;
                    break;
                }
                acknowledged.insert(id);
                iPos = iEnd + 1;
                iGood = iPos;
                continue;
            }
            bool bLength = false;
            bool bCrc = false;
            const qint64 iLength = fields.size() == 4 ? fields[2].toLongLong(&bLength) : -1;
            const quint32 uCrc = fields.size() == 4 ? fields[3].toUInt(&bCrc, 16) : 0;
            const QUuid id = fields.size() == 4 && fields[1].size() == ciIdLength
                                 ? QUuid::fromString(QLatin1String(fields[1]))
                                 : QUuid();
            if (fields.size() != 4 || fields[0] != "R" || id.isNull() || !bLength || iLength < 0 || !bCrc) {
                bDamaged = true;
                break;
            }
            const qint64 iPayload = iEnd + 1;
            if (iPayload + iLength + 1 > aData.size())
                break; // cut short
            const bool bLast = iPayload + iLength + 1 == aData.size();
            if (aData.at(iPayload + iLength) != '\n' ||
                Crc32(aData.constData() + iPayload, iLength) != uCrc) {
                // The last record written when the machine went down is cut off; one in the
                // middle is lost, the rest of the file is still read.
                if (bLast)
                    break;
                if (aData.at(iPayload + iLength) != '\n') {
                    bDamaged = true;
                    break;
                }
                ++iSkipped;
            } else {
                runs.push_back({id, file, iPayload, iLength});
            }
            iPos = iPayload + iLength + 1;
            iGood = iPos;
        }
    } else if (!caHeader.startsWith(aData)) {
        bDamaged = true;
    }
    reader.close();

    if (iSkipped > 0)
        fslWarnings.append(
            QStringLiteral("%1 damaged run(s) skipped in the spool file \"%2\"").arg(iSkipped).arg(sPath));
    file->iSize = held.st_size;
    if (!bDamaged && iGood < file->iSize) {
        // A record cut short by a crash: cut it off, so that the next record starts clean.
        if (::ftruncate(file->iFd, iGood) != 0)
            return Fail(
                QStringLiteral("Cannot repair the spool file \"%1\": %2").arg(sPath, ErrnoText(errno)));
        file->iSize = iGood;
    }

    std::vector<TEntry> pending;
    for (const TEntry& entry : runs) {
        if (!acknowledged.contains(entry.RunId))
            pending.push_back(entry);
    }

    if (bDamaged) {
        // The file's framing is lost from here on: its readable runs move into a file of our own,
        // and the file is kept aside for inspection.
        fslWarnings.append(
            QStringLiteral("The spool file \"%1\" is damaged; kept as \"%1.damaged\"").arg(sPath));
        for (const TEntry& entry : pending) {
            QByteArray aPayload(qsizetype(entry.iLength), Qt::Uninitialized);
            if (::pread(file->iFd, aPayload.data(), std::size_t(entry.iLength), entry.iOffset) !=
                entry.iLength)
                return Fail(
                    QStringLiteral("Cannot read the spool file \"%1\": %2").arg(sPath, ErrnoText(errno)));
            if (!Append(entry.RunId, aPayload))
                return false;
        }
        if (::rename(aPath.constData(), QFile::encodeName(sPath + QStringLiteral(".damaged")).constData()) !=
            0)
            return Fail(
                QStringLiteral("Cannot set aside the spool file \"%1\": %2").arg(sPath, ErrnoText(errno)));
        return true;
    }

    if (pending.empty()) {
        // Everything in it is stored.
        ::unlink(aPath.constData());
        return true;
    }
    file->iUnacknowledged = int(pending.size());
    fFiles.push_back(file);
    for (const TEntry& entry : pending) {
        fPending.push_back(entry);
        fiPendingBytes += entry.iLength;
    }
    return true;
}

bool TResultSpool::CreateCurrent()
{
    static std::atomic_int iCounter{0};
    const QString sName =
        QStringLiteral("runs-%1-%2-%3")
            .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmsszzz")))
            .arg(::getpid())
            .arg(++iCounter);
    const QString sTemporary = QDir(fsFolder).filePath(QLatin1Char('.') + sName + QStringLiteral(".new"));
    const QString sPath = QDir(fsFolder).filePath(sName + csSuffix);
    auto file = std::make_shared<TFile>();
    file->sPath = sPath;
    // Locked before it gets the name other programs look for, so that none of them adopts it.
    file->iFd = ::open(QFile::encodeName(sTemporary).constData(),
                       O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file->iFd < 0)
        return Fail(
            QStringLiteral("Cannot create a spool file in \"%1\": %2").arg(fsFolder, ErrnoText(errno)));
    int iError = ::flock(file->iFd, LOCK_EX | LOCK_NB) != 0 ? errno : 0;
    if (!iError)
        iError = AppendAll(file->iFd, 0, caHeader);
    if (!iError && ::fdatasync(file->iFd) != 0)
        iError = errno;
    if (!iError &&
        ::rename(QFile::encodeName(sTemporary).constData(), QFile::encodeName(sPath).constData()) != 0)
        iError = errno;
    if (iError) {
        ::unlink(QFile::encodeName(sTemporary).constData());
        return Fail(
            QStringLiteral("Cannot create a spool file in \"%1\": %2").arg(fsFolder, ErrnoText(iError)));
    }
    SyncFolder(fsFolder);
    file->iSize = caHeader.size();
    fFiles.push_back(file);
    fCurrent = file;
    return true;
}

bool TResultSpool::Append(const QUuid& aRunId, const QByteArray& aPayload)
{
    if (!fCurrent && !CreateCurrent())
        return false;
    TFile& file = *fCurrent;
    const QByteArray aRecord =
        QByteArrayLiteral("R ") + IdBytes(aRunId) + ' ' + QByteArray::number(aPayload.size()) + ' ' +
        QByteArray::number(Crc32(aPayload.constData(), aPayload.size()), 16) + '\n' + aPayload + '\n';
    if (const int iError = AppendAll(file.iFd, file.iSize, aRecord))
        return Fail(
            QStringLiteral("Cannot write the spool file \"%1\": %2").arg(file.sPath, ErrnoText(iError)));
    const qint64 iOffset = file.iSize + (aRecord.size() - aPayload.size() - 1);
    file.iSize += aRecord.size();
    ++file.iUnacknowledged;
    fPending.push_back({aRunId, fCurrent, iOffset, aPayload.size()});
    fiPendingBytes += aPayload.size();
    if (::fdatasync(file.iFd) != 0)
        return Fail(
            QStringLiteral("Cannot flush the spool file \"%1\": %2").arg(file.sPath, ErrnoText(errno)));
    return true;
}

QByteArray TResultSpool::PendingPayload(int iIndex) const
{
    const TEntry& entry = fPending[std::size_t(iIndex)];
    QByteArray aPayload(qsizetype(entry.iLength), Qt::Uninitialized);
    qint64 iDone = 0;
    while (iDone < entry.iLength) {
        const ssize_t n = ::pread(entry.File->iFd, aPayload.data() + iDone,
                                  std::size_t(entry.iLength - iDone), entry.iOffset + iDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return QByteArray();
        iDone += n;
    }
    return aPayload;
}

void TResultSpool::Acknowledge(int iCount)
{
    for (int i = 0; i < iCount && !fPending.empty(); ++i) {
        const TEntry entry = fPending.front();
        fPending.pop_front();
        fiPendingBytes -= entry.iLength;
        TFile& file = *entry.File;
        // Not flushed: should the line be lost, the run is sent again and the database keeps it once.
        const QByteArray aLine = QByteArrayLiteral("A ") + IdBytes(entry.RunId) + '\n';
        if (AppendAll(file.iFd, file.iSize, aLine) == 0)
            file.iSize += aLine.size();
        --file.iUnacknowledged;
        if (file.iUnacknowledged == 0 && (entry.File != fCurrent || file.iSize >= ciRotateBytes))
            Remove(entry.File);
    }
}

void TResultSpool::Remove(const std::shared_ptr<TFile>& aFile)
{
    // Deleted while still locked: a program that opened it meanwhile finds it gone.
    ::unlink(QFile::encodeName(aFile->sPath).constData());
    if (aFile == fCurrent)
        fCurrent.reset();
    for (auto it = fFiles.begin(); it != fFiles.end(); ++it) {
        if (*it == aFile) {
            fFiles.erase(it);
            break;
        }
    }
}

qint64 TResultSpool::BytesOnDisk() const
{
    qint64 iBytes = 0;
    for (const std::shared_ptr<TFile>& file : fFiles)
        iBytes += file->iSize;
    return iBytes;
}
