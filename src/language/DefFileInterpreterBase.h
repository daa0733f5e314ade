#pragma once

#include "language/DefFileKeyBase.h"

#include "core/MsgChannel.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// One segment of consecutive lines of one file, with the position of its first line in that
// file and the number of its lines read so far. It also holds the value of a defined name; then
// Text is the value and the offsets are not used.
class TData
{
public:
    TData() = default;
    explicit TData(int iLineOffset) : FiLineOffset(iLineOffset) {}

    int LineOffset() const { return FiLineOffset; }
    void SetLineOffset(int iOffset) { FiLineOffset = iOffset; }
    int LineCounter() const { return FiLineCounter; }
    void SetLineCounter(int iCounter) { FiLineCounter = iCounter; }
    // After a line was read: its 1-based number in its file.
    int LineInFile() const { return FiLineOffset + FiLineCounter; }

    // All lines separated by CR LF; setting it splits the text at CR LF, LF or CR.
    QString Text() const;
    void SetText(const QString& sText);

    const QStringList& Lines() const { return fslData; }
    int Count() const { return int(fslData.size()); }
    void Append(const QString& sLine) { fslData.append(sLine); }
    bool Exhausted() const { return FiLineCounter >= fslData.size(); }
    // The next line; the caller checks Exhausted first.
    const QString& ReadLine() { return fslData.at(FiLineCounter++); }

    // Replaces the line read last (the preprocessor blanks or rewrites lines this way). Raises
    // EMsg 030600 (plus the line count) when no line has been read yet.
    void ReplaceCurrentLine(const QString& aLine);

private:
    QStringList fslData;
    int FiLineOffset = 0;
    int FiLineCounter = 0;
};

// An entry of a name-keyed list that owns its object.
template <class T>
struct TNamedItem
{
    QString sName;
    std::unique_ptr<T> pObject;
};
using TDataList = std::vector<TNamedItem<TData>>;
using TKeyList = std::vector<TNamedItem<TDefFileKeyBase>>;

// Asks the host to show a definition document; the question comes in, the answer goes back.
using TDefineQueryEvent = std::function<void(QString& sText)>;

// The definition file reader: loads a main file with all its includes into segments of numbered
// lines, with comments removed and every line trimmed, and walks them line by line.
//
// Derived classes that register keywords call CreateKeyList() from their own constructor: a
// virtual call from this constructor would not reach their override.
class TInterpreterBase
{
public:
    // The first file counts 1, so includes may nest 19 deep.
    static constexpr int ciMaxAppendFileRecursion = 20;
    // Bytes one load may read from all its files together; a definition is a few hundred
    // kilobytes at most, so anything near this is a wrong file or runaway includes.
    static constexpr qint64 ciMaxLoadBytes = 32 * 1024 * 1024;
    // Include lines one load may follow: far more than any definition needs, few enough that a
    // file including another thousands of times, which does the same, ends at once.
    static constexpr int ciMaxIncludes = 10000;

    // Where the load reports: its session's channel once set, else the reader's own.
    TMsgChannel& Msg() const { return fpMsg ? *fpMsg : fOwnMsg; }
    void SetMsg(TMsgChannel* aMsg) { fpMsg = aMsg; }
    // The last line of a descrambled coded file.
    static inline const QString csCodedFileId = QStringLiteral("Tezkamander2");
    static constexpr char ccScrambleKey = 0x3D;

    TInterpreterBase();
    virtual ~TInterpreterBase();
    TInterpreterBase(const TInterpreterBase&) = delete;
    TInterpreterBase& operator=(const TInterpreterBase&) = delete;

    virtual void CreateKeyList();
    // The define-line parser: drops "#define " (8 characters); the name runs to the first blank
    // or tab, the trimmed rest is the value. Valid when the name is not empty and differs from
    // a given value.
    virtual bool ParseDefine(const QString& sLine, QString& sName, QString& sValue) const;
    // The name between the first two double quotes of an "#include " line, else empty.
    virtual QString GetIncludeFileName(const QString& sLine) const;
    // Whether sFileName is an existing regular file (folders and devices are not).
    virtual bool FileAvailable(const QString& sFileName) const;
    // Reads a text file into lines; false when it is not available. Raises EMsg when it cannot be
    // read, is too large or is no text.
    virtual bool LoadFileToList(const QString& sFileName, QStringList& aList);
    // Reads a file's bytes; false when it is not available. Raises EMsg when it cannot be read or
    // is too large.
    virtual bool LoadFileToStream(const QString& sFileName, QByteArray& aStream);
    // Replaces the content with the file and everything it includes.
    virtual void FileLoad(const QString& sFileName);
    // Replaces the content with aList as if it were the content of sFileName.
    virtual void LoadFromList(const QString& sFileName, const QStringList& aList);
    virtual void FileSaveAs(const QString& sFileName);

