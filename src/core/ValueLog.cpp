#include "ValueLog.h"

#include "CodePage.h"
#include "DateTimeFormat.h"
#include "FormatSettings.h"
#include "MsgExceptions.h"
#include "StrUtilsEx.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

std::unique_ptr<TValueLog>& Singleton()
{
    static std::unique_ptr<TValueLog> instance;
    return instance;
}

TValueLog*& Installed()
{
    static TValueLog* installed = nullptr;
    return installed;
}

using TEncoding = TValueLog::TEncoding;
using TFileState = TValueLog::TFileState;

const QString sLineBreak = QStringLiteral("\r\n");

QString ErrnoText(int iError)
{
    return QString::fromLocal8Bit(std::strerror(iError));
}

int UnitSize(TEncoding eEncoding)
{
    return eEncoding == TEncoding::Utf16LE || eEncoding == TEncoding::Utf16BE ? 2 : 1;
}

QByteArray Encode(const QString& sText, TEncoding eEncoding)
{
    switch (eEncoding) {
    case TEncoding::CodePage:
        return TCodePage::Station().Encode(sText);
    case TEncoding::Utf8:
        return sText.toUtf8();
    case TEncoding::Utf16LE: {
        QStringEncoder encoder(QStringEncoder::Utf16LE);
        return encoder.encode(sText);
    }
    case TEncoding::Utf16BE: {
        QStringEncoder encoder(QStringEncoder::Utf16BE);
        return encoder.encode(sText);
    }
    }
    return QByteArray();
}

QString Decode(const QByteArray& aBytes, TEncoding eEncoding)
{
    switch (eEncoding) {
    case TEncoding::CodePage:
        return TCodePage::Station().Decode(aBytes);
    case TEncoding::Utf8:
        return QString::fromUtf8(aBytes);
    case TEncoding::Utf16LE: {
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        return decoder.decode(aBytes);
    }
    case TEncoding::Utf16BE: {
        QStringDecoder decoder(QStringDecoder::Utf16BE);
        return decoder.decode(aBytes);
    }
    }
    return QString();
}

// Whether the code unit at aBytes[i] is a CR or an LF.
bool IsLineBreak(const QByteArray& aBytes, qsizetype i, TEncoding eEncoding)
{
    auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
    switch (eEncoding) {
    case TEncoding::Utf16LE:
        return aBytes.at(i + 1) == 0 && isBreak(aBytes.at(i));
    case TEncoding::Utf16BE:
        return aBytes.at(i) == 0 && isBreak(aBytes.at(i + 1));
    default:
        return isBreak(aBytes.at(i));
    }
}

// Reads exactly iCount bytes at iOffset; 0 on success, otherwise the error number.
int ReadAt(int fd, std::int64_t iOffset, std::int64_t iCount, QByteArray& aBytes)
{
    aBytes.resize(iCount);
    std::int64_t iDone = 0;
    while (iDone < iCount) {
        const ssize_t r =
            ::pread(fd, aBytes.data() + iDone, std::size_t(iCount - iDone), off_t(iOffset + iDone));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (r == 0)
            return EIO; // the file shrank while it was read
        iDone += r;
    }
    return 0;
}

// Searches the lines of [iBegin, iEnd) backwards, block by block, for the last one that starts
// with "Start". Only the lines that end after iFrom are looked at: earlier ones were seen before.
// Returns 0 or the error number.
int FindLastHeader(int fd, const TFileState& file, std::int64_t iEnd, std::int64_t iFrom, bool& bFound,
                   std::int64_t& iOffset, QByteArray& aLine)
{
    const int iUnit = UnitSize(file.eEncoding);
    const QByteArray aStart = Encode(QStringLiteral("Start"), file.eEncoding);
    const std::int64_t iBegin = file.iBomSize;
    bFound = false;

    std::int64_t iPos = iEnd;
    std::int64_t iBlock = 4096;
    QByteArray aCarry; // the start of a line whose beginning has not been read yet
    QByteArray aChunk;
    while (iPos > iBegin) {
        const std::int64_t n = std::min(iBlock, iPos - iBegin);
        iBlock = std::min<std::int64_t>(iBlock * 2, 1 << 20);
        iPos -= n;
        if (const int iError = ReadAt(fd, iPos, n, aChunk))
            return iError;
        aChunk.append(aCarry);
        qsizetype iLineEnd = aChunk.size();
        for (qsizetype k = aChunk.size() - iUnit; k >= 0; k -= iUnit) {
            if (!IsLineBreak(aChunk, k, file.eEncoding))
                continue;
            const qsizetype iLineStart = k + iUnit;
            if (QByteArrayView(aChunk).sliced(iLineStart, iLineEnd - iLineStart).startsWith(aStart)) {
                bFound = true;
                iOffset = iPos + iLineStart;
                aLine = aChunk.mid(iLineStart, iLineEnd - iLineStart);
                return 0;
            }
            iLineEnd = k;
            if (iPos + iLineStart <= iFrom)
                return 0;
        }
        aCarry = aChunk.left(iLineEnd);
    }
    if (aCarry.startsWith(aStart)) {
        bFound = true;
        iOffset = iBegin;
        aLine = aCarry;
    }
    return 0;
}

