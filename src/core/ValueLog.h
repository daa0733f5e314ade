#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// The CSV value log: one ";"-separated line per run with the start time, the duration, one
// column per registered value, the result and the operator. A header line precedes the first
// data line and every data line whose columns differ from the file's last header.
//
// The file is only ever appended to: every Write adds its lines at the end and flushes them to
// disk, so a failed write cannot destroy earlier lines, and lines that other programs appended
// in the meantime stay as they are. Lines end with CR LF; the text is 8-bit (Latin-1) unless the
// file starts with a byte-order mark, whose encoding (UTF-8, UTF-16) is kept.
class TValueLog
{
public:
    using TClock = std::function<QDateTime()>;

    TValueLog();
    TValueLog(const TValueLog&) = delete;
    TValueLog& operator=(const TValueLog&) = delete;

    // The loaded definition's (the session's) instance, else one made on first use, which
    // InstanceRelease releases (tests of single units work without a session).
    static TValueLog& Instance();
    static void InstanceRelease();
    // Makes aLog the instance Instance() returns (null: back to the one made on first use);
    // returns the one installed before.
    static TValueLog* SetInstance(TValueLog* aLog);

    // Switches the log on. "%DATE" in aFileName is replaced by the current date formatted with
    // aDateFormat ("YYMMDD" when empty). Raises EMsg when the date pattern is invalid, the folder
    // does not exist or an existing file cannot be read; the log is off then.
    void Init(const QString& aFileName, const QString& aDateFormat);
    // Raises EMsg when the pattern cannot format a date.
    void UpdateStartDateTimeFormat(const QString& aStartDateTimeFormat);

    // Registers a column; false when a column of that name (ignoring case) exists.
    bool Append(const QString& aValueName);
    // Registers the column when it is new and gives it a value that stays for every run (the test
    // socket of a station's session): SetStart and Write leave it as it is.
    void SetFixedValue(const QString& aValueName, const QString& aValue);
    // Starts a measurement: every value becomes a single blank (fixed values stay).
    void SetStart();
    // Sets a registered column's value; ";" becomes "," and control characters "?".
    void SetValue(const QString& aValueName, const QString& aValue);
    // Appends the line of the current measurement (after a header when the columns differ from
    // the file's last header) and clears the values. Raises EMsg naming the file when it cannot
    // be read or written; the values are kept then, and a line cut short by a full disk is taken
    // back.
    void Write(bool aSuccess, const QString& aOperator);

    // The columns and values of the line Write would append now, in the file's order, computed
    // without changing the log (also while the log is off).
    std::vector<std::pair<QString, QString>> Line(bool aSuccess, const QString& aOperator) const;
    // The columns and values of the line the last Write made (also when the file then refused
    // it); empty before the first.
    const std::vector<std::pair<QString, QString>>& LastLine() const { return fLastLine; }

    const QString& FileName() const { return fsFileName; }
    const QString& Headers() const { return fsHeaders; }
    const QString& DateTimeFormat() const { return fsDateTimeFormat; }
    // The value of a column; empty when it is not registered.
    QString Value(const QString& aValueName) const;
    // The file's last header line as last seen on disk; empty when it has none.
    QString LastFileHeader() const { return fFile.sHeader; }

    // The source of the current time (the system clock unless replaced).
    void SetClock(TClock aClock) { fClock = std::move(aClock); }

    enum class TEncoding
    {
        CodePage, // 8-bit: the station's code page
        Utf8,
        Utf16LE,
        Utf16BE
    };

    // What the log knows about its file after the last read: enough to find the last header
    // again by reading only what was appended since.
    struct TFileState
    {
        bool bKnown = false;
        std::uint64_t uDevice = 0;
        std::uint64_t uInode = 0;
        std::int64_t iSize = 0;
        TEncoding eEncoding = TEncoding::CodePage;
        std::int64_t iBomSize = 0;
        bool bEndsWithBreak = true;
        // Bytes of a UTF-16 unit cut short at the end of the file.
        int iStrayBytes = 0;
        bool bHasHeader = false;
        std::int64_t iHeaderOffset = 0;
        QByteArray aHeader;
        QString sHeader;
    };

private:
    struct TEntry
    {
        QString sName;
        QString sValue;
        bool bFixed = false;
    };

    QDateTime Now() const { return fClock(); }
    int IndexOf(const QString& sName) const;
    void AddEntry(const QString& sName);
    void EnsureStartColumns();
    void SetEntry(const QString& sName, const QString& sValue);
    void ClearValues(const QString& sValue);
    // The "Start" and "Duration" values of a line written now.
    std::pair<QString, QString> StartAndDuration() const;

    std::vector<TEntry> fslBuffer;
    QHash<QString, int> fIndex;
    QString fsFileName;
    QString fsDateTimeFormat;
    QString fsHeaders;
    TFileState fFile;
    QDateTime fdtStartTime;
    TClock fClock;
    std::vector<std::pair<QString, QString>> fLastLine;
};
