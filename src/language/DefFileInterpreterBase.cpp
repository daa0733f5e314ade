#include "language/DefFileInterpreterBase.h"

#include "core/CodePage.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "core/StrUtilsEx.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <utility>

namespace {

const QString csCrLf = QStringLiteral("\r\n");

// Lines end at CR LF, LF or CR; a break at the very end opens no further line.
QStringList SplitLines(const QString& sText)
{
    QStringList slLines;
    const QChar* pText = sText.constData();
    const qsizetype iSize = sText.size();
    qsizetype iStart = 0;
    for (qsizetype i = 0; i < iSize; ++i) {
        const QChar c = pText[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        slLines.append(sText.mid(iStart, i - iStart));
        if (c == QLatin1Char('\r') && i + 1 < iSize && pText[i + 1] == QLatin1Char('\n'))
            ++i;
        iStart = i + 1;
    }
    if (iStart < iSize)
        slLines.append(sText.mid(iStart));
    return slLines;
}

QString DecodeText(const QByteArray& aBytes)
{
    const auto Decode = [&aBytes](QStringConverter::Encoding eEncoding, qsizetype iBomSize) {
        QStringDecoder decoder(eEncoding);
        return QString(decoder.decode(QByteArrayView(aBytes).sliced(iBomSize)));
    };
    if (aBytes.startsWith("\xEF\xBB\xBF"))
        return Decode(QStringConverter::Utf8, 3);
    if (aBytes.startsWith("\xFF\xFE"))
        return Decode(QStringConverter::Utf16LE, 2);
    if (aBytes.startsWith("\xFE\xFF"))
        return Decode(QStringConverter::Utf16BE, 2);
    if (aBytes.isValidUtf8())
        return QString::fromUtf8(aBytes);
    return TCodePage::Station().Decode(aBytes);
}

// 0-based index of the first line holding a NUL character, -1 when there is none.
int FirstNulLine(const QStringList& slLines)
{
    for (int i = 0; i < slLines.size(); ++i) {
        if (slLines.at(i).contains(QChar(0)))
            return i;
    }
    return -1;
}

void CheckText(const QString& sFileName, const QStringList& slLines)
{
    const int iNulLine = FirstNulLine(slLines);
    if (iNulLine >= 0)
        throw EMsg(QStringLiteral("File \"%s\" is not a text file: NUL character in line %d!"),
                   {sFileName, iNulLine + 1}, TMsgId(0x03051E), iNulLine + 1);
}

// Extension from the last "." of the name on, the dot included; empty without a dot.
QString FileExtension(const QString& sFileName)
{
    const qsizetype iSlash = sFileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype iDot = sFileName.lastIndexOf(QLatin1Char('.'));
    return iDot > iSlash ? sFileName.mid(iDot) : QString();
}

// Empties a container when the scope ends, however it ends: the files read during a load are kept
// only while it reads, because the segments share their lines.
template <class T>
class TClearOnExit
{
public:
    explicit TClearOnExit(T& aItems) : fItems(aItems) {}
    ~TClearOnExit() { fItems.clear(); }
    TClearOnExit(const TClearOnExit&) = delete;
    TClearOnExit& operator=(const TClearOnExit&) = delete;

private:
    T& fItems;
};

EMsg TooLargeError(const QString& sFileName)
{
    return EMsg(QStringLiteral("Definition too large: reading \"%s\" exceeds the limit of %d bytes!"),
                {sFileName, TInterpreterBase::ciMaxLoadBytes}, TMsgId(0x030514), 0);
}

// The lines of a file with comments removed; a forgotten "*/" would silently drop the rest of the
// file, test cases included, so it is an error.
QStringList WithoutComments(const QString& sFileName, QStringList slLines)
{
    int iOpenBlockLine = -1;
    QStringList slResult = TInterpreterBase::RemoveComments(std::move(slLines), &iOpenBlockLine);
    if (iOpenBlockLine >= 0)
        throw EMsg(QStringLiteral("Unterminated block comment in \"%s\" from line %d!"),
                   {sFileName, iOpenBlockLine + 1}, TMsgId(0x03070A), iOpenBlockLine + 1);
    return slResult;
}

bool IsDrivePath(const QString& sName)
{
    return sName.size() >= 3 && sName.at(0).isLetter() && sName.at(0).unicode() < 128 &&
           sName.at(1) == QLatin1Char(':') &&
           (sName.at(2) == QLatin1Char('\\') || sName.at(2) == QLatin1Char('/'));
}

} // namespace

QString TData::Text() const
{
    return fslData.join(csCrLf);
}

void TData::SetText(const QString& sText)
{
    fslData = SplitLines(sText);
}

void TData::ReplaceCurrentLine(const QString& aLine)
{
    if (FiLineCounter <= 0 || FiLineCounter > fslData.size())
        throw EMsg(TMsgId(0x030600), Count(), FiLineCounter);
    // The definition check keeps the lines as read: looking before writing leaves the list
    // shared with it (no copy of the whole list) as long as no line changes.
    const qsizetype iIndex = FiLineCounter - 1;
    if (fslData.at(iIndex) != aLine)
        fslData[iIndex] = aLine;
}

TInterpreterBase::TInterpreterBase()
{
    TInterpreterBase::CreateKeyList();
}

TInterpreterBase::~TInterpreterBase() = default;

void TInterpreterBase::CreateKeyList()
{
    fKeyList.clear();
}

bool TInterpreterBase::ParseDefine(const QString& sLine, QString& sName, QString& sValue) const
{
    SplitDirective(sLine, QStringLiteral("#define "), sName, sValue);
    return !sName.isEmpty() && sName != sValue;
}

QString TInterpreterBase::GetIncludeFileName(const QString& sLine) const
{
    if (!sLine.startsWith(QStringLiteral("#include "), Qt::CaseInsensitive))
        return QString();
    return ExtractBetween(sLine, QLatin1Char('"'));
}

bool TInterpreterBase::FileAvailable(const QString& sFileName) const
{
    return !sFileName.isEmpty() && QFileInfo(sFileName).isFile();
}

QByteArray TInterpreterBase::ReadFileBytes(const QString& sFileName)
{
    const qint64 iLeft = ciMaxLoadBytes - fiLoadBytes;
    const auto CannotRead = [&sFileName](const QFile& aFile, int iValue) {
        return EMsg(QStringLiteral("Cannot read file \"%s\": %s"), {sFileName, aFile.errorString()},
                    TMsgId(0x03050A), iValue);
    };
    QFile file(sFileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw CannotRead(file, 0);
    // A huge file is refused before it is read; the chunks cover files whose size is not known in
    // advance, so that memory never grows beyond the limit.
    if (file.size() > iLeft)
        throw TooLargeError(sFileName);
    QByteArray aBytes;
    aBytes.reserve(qsizetype(file.size()));
    char aChunk[64 * 1024];
    for (;;) {
        const qint64 iRead = file.read(aChunk, qint64(sizeof aChunk));
        if (iRead < 0)
            throw CannotRead(file, 1);
        if (iRead == 0)
            break;
        if (aBytes.size() + iRead > iLeft)
            throw TooLargeError(sFileName);
        aBytes.append(aChunk, qsizetype(iRead));
    }
    ChargeLoadBytes(sFileName, aBytes.size());
    return aBytes;
}

void TInterpreterBase::ChargeLoadBytes(const QString& sFileName, qint64 iBytes)
{
    if (iBytes > ciMaxLoadBytes - fiLoadBytes)
        throw TooLargeError(sFileName);
    fiLoadBytes += iBytes;
}

QStringList TInterpreterBase::IncludedLines(const QString& sFileName)
{
    // A file included again counts against the byte budget again, as if it were read again.
    const auto it = fReadFiles.constFind(sFileName);
    if (it != fReadFiles.constEnd()) {
        ChargeLoadBytes(sFileName, it->iBytes);
        return it->slLines;
    }
    const qint64 iBytesBefore = fiLoadBytes;
    QStringList slRead;
    if (!LoadFileToList(sFileName, slRead))
        throw EMsg(QStringLiteral("File not found: \"%s\""), {sFileName}, TMsgId(0x03021E), 0);
    TReadFile file{WithoutComments(sFileName, std::move(slRead)), fiLoadBytes - iBytesBefore};
    fReadFiles.insert(sFileName, file);
    return file.slLines;
}

bool TInterpreterBase::LoadFileToList(const QString& sFileName, QStringList& aList)
{
    if (!FileAvailable(sFileName))
        return false;
    QStringList slLines = BytesToLines(ReadFileBytes(sFileName));
    CheckText(sFileName, slLines);
    aList = std::move(slLines);
    return true;
}

bool TInterpreterBase::LoadFileToStream(const QString& sFileName, QByteArray& aStream)
{
    if (!FileAvailable(sFileName))
        return false;
    aStream = ReadFileBytes(sFileName);
    return true;
}

void TInterpreterBase::ClearContent()
{
    fFileList.clear();
    fiCurrentFile = 0;
    fiAppendFileRecursion = 0;
    fiLoadBytes = 0;
    fiIncludes = 0;
    fReadFiles.clear();
}

bool TInterpreterBase::IsCodedFileName(const QString& sFileName) const
{
    return FileExtension(sFileName).compare(QLatin1Char('.') + FsCodeFileExtension, Qt::CaseInsensitive) == 0;
}

void TInterpreterBase::FileLoad(const QString& sFileName)
{
    if (!FileAvailable(sFileName))
        throw EMsg(TMsgId(0x030400), int(sFileName.size()));
    FsFileName = sFileName;
    ClearContent();
    const TClearOnExit<decltype(fReadFiles)> forget(fReadFiles);
    if (IsCodedFileName(sFileName))
        AppendCodedFile(sFileName);
    else
        AppendFile(sFileName);
}

void TInterpreterBase::LoadFromList(const QString& sFileName, const QStringList& aList)
{
    FsFileName = sFileName;
    ClearContent();
    const TClearOnExit<decltype(fReadFiles)> forget(fReadFiles);
    AppendFile(sFileName, &aList);
}

void TInterpreterBase::FileSaveAs(const QString& /*sFileName*/)
{
    throw EMsg(TMsgId(0x04010A), 0);
}

void TInterpreterBase::AppendFile(const QString& sFileName, const QStringList* pGivenLines)
{
    ++fiAppendFileRecursion;
    if (fiAppendFileRecursion > ciMaxAppendFileRecursion)
        throw EMsg(QStringLiteral("To much include file recursions!"), TMsgId(0x03020A),
                   fiAppendFileRecursion);

    const QStringList slLines =
        pGivenLines ? WithoutComments(sFileName, *pGivenLines) : IncludedLines(sFileName);

    std::unique_ptr<TData> pSegment;
    for (int i = 0; i < slLines.size(); ++i) {
        const QString& sLine = slLines.at(i);
        if (!pSegment) {
            if (sLine.isEmpty())
                continue;
            pSegment = std::make_unique<TData>(i);
        }
        const QString sInclude = GetIncludeFileName(sLine);
        if (sInclude.isEmpty()) {
            pSegment->Append(sLine);
            continue;
        }
        // The include line stays as an empty line so that the line numbers stay right.
        pSegment->Append(QString());
        fFileList.push_back({sFileName, std::move(pSegment)});
        if (++fiIncludes > ciMaxIncludes)
            throw EMsg(
                QStringLiteral("Too many includes: line %d of \"%s\" exceeds the limit of %d includes in "
                               "one load!"),
                {i + 1, sFileName, ciMaxIncludes}, TMsgId(0x030228), i + 1);
        if (!FileAvailable(sInclude))
            throw EMsg(QStringLiteral("Unknown include file \"%s\" defined in \"%s\"!"),
                       {sInclude, sFileName}, TMsgId(0x030214), int(sFileName.size()));
        AppendFile(sInclude);
        --fiAppendFileRecursion;
    }
    if (pSegment)
        fFileList.push_back({sFileName, std::move(pSegment)});
}

void TInterpreterBase::AppendCodedFile(const QString& sFileName)
{
    QByteArray aStream;
    if (!LoadFileToStream(sFileName, aStream))
        throw EMsg(QStringLiteral("File not found: \"%s\""), {sFileName}, TMsgId(0x03030A), 0);
    DescrambleStream(aStream);
    QStringList slLines = BytesToLines(aStream);
    if (slLines.isEmpty() || slLines.last() != csCodedFileId)
        throw EMsg(QStringLiteral("Invalid file identification!"), TMsgId(0x030300), 0);
    slLines.removeLast();
    CheckText(sFileName, slLines);
    AppendFile(sFileName, &slLines);
}

void TInterpreterBase::DescrambleStream(QByteArray& aStream)
{
    for (char& c : aStream)
        c = char(c ^ ccScrambleKey);
}

QStringList TInterpreterBase::BytesToLines(const QByteArray& aBytes)
{
    return SplitLines(DecodeText(aBytes));
}

QStringList TInterpreterBase::RemoveComments(QStringList&& aLines, int* piOpenBlockLine)
{
    // A line that holds a line break itself would end up in two lines: the general filter below
    // takes care of that.
    for (const QString& sLine : aLines) {
        for (const QChar c : sLine) {
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                return RemoveComments(std::as_const(aLines), piOpenBlockLine);
        }
    }
    // The same filter as below, line by line: a line's output is never longer than the line and
    // is written into the line itself, so that a file read once is not copied again line by line.
    bool bLineComment = false;
    bool bBlockComment = false;
    int iBlockLine = -1;
    // The filter below starts with a blank, which is trimmed away; a break is never written.
    QChar p = QLatin1Char('\n');
    for (int iLine = 0; iLine < aLines.size(); ++iLine) {
        QString& sLine = aLines[iLine];
        const qsizetype iLength = sLine.size();
        QChar* pLine = sLine.data();
        const auto At = [pLine, iLength](qsizetype i) {
            return i < iLength ? pLine[i] : QLatin1Char(i == iLength ? '\r' : '\n');
        };
        qsizetype iOut = 0;
        for (qsizetype i = 0; i < iLength + 2; ++i) {
            QChar c = At(i);
            if (c == QLatin1Char('*') && p == QLatin1Char('/') && !bLineComment) {
                if (!bBlockComment)
                    iBlockLine = iLine;
                bBlockComment = true;
            } else if (c == QLatin1Char('/') && p == QLatin1Char('/')) {
                bLineComment = true;
            } else if (c == QLatin1Char('/') && p == QLatin1Char('*') && !bLineComment) {
                bBlockComment = false;
                ++i;
                p = At(i);
                continue;
            }
            // The breaks are not written: the line's output ends at its CR.
            if (p == QLatin1Char('\r') || p == QLatin1Char('\n'))
                bLineComment = false;
            else if (!bLineComment && !bBlockComment)
                pLine[iOut++] = p;
            p = c;
        }
        qsizetype iStart = 0;
        while (iStart < iOut && pLine[iStart].unicode() < 33)
            ++iStart;
        while (iOut > iStart && pLine[iOut - 1].unicode() < 33)
            --iOut;
        sLine.truncate(iOut);
        sLine.remove(0, iStart);
    }
    if (piOpenBlockLine)
        *piOpenBlockLine = bBlockComment ? iBlockLine : -1;
    return std::move(aLines);
}

QStringList TInterpreterBase::RemoveComments(const QStringList& aLines, int* piOpenBlockLine)
{
    // The filter runs over the lines as if joined with CR LF after each line, one character c at
    // a time with p the character before it; p is what gets output. Reading the lines so keeps
    // the exact behaviour at line ends (a line comment ends at the break, a block comment keeps
    // its breaks) without copying the whole text first.
    qsizetype iTotal = 0;
    for (const QString& sLine : aLines)
        iTotal += sLine.size() + 2;

    // The output is written straight into a buffer of the input's size (the filter never
    // outputs more characters than it reads): a load passes every character of the definition.
    QString sOut(iTotal + 1, Qt::Uninitialized);
    QChar* pOut = sOut.data();
    qsizetype iOut = 0;
    bool bLineComment = false;
    bool bBlockComment = false;
    int iLine = 0;
    int iBlockLine = -1;
    QChar p = QLatin1Char(' ');
    for (const QString& sLine : aLines) {
        const QChar* pText = sLine.constData();
        const qsizetype iLength = sLine.size();
        // The line's characters and then its CR LF.
        const qsizetype iSize = iLength + 2;
        const auto At = [pText, iLength](qsizetype i) {
            return i < iLength ? pText[i] : QLatin1Char(i == iLength ? '\r' : '\n');
        };
        for (qsizetype i = 0; i < iSize; ++i) {
            QChar c = At(i);
            if (c == QLatin1Char('*') && p == QLatin1Char('/') && !bLineComment) {
                if (!bBlockComment)
                    iBlockLine = iLine;
                bBlockComment = true;
            } else if (c == QLatin1Char('/') && p == QLatin1Char('/')) {
                bLineComment = true;
            } else if (c == QLatin1Char('/') && p == QLatin1Char('*') && !bLineComment) {
                // The closer is consumed together with the character after it, which becomes the
                // next p; so neither "*" nor "/" is output. A "/" of the line is always followed
                // by at least the line's CR.
                bBlockComment = false;
                ++i;
                c = At(i);
                if (c == QLatin1Char('\n'))
                    ++iLine;
                p = c;
                continue;
            }
            if (p == QLatin1Char('\r') || p == QLatin1Char('\n')) {
                bLineComment = false;
                pOut[iOut++] = p;
            } else if (!bLineComment && !bBlockComment) {
                pOut[iOut++] = p;
            }
            if (c == QLatin1Char('\n'))
                ++iLine;
            p = c;
        }
    }
    if (piOpenBlockLine)
        *piOpenBlockLine = bBlockComment ? iBlockLine : -1;

    // Split at CR LF, CR or LF and trim the control characters and blanks of both ends in one
    // step, so that each line is copied once.
    QStringList slResult;
    slResult.reserve(aLines.size() + 1);
    const auto AppendTrimmed = [&slResult, pOut](qsizetype iStart, qsizetype iEnd) {
        while (iStart < iEnd && pOut[iStart].unicode() < 33)
            ++iStart;
        while (iEnd > iStart && pOut[iEnd - 1].unicode() < 33)
            --iEnd;
        slResult.append(QString(pOut + iStart, iEnd - iStart));
    };
    qsizetype iStart = 0;
    for (qsizetype i = 0; i < iOut; ++i) {
        const QChar c = pOut[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        AppendTrimmed(iStart, i);
        if (c == QLatin1Char('\r') && i + 1 < iOut && pOut[i + 1] == QLatin1Char('\n'))
            ++i;
        iStart = i + 1;
    }
    if (iStart < iOut)
        AppendTrimmed(iStart, iOut);
    return slResult;
}

bool TInterpreterBase::EndOfFile() const
{
    const int iCount = int(fFileList.size());
    if (fiCurrentFile < 0 || fiCurrentFile >= iCount)
        return true;
    if (!fFileList[std::size_t(fiCurrentFile)].pObject->Exhausted())
        return false;
    for (int i = fiCurrentFile + 1; i < iCount; ++i) {
        if (fFileList[std::size_t(i)].pObject->Count() > 0)
            return false;
    }
    return true;
}

QString TInterpreterBase::GetNextLine()
{
    const int iCount = int(fFileList.size());
    if (fiCurrentFile < 0 || fiCurrentFile >= iCount)
        return QString();
    TData* pData = fFileList[std::size_t(fiCurrentFile)].pObject.get();
    // At the end of the last segment the position stays there, so that CurrentLocation keeps
    // naming the last line.
    while (pData->Exhausted()) {
        if (fiCurrentFile + 1 >= iCount)
            return QString();
        ++fiCurrentFile;
        pData = fFileList[std::size_t(fiCurrentFile)].pObject.get();
        pData->SetLineCounter(0);
    }
    return pData->ReadLine();
}

void TInterpreterBase::Rewind()
{
    fiCurrentFile = 0;
    for (auto& item : fFileList)
        item.pObject->SetLineCounter(0);
}

TData* TInterpreterBase::CurrentData()
{
    if (fiCurrentFile < 0 || fiCurrentFile >= int(fFileList.size()))
        return nullptr;
    return fFileList[std::size_t(fiCurrentFile)].pObject.get();
}

QString TInterpreterBase::CurrentFileName() const
{
    if (fiCurrentFile < 0 || fiCurrentFile >= int(fFileList.size()))
        return QString();
    return fFileList[std::size_t(fiCurrentFile)].sName;
}

QString TInterpreterBase::CurrentLocation() const
{
    if (fiCurrentFile < 0 || fiCurrentFile >= int(fFileList.size()))
        return Format(QStringLiteral("%s, %d"), {FsFileName, 0});
    const auto& item = fFileList[std::size_t(fiCurrentFile)];
    return Format(QStringLiteral("%s, %d"), {item.sName, item.pObject->LineInFile()});
}

void TInterpreterBase::AddLoadInfo(const QString& sPrefix, const QString& sText)
{
    FsLoadInfos += csCrLf + sPrefix + CurrentLocation() + QStringLiteral(": ") + sText;
}

void TInterpreterBase::AddKey(std::unique_ptr<TDefFileKeyBase> aKey)
{
    const QString sName = aKey->ClassName();
    fKeyList.push_back({sName, std::move(aKey)});
}

QString TInterpreterReader::MainFileDirectory() const
{
    const qsizetype iSlash = FsFileName.lastIndexOf(QLatin1Char('/'));
    return iSlash < 0 ? QString() : FsFileName.left(iSlash + 1);
}

QString TInterpreterReader::GetIncludeFileName(const QString& sLine) const
{
    QString sName = TInterpreterBase::GetIncludeFileName(sLine);
    if (sName.isEmpty())
        return sName;
    if (!IsDrivePath(sName))
        sName.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return MainFileDirectory() + sName;
}