// Whether the header found by an earlier read is still in place, so that only the lines
// appended since then need to be searched.
bool HeaderStillInPlace(int fd, const TFileState& file, std::int64_t iSize)
{
    if (!file.bHasHeader)
        return true;
    const int iUnit = UnitSize(file.eEncoding);
    const bool bBefore = file.iHeaderOffset > file.iBomSize;
    const std::int64_t iFrom = file.iHeaderOffset - (bBefore ? iUnit : 0);
    const std::int64_t iTo = std::min<std::int64_t>(iSize, file.iHeaderOffset + file.aHeader.size() + iUnit);
    if (iTo < file.iHeaderOffset + file.aHeader.size())
        return false;
    QByteArray aBytes;
    if (ReadAt(fd, iFrom, iTo - iFrom, aBytes) != 0)
        return false;
    const qsizetype iHeaderAt = bBefore ? iUnit : 0;
    if (bBefore && !IsLineBreak(aBytes, 0, file.eEncoding))
        return false;
    if (aBytes.mid(iHeaderAt, file.aHeader.size()) != file.aHeader)
        return false;
    const qsizetype iAfter = iHeaderAt + file.aHeader.size();
    return iAfter == aBytes.size() || IsLineBreak(aBytes, iAfter, file.eEncoding);
}

// Reads what the log needs to know about the open file fd: its encoding, whether it ends with a
// line break, and its last header line. With a known earlier state of the same file only the
// part appended since is searched. Returns 0 or the error number.
int ReadFileState(int fd, const TFileState& known, TFileState& file)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    file = TFileState();
    file.bKnown = true;
    file.uDevice = std::uint64_t(info.st_dev);
    file.uInode = std::uint64_t(info.st_ino);
    file.iSize = S_ISREG(info.st_mode) ? std::int64_t(info.st_size) : 0;

    QByteArray aFirst;
    if (const int iError = ReadAt(fd, 0, std::min<std::int64_t>(file.iSize, 3), aFirst))
        return iError;
    if (aFirst.startsWith("\xEF\xBB\xBF")) {
        file.eEncoding = TEncoding::Utf8;
        file.iBomSize = 3;
    } else if (aFirst.startsWith("\xFF\xFE")) {
        file.eEncoding = TEncoding::Utf16LE;
        file.iBomSize = 2;
    } else if (aFirst.startsWith("\xFE\xFF")) {
        file.eEncoding = TEncoding::Utf16BE;
        file.iBomSize = 2;
    }
    const int iUnit = UnitSize(file.eEncoding);
    // A stray odd byte at the end of a UTF-16 file is not part of any line.
    const std::int64_t iEnd = file.iBomSize + (file.iSize - file.iBomSize) / iUnit * iUnit;

    file.iStrayBytes = int(file.iSize - iEnd);
    if (file.iStrayBytes > 0) {
        file.bEndsWithBreak = false;
    } else if (iEnd > file.iBomSize) {
        QByteArray aLast;
        if (const int iError = ReadAt(fd, iEnd - iUnit, iUnit, aLast))
            return iError;
        file.bEndsWithBreak = IsLineBreak(aLast, 0, file.eEncoding);
    }

    const bool bContinue = known.bKnown && known.uDevice == file.uDevice && known.uInode == file.uInode &&
                           known.eEncoding == file.eEncoding && known.iSize <= file.iSize &&
                           HeaderStillInPlace(fd, known, file.iSize);
    std::int64_t iFrom = file.iBomSize;
    if (bContinue) {
        file.bHasHeader = known.bHasHeader;
        file.iHeaderOffset = known.iHeaderOffset;
        file.aHeader = known.aHeader;
        file.sHeader = known.sHeader;
        iFrom = known.iSize;
    }
    bool bFound = false;
    std::int64_t iOffset = 0;
    QByteArray aLine;
    if (const int iError = FindLastHeader(fd, file, iEnd, iFrom, bFound, iOffset, aLine))
        return iError;
    if (bFound) {
        file.bHasHeader = true;
        file.iHeaderOffset = iOffset;
        file.aHeader = aLine;
        file.sHeader = Decode(aLine, file.eEncoding);
    }
    return 0;
}