    // Line iteration over all segments; empty lines stand for blank and blanked lines.
    bool EndOfFile() const;
    QString GetNextLine();
    // Starts a pass: back to the first line of the first segment.
    void Rewind();

    // "file, line" of the line GetNextLine returned last.
    QString CurrentLocation() const;
    // Appends CR LF, sPrefix, the location, ": " and sText to LastErrors.
    void AddLoadInfo(const QString& sPrefix, const QString& sText);

    // The segment being read and its file; null and empty before the first line.
    TData* CurrentData();
    QString CurrentFileName() const;
    const TDataList& FileList() const { return fFileList; }
    // The defined names and their values, in the order of their first definition.
    TDataList& DefineList() { return fDefineList; }
    const TDataList& DefineList() const { return fDefineList; }

    const QString& FileName() const { return FsFileName; }
    const QString& CodeFileExtension() const { return FsCodeFileExtension; }
    void SetCodeFileExtension(const QString& sExtension) { FsCodeFileExtension = sExtension; }
    const QString& LastErrors() const { return FsLoadInfos; }
    // The lines the load could not take: one "Error: " item of LastErrors each.
    int SkippedLines() const { return int(FsLoadInfos.count(QStringLiteral("\r\nError: "))); }
    void ClearLastErrors() { FsLoadInfos.clear(); }
    const TDefineQueryEvent& OnDefineQuery() const { return FOnDefineQuery; }
    void SetOnDefineQuery(TDefineQueryEvent aEvent) { FOnDefineQuery = std::move(aEvent); }

    // Decodes the bytes of a definition file and splits them into lines: a byte-order mark
    // selects UTF-8 or UTF-16; without one UTF-8 when the bytes are valid UTF-8, else Latin-1.
    // Lines end at CR LF, LF or CR.
    static QStringList BytesToLines(const QByteArray& aBytes);
    // Comments removed and every line trimmed, line breaks kept so that line numbers stay. Sets
    // *piOpenBlockLine (when given) to the 0-based line of a block comment left open at the end,
    // else to -1.
    static QStringList RemoveComments(const QStringList& aLines, int* piOpenBlockLine = nullptr);
    // The same, reusing the lines' own storage.
    static QStringList RemoveComments(QStringList&& aLines, int* piOpenBlockLine = nullptr);
    // Coded files: every byte combined with the key by exclusive-or.
    static void DescrambleStream(QByteArray& aStream);

protected:
    void AppendFile(const QString& sFileName, const QStringList* pGivenLines = nullptr);
    void AppendCodedFile(const QString& sFileName);
    void AddKey(std::unique_ptr<TDefFileKeyBase> aKey);
    bool IsCodedFileName(const QString& sFileName) const;

    TDataList fFileList;
    TDataList fDefineList;
    TKeyList fKeyList;
    int fiCurrentFile = 0;
    int fiAppendFileRecursion = 0;
    QString FsFileName;
    QString FsCodeFileExtension;
    QString FsLoadInfos;
    TDefineQueryEvent FOnDefineQuery;

private:
    void ClearContent();
    // The bytes of a file within what is left of the load's byte budget.
    QByteArray ReadFileBytes(const QString& sFileName);
    // Counts iBytes against the load's byte budget; raises EMsg when they do not fit.
    void ChargeLoadBytes(const QString& sFileName, qint64 iBytes);
    // The lines of a file without comments, read once per load however often it is included.
    QStringList IncludedLines(const QString& sFileName);

    // A file read during this load: its lines without comments and the bytes it was read from.
    struct TReadFile
    {
        QStringList slLines;
        qint64 iBytes = 0;
    };
    QHash<QString, TReadFile> fReadFiles;
    qint64 fiLoadBytes = 0;
    int fiIncludes = 0;
    TMsgChannel* fpMsg = nullptr;
    mutable TMsgChannel fOwnMsg;
};

// The reader of the system's definition files: include names are relative to the directory of
// the main file (also in nested includes), and "\" separates folders as well as "/" because
// definitions are written on Windows. A drive path such as C:\x\a.txt is kept as written and so
// never resolves.
class TInterpreterReader : public TInterpreterBase
{
public:
    QString GetIncludeFileName(const QString& sLine) const override;

    // The main file's folder with its trailing "/", empty when the name has none.
    QString MainFileDirectory() const;
};