// Appends aBytes with one write call (other appending programs cannot split it) and flushes it
// to disk. A write that fails part-way is cut off again, so the file keeps no half line.
// Returns 0 or the error number.
int AppendAndSync(int fd, const QByteArray& aBytes)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return errno;
    const std::int64_t iSizeBefore = info.st_size;
    qsizetype iDone = 0;
    int iError = 0;
    while (iDone < aBytes.size()) {
        const ssize_t r = ::write(fd, aBytes.constData() + iDone, std::size_t(aBytes.size() - iDone));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            iError = errno;
            break;
        }
        iDone += r;
    }
    if (iError != 0) {
        if (iDone > 0 && S_ISREG(info.st_mode) && ::fstat(fd, &info) == 0 &&
            info.st_size == iSizeBefore + iDone && ::ftruncate(fd, off_t(iSizeBefore)) == 0)
            ::fsync(fd);
        return iError;
    }
    // Devices and pipes cannot be synchronised; what they took is written.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

// A file descriptor closed with its owner.
class TFileHandle
{
public:
    explicit TFileHandle(int fd) : ffd(fd) {}
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    ~TFileHandle()
    {
        if (ffd >= 0)
            ::close(ffd);
    }
    int Get() const { return ffd; }

private:
    int ffd;
};

// Values are written without quoting, so they must not break the line or the columns.
QString CsvSafe(const QString& sValue)
{
    QString sResult = sValue;
    for (QChar& c : sResult) {
        if (c.unicode() < 32)
            c = QLatin1Char('?');
        else if (c == QLatin1Char(';'))
            c = QLatin1Char(',');
    }
    return sResult;
}

} // namespace

TValueLog::TValueLog()
    : fsDateTimeFormat(QStringLiteral("yyyy-mm-dd hh:nn:ss")),
      fClock([] { return QDateTime::currentDateTime(); })
{}

TValueLog& TValueLog::Instance()
{
    if (TValueLog* pInstalled = Installed())
        return *pInstalled;
    auto& instance = Singleton();
    if (!instance)
        instance = std::make_unique<TValueLog>();
    return *instance;
}

void TValueLog::InstanceRelease()
{
    Singleton().reset();
}

TValueLog* TValueLog::SetInstance(TValueLog* aLog)
{
    return std::exchange(Installed(), aLog);
}

void TValueLog::Init(const QString& aFileName, const QString& aDateFormat)
{
    QString sName = aFileName;
    if (sName.contains(QLatin1String("%DATE"))) {
        const QString sPattern = aDateFormat.isEmpty() ? QStringLiteral("YYMMDD") : aDateFormat;
        QString sDate;
        try {
            sDate = FormatDateTime(sPattern, Now());
        } catch (const std::exception& e) {
            throw EMsg(QStringLiteral("Invalid value log file date format: ") + ExceptionText(e),
                       TMsgId(0x090100), 0);
        }
        sName.replace(QLatin1String("%DATE"), sDate);
    }

    // The log stays off when the name cannot be used, so that a definition loaded despite the
    // error never writes to a file it did not name.
    fsFileName.clear();
    fFile = TFileState();
    const QString sPath = ResolveFileName(sName, false);
    const QFileInfo info(sPath);
    // A name that resolves to nothing (too long) or stays relative (a drive path of another
    // system) has no folder here.
    if (sPath.isEmpty() || !info.isAbsolute() || !info.absoluteDir().exists())
        throw EMsg(QStringLiteral("Value log file directory does not exist: ") +
                       (sPath.isEmpty() ? sName : sPath),
                   TMsgId(0x090100), 0);

    if (info.exists()) {
        const TFileHandle file(::open(QFile::encodeName(sPath).constData(), O_RDONLY | O_CLOEXEC));
        int iError = file.Get() < 0 ? errno : 0;
        if (iError == 0)
            iError = ReadFileState(file.Get(), TFileState(), fFile);
        if (iError != 0) {
            fFile = TFileState();
            throw EMsg(QStringLiteral("Can not read value log file \"%s\": %s"), {sPath, ErrnoText(iError)},
                       TMsgId(0x090101), iError);
        }
    }
    fsFileName = sPath;
}

void TValueLog::UpdateStartDateTimeFormat(const QString& aStartDateTimeFormat)
{
    try {
        FormatDateTime(aStartDateTimeFormat, Now());
    } catch (const std::exception& e) {
        throw EMsg(QStringLiteral("Invalid value log start date time format: ") + ExceptionText(e),
                   TMsgId(0x090300), 0);
    }
    fsDateTimeFormat = aStartDateTimeFormat;
}

int TValueLog::IndexOf(const QString& sName) const
{
    return fIndex.value(sName.toCaseFolded(), -1);
}

void TValueLog::AddEntry(const QString& sName)
{
    fIndex.insert(sName.toCaseFolded(), int(fslBuffer.size()));
    fslBuffer.push_back({sName, QString()});
    fsHeaders += fsHeaders.isEmpty() ? sName : QLatin1Char(';') + sName;
}

void TValueLog::EnsureStartColumns()
{
    if (!fslBuffer.empty())
        return;
    AddEntry(QStringLiteral("Start"));
    AddEntry(QStringLiteral("Duration"));
}

bool TValueLog::Append(const QString& aValueName)
{
    EnsureStartColumns();
    if (IndexOf(aValueName) >= 0)
        return false;
    AddEntry(aValueName);
    return true;
}

void TValueLog::ClearValues(const QString& sValue)
{
    for (TEntry& entry : fslBuffer)
        if (!entry.bFixed)
            entry.sValue = sValue;
}

void TValueLog::SetFixedValue(const QString& aValueName, const QString& aValue)
{
    Append(aValueName);
    SetValue(aValueName, aValue);
    fslBuffer[std::size_t(IndexOf(aValueName))].bFixed = true;
}

void TValueLog::SetStart()
{
    ClearValues(QStringLiteral(" "));
    fdtStartTime = Now();
}

void TValueLog::SetEntry(const QString& sName, const QString& sValue)
{
    const int i = IndexOf(sName);
    if (i >= 0)
        fslBuffer[std::size_t(i)].sValue = sValue;
}

void TValueLog::SetValue(const QString& aValueName, const QString& aValue)
{
    if (aValueName.isEmpty())
        return;
    const QString sValue = CsvSafe(aValue);
    SetEntry(aValueName, sValue.isEmpty() ? QStringLiteral("Empty String") : sValue);
}

QString TValueLog::Value(const QString& aValueName) const
{
    const int i = IndexOf(aValueName);
    return i < 0 ? QString() : fslBuffer[std::size_t(i)].sValue;
}

std::pair<QString, QString> TValueLog::StartAndDuration() const
{
    if (!fdtStartTime.isValid())
        return {QStringLiteral("-"), QStringLiteral("-")};
    const QDateTime dtNow = Now();
    // A time of day, so durations of a day or more wrap.
    const std::int64_t iElapsed = std::max<std::int64_t>(0, fdtStartTime.msecsTo(dtNow)) % (24 * 3600 * 1000);
    const QDateTime dtDuration(QDate(1899, 12, 30), QTime(0, 0).addMSecs(int(iElapsed)));
    return {CsvSafe(FormatDateTime(fsDateTimeFormat, fdtStartTime)),
            CsvSafe(FormatDateTime(TFormatSettings::App().sLongTimeFormat, dtDuration))};
}

std::vector<std::pair<QString, QString>> TValueLog::Line(bool aSuccess, const QString& aOperator) const
{
    const QString sStart = QStringLiteral("Start");
    const QString sDuration = QStringLiteral("Duration");
    const QString sResult = QStringLiteral("Result");
    const QString sOperator = QStringLiteral("Operator");
    const std::pair<QString, QString> startAndDuration = StartAndDuration();
    const QString sResultValue = aSuccess ? QStringLiteral("Passed") : QStringLiteral("Failed");
    QString sOperatorValue = CsvSafe(aOperator);
    if (sOperatorValue.isEmpty())
        sOperatorValue = QStringLiteral("Empty String");

    // As Write builds it: "Start" and "Duration" lead, "Result" and "Operator" follow the
    // registered columns unless an earlier Write registered them already; names match as Write's
    // lookups do, without regard to case.
    std::vector<std::pair<QString, QString>> line;
    line.reserve(fslBuffer.size() + 4);
    if (fslBuffer.empty()) {
        line.emplace_back(sStart, startAndDuration.first);
        line.emplace_back(sDuration, startAndDuration.second);
    }
    for (const TEntry& entry : fslBuffer)
        line.emplace_back(entry.sName, entry.sValue);
    const auto Replace = [&](const QString& sName, const QString& sValue) {
        const int i = IndexOf(sName);
        if (i >= 0)
            line[std::size_t(i)].second = sValue;
        else
            line.emplace_back(sName, sValue);
    };
    if (!fslBuffer.empty()) {
        Replace(sStart, startAndDuration.first);
        Replace(sDuration, startAndDuration.second);
    }
    Replace(sResult, sResultValue);
    Replace(sOperator, sOperatorValue);
    return line;
}

void TValueLog::Write(bool aSuccess, const QString& aOperator)
{
    if (fsFileName.isEmpty())
        return;

    EnsureStartColumns();
    const std::pair<QString, QString> startAndDuration = StartAndDuration();
    SetEntry(QStringLiteral("Start"), startAndDuration.first);
    SetEntry(QStringLiteral("Duration"), startAndDuration.second);
    Append(QStringLiteral("Result"));
    SetValue(QStringLiteral("Result"), aSuccess ? QStringLiteral("Passed") : QStringLiteral("Failed"));
    Append(QStringLiteral("Operator"));
    SetValue(QStringLiteral("Operator"), aOperator);

    QStringList values;
    values.reserve(qsizetype(fslBuffer.size()));
    fLastLine.clear();
    for (const TEntry& entry : fslBuffer) {
        values.append(entry.sValue);
        fLastLine.emplace_back(entry.sName, entry.sValue);
    }
    const QString sDataLine = values.join(QLatin1Char(';'));

    const QByteArray aPath = QFile::encodeName(fsFileName);
    const bool bExisted = QFileInfo::exists(fsFileName);
    const TFileHandle file(::open(aPath.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (file.Get() < 0) {
        const int iError = errno;
        throw EMsg(QStringLiteral("Can not write value log file \"%s\": %s"), {fsFileName, ErrnoText(iError)},
                   TMsgId(0x090600), iError);
    }
    // Other instances of this program that log into the same file wait here; the lock ends
    // with the handle.
    ::flock(file.Get(), LOCK_EX);

    // Compare against the file as it is now: another program may have appended to it.
    TFileState state;
    if (const int iError = ReadFileState(file.Get(), fFile, state)) {
        fFile = TFileState();
        throw EMsg(QStringLiteral("Can not read value log file \"%s\": %s"), {fsFileName, ErrnoText(iError)},
                   TMsgId(0x090601), iError);
    }

    // A unit that another program cut short is completed, or every line after it would be
    // read out of step; a line left open is closed.
    QByteArray aLead(state.iStrayBytes > 0 ? UnitSize(state.eEncoding) - state.iStrayBytes : 0, '\0');
    if (!state.bEndsWithBreak)
        aLead += Encode(sLineBreak, state.eEncoding);
    const QByteArray aHeader = Encode(fsHeaders, state.eEncoding);
    const bool bHeader = !state.bHasHeader || state.sHeader != Decode(aHeader, state.eEncoding);
    QByteArray aBytes = aLead;
    if (bHeader)
        aBytes += aHeader + Encode(sLineBreak, state.eEncoding);
    aBytes += Encode(sDataLine + sLineBreak, state.eEncoding);

    if (const int iError = AppendAndSync(file.Get(), aBytes)) {
        fFile = TFileState();
        throw EMsg(QStringLiteral("Can not write value log file \"%s\": %s"), {fsFileName, ErrnoText(iError)},
                   TMsgId(0x090600), iError);
    }
    if (!bExisted) {
        // The new file's folder entry must reach the disk as well.
        const TFileHandle folder(::open(QFile::encodeName(QFileInfo(fsFileName).absolutePath()).constData(),
                                        O_RDONLY | O_CLOEXEC));
        if (folder.Get() >= 0)
            ::fsync(folder.Get());
    }

    if (bHeader) {
        state.bHasHeader = true;
        state.iHeaderOffset = state.iSize + aLead.size();
        state.aHeader = aHeader;
        state.sHeader = Decode(aHeader, state.eEncoding);
    }
    state.iSize += aBytes.size();
    state.bEndsWithBreak = true;
    state.iStrayBytes = 0;
    fFile = state;

    ClearValues(QStringLiteral(" "));
    fdtStartTime = QDateTime();
}
