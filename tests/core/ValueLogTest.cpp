#include "core/ValueLog.h"
#include "core/FormatSettings.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const char* const sHeaderU1U2 = "Start;Duration;U1;U2;Result;Operator\r\n";

class ValueLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TFormatSettings& settings = TFormatSettings::App();
        settings.cDateSeparator = QLatin1Char('.');
        settings.cTimeSeparator = QLatin1Char(':');
        settings.sLongTimeFormat = QStringLiteral("hh:nn:ss");
        fNow = QDateTime(QDate(2025, 2, 3), QTime(10, 15, 7));
    }
    void TearDown() override
    {
        TValueLog::InstanceRelease();
        TFormatSettings::ResetApp();
    }

    // The log as a freshly loaded definition sees it: no columns, the test's clock.
    TValueLog& NewLog()
    {
        TValueLog::InstanceRelease();
        TValueLog& log = TValueLog::Instance();
        log.SetClock([this] { return fNow; });
        return log;
    }

    // A definition with the given columns that logs into sPath.
    TValueLog& Definition(const QString& sPath, const QStringList& columns)
    {
        TValueLog& log = NewLog();
        log.Init(sPath, QString());
        for (const QString& sColumn : columns)
            EXPECT_TRUE(log.Append(sColumn));
        return log;
    }

    // One run that sets every column to its name followed by iRun.
    void Run(TValueLog& log, const QStringList& columns, int iRun)
    {
        log.SetStart();
        for (const QString& sColumn : columns)
            log.SetValue(sColumn, sColumn + QString::number(iRun));
        fNow = fNow.addSecs(10);
        log.Write(true, QStringLiteral("op"));
    }

    QString Log() const { return fDir.FilePath(QStringLiteral("log.csv")); }

    TTestDir fDir;
    QDateTime fNow;
};

std::uint64_t Inode(const QString& sPath)
{
    struct stat info;
    return ::stat(QFile::encodeName(sPath).constData(), &info) == 0 ? std::uint64_t(info.st_ino) : 0;
}

TEST_F(ValueLogTest, NewFileGetsTheHeaderAndOneLinePerRun)
{
    TValueLog& log = Definition(Log(), {QStringLiteral("U1"), QStringLiteral("U2")});
    EXPECT_FALSE(log.Append(QStringLiteral("u1"))) << "column names ignore case";
    EXPECT_EQ(log.Headers(), QStringLiteral("Start;Duration;U1;U2"));

    log.SetStart();
    log.SetValue(QStringLiteral("U1"), QStringLiteral("4.98"));
    log.SetValue(QStringLiteral("u2"), QStringLiteral("12"));
    fNow = fNow.addSecs(72);
    log.Write(true, QStringLiteral("op1"));

    // Second run: U2 not set, a value with the separator, a line break and a Latin-1 letter,
    // and no operator name.
    fNow = QDateTime(QDate(2025, 2, 3), QTime(11, 0, 0));
    log.SetStart();
    log.SetValue(QStringLiteral("U1"), QStringLiteral("1;2\r\n") + QChar(0xB5));
    log.SetValue(QStringLiteral("Unregistered"), QStringLiteral("x"));
    log.SetValue(QString(), QStringLiteral("x"));
    fNow = fNow.addSecs(5);
    log.Write(false, QString());

    EXPECT_EQ(ReadFileBytes(Log()), QByteArray(sHeaderU1U2) +
                                        "2025-02-03 10:15:07;00:01:12;4.98;12;Passed;op1\r\n"
                                        "2025-02-03 11:00:00;00:00:05;1,2??\xB5; ;Failed;Empty String\r\n");
    EXPECT_EQ(log.Headers(), QStringLiteral("Start;Duration;U1;U2;Result;Operator"));
}

TEST_F(ValueLogTest, ValuesAreMadeSafeForTheLine)
{
    TValueLog& log = Definition(Log(), {QStringLiteral("V")});
    const struct
    {
        QString sValue;
        QString sStored;
    } cases[] = {
        {QStringLiteral("1;2"), QStringLiteral("1,2")}, {QStringLiteral("a\nb\tc"), QStringLiteral("a?b?c")},
        {QString(), QStringLiteral("Empty String")},    {QStringLiteral(" "), QStringLiteral(" ")},
        {QStringLiteral("\x01"), QStringLiteral("?")},
    };
    for (const auto& c : cases) {
        log.SetValue(QStringLiteral("v"), c.sValue);
        EXPECT_EQ(log.Value(QStringLiteral("V")), c.sStored);
    }
    log.SetStart();
    EXPECT_EQ(log.Value(QStringLiteral("V")), QStringLiteral(" "));
}

TEST_F(ValueLogTest, WithoutStartOrColumns)
{
    TValueLog& log = NewLog();
    log.Init(Log(), QString());
    log.Write(true, QStringLiteral("op"));
    fNow = fNow.addSecs(3);
    log.SetStart();
    fNow = fNow.addSecs(90000); // 25 hours: the duration is a time of day and wraps
    log.Write(true, QStringLiteral("op"));
    EXPECT_EQ(ReadFileBytes(Log()), QByteArray("Start;Duration;Result;Operator\r\n"
                                               "-;-;Passed;op\r\n"
                                               "2025-02-03 10:15:10;01:00:00;Passed;op\r\n"));
}

TEST_F(ValueLogTest, LogOffWritesNothing)
{
    TValueLog& log = NewLog();
    log.Append(QStringLiteral("U1"));
    log.SetStart();
    log.Write(true, QStringLiteral("op"));
    EXPECT_TRUE(log.FileName().isEmpty());
    EXPECT_TRUE(QDir(fDir.Path()).entryList(QDir::Files).isEmpty());
}

// Line tells the columns and values of the line Write appends next, in the file's order, and
// LastLine keeps what Write made: the result database stores them as the file has them.
TEST_F(ValueLogTest, LineIsTheLineWriteAppends)
{
    const auto Joined = [](const std::vector<std::pair<QString, QString>>& line, bool bNames) {
        QStringList fields;
        for (const auto& [sName, sValue] : line)
            fields.append(bNames ? sName : sValue);
        return fields.join(QLatin1Char(';'));
    };
    const struct
    {
        const char* sCase;
        QStringList columns;
        bool bStart;
        bool bPassed;
        QString sOperator;
    } cases[] = {
        {"no columns, no start", {}, false, true, QStringLiteral("op")},
        {"columns, failed, no operator",
         {QStringLiteral("U1"), QStringLiteral("U2")},
         true,
         false,
         QString()},
        // A definition's own column named like the runner's is filled by the runner, in its place.
        {"a column named result",
         {QStringLiteral("result"), QStringLiteral("U1")},
         true,
         true,
         QStringLiteral("a;b")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sCase);
        QFile::remove(Log());
        TValueLog& log = Definition(Log(), c.columns);
        for (int iRun = 1; iRun <= 2; ++iRun) {
            if (c.bStart)
                log.SetStart();
            for (const QString& sColumn : c.columns)
                log.SetValue(sColumn, sColumn + QString::number(iRun));
            fNow = fNow.addSecs(61);
            const std::vector<std::pair<QString, QString>> line = log.Line(c.bPassed, c.sOperator);
            log.Write(c.bPassed, c.sOperator);
            const QStringList lines = QString::fromLatin1(ReadFileBytes(Log())).split(QStringLiteral("\r\n"));
            ASSERT_GE(lines.size(), 3);
            EXPECT_EQ(Joined(line, true), log.Headers());
            EXPECT_EQ(Joined(line, false), lines.at(lines.size() - 2)) << "run " << iRun;
            EXPECT_EQ(log.LastLine(), line);
        }
    }

    // With the log off nothing is written, and Line still tells the run's values.
    TValueLog& off = NewLog();
    off.Append(QStringLiteral("U1"));
    fNow = QDateTime(QDate(2025, 2, 3), QTime(12, 0, 0));
    off.SetStart();
    off.SetValue(QStringLiteral("U1"), QStringLiteral("4.98"));
    fNow = fNow.addSecs(2);
    off.Write(true, QStringLiteral("op"));
    EXPECT_EQ(Joined(off.Line(true, QStringLiteral("op")), false),
              QStringLiteral("2025-02-03 12:00:00;00:00:02;4.98;Passed;op"));
    EXPECT_TRUE(off.LastLine().empty());
}

TEST_F(ValueLogTest, HeaderIsRepeatedWhenTheColumnsChange)
{
    const QStringList first{QStringLiteral("U1"), QStringLiteral("U2")};
    const QStringList second{QStringLiteral("U1"), QStringLiteral("U3")};
    Run(Definition(Log(), first), first, 1);
    Run(Definition(Log(), first), first, 2); // same columns: no new header
    TValueLog& log = Definition(Log(), second);
    EXPECT_EQ(log.LastFileHeader(), QStringLiteral("Start;Duration;U1;U2;Result;Operator"));
    Run(log, second, 3);
    Run(log, second, 4);
    Run(Definition(Log(), first), first, 5);

    EXPECT_EQ(ReadFileBytes(Log()), QByteArray(sHeaderU1U2) +
                                        "2025-02-03 10:15:07;00:00:10;U11;U21;Passed;op\r\n"
                                        "2025-02-03 10:15:17;00:00:10;U12;U22;Passed;op\r\n"
                                        "Start;Duration;U1;U3;Result;Operator\r\n"
                                        "2025-02-03 10:15:27;00:00:10;U13;U33;Passed;op\r\n"
                                        "2025-02-03 10:15:37;00:00:10;U14;U34;Passed;op\r\n" +
                                        sHeaderU1U2 + "2025-02-03 10:15:47;00:00:10;U15;U25;Passed;op\r\n");
}

TEST_F(ValueLogTest, LinesOfOtherWritersSurvive)
{
    const QStringList columns{QStringLiteral("U1"), QStringLiteral("U2")};
    TValueLog& log = Definition(Log(), columns);
    Run(log, columns, 1);
    const std::uint64_t uInode = Inode(Log());

    auto appendExternally = [this](const QByteArray& aBytes) {
        QFile file(Log());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(aBytes);
    };
    // A line left without its line end is closed before the next line.
    appendExternally("external;line");
    Run(log, columns, 2);
    // A header of other columns makes the log repeat its own.
    appendExternally("Start;Other\r\nx;y\r\n");
    Run(log, columns, 3);

    EXPECT_EQ(ReadFileBytes(Log()), QByteArray(sHeaderU1U2) +
                                        "2025-02-03 10:15:07;00:00:10;U11;U21;Passed;op\r\n"
                                        "external;line\r\n"
                                        "2025-02-03 10:15:17;00:00:10;U12;U22;Passed;op\r\n"
                                        "Start;Other\r\nx;y\r\n" +
                                        sHeaderU1U2 + "2025-02-03 10:15:27;00:00:10;U13;U23;Passed;op\r\n");
    EXPECT_EQ(Inode(Log()), uInode) << "the file is appended to, never replaced";

    // A file that was replaced meanwhile is read afresh.
    ASSERT_TRUE(QFile::remove(Log()));
    fDir.Write(QStringLiteral("log.csv"), QByteArray(sHeaderU1U2) + "old\r\n");
    Run(log, columns, 4);
    EXPECT_EQ(ReadFileBytes(Log()),
              QByteArray(sHeaderU1U2) + "old\r\n2025-02-03 10:15:37;00:00:10;U14;U24;Passed;op\r\n");
    // And so is a file that was cut short.
    fDir.Write(QStringLiteral("log.csv"), QByteArray("Start;Other\n"));
    Run(log, columns, 5);
    EXPECT_EQ(ReadFileBytes(Log()), QByteArray("Start;Other\n") + sHeaderU1U2 +
                                        "2025-02-03 10:15:47;00:00:10;U15;U25;Passed;op\r\n");
}

TEST_F(ValueLogTest, FindsTheLastHeaderInALargeFile)
{
    // Header at the very top of a file far larger than one read block, lines ended by LF only,
    // then a later header in the middle of the data.
    QByteArray aContent = "Start;Duration;U1;Result;Operator\n";
    for (int i = 0; i < 20000; ++i)
        aContent += "2025-01-01 00:00:00;00:00:01;" + QByteArray::number(i) + ";Passed;op\n";
    fDir.Write(QStringLiteral("top.csv"), aContent);
    aContent += "Start;Duration;U1;U2;Result;Operator\n";
    for (int i = 0; i < 5000; ++i)
        aContent += "2025-01-01 00:00:00;00:00:01;1;" + QByteArray::number(i) + ";Passed;op\n";
    fDir.Write(QStringLiteral("middle.csv"), aContent);

    const struct
    {
        const char* sFile;
        QStringList columns;
        const char* sHeader;
    } cases[] = {
        {"top.csv", {QStringLiteral("U1")}, "Start;Duration;U1;Result;Operator"},
        {"middle.csv", {QStringLiteral("U1"), QStringLiteral("U2")}, "Start;Duration;U1;U2;Result;Operator"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sFile);
        const QString sPath = fDir.FilePath(QString::fromLatin1(c.sFile));
        const QByteArray aBefore = ReadFileBytes(sPath);
        TValueLog& log = Definition(sPath, c.columns);
        EXPECT_EQ(log.LastFileHeader().toStdString(), c.sHeader);
        Run(log, c.columns, 1);
        const QByteArray aAfter = ReadFileBytes(sPath);
        ASSERT_TRUE(aAfter.startsWith(aBefore));
        EXPECT_FALSE(aAfter.mid(aBefore.size()).contains("Start;")) << "no header repeated";
    }
}

TEST_F(ValueLogTest, ByteOrderMarkKeepsTheEncoding)
{
    const QStringList columns{QStringLiteral("U") + QChar(0x3A9)}; // U with a Greek capital omega
    const QString sHeader =
        QStringLiteral("Start;Duration;U") + QChar(0x3A9) + QStringLiteral(";Result;Operator\r\n");
    const struct
    {
        const char* sName;
        QByteArray aBom;
        QStringEncoder::Encoding eEncoding;
    } cases[] = {
        {"UTF-8", QByteArray("\xEF\xBB\xBF"), QStringEncoder::Utf8},
        {"UTF-16LE", QByteArray("\xFF\xFE"), QStringEncoder::Utf16LE},
        {"UTF-16BE", QByteArray("\xFE\xFF"), QStringEncoder::Utf16BE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sName);
        QStringEncoder encoder(c.eEncoding);
        auto encode = [&encoder](const QString& s) { return QByteArray(encoder.encode(s)); };
        const QString sPath = fDir.Write(QString::fromLatin1(c.sName) + QStringLiteral(".csv"),
                                         c.aBom + encode(sHeader + QStringLiteral("old\r\n")));
        TValueLog& log = Definition(sPath, columns);
        log.SetStart();
        log.SetValue(columns[0], QString(QChar(0x3A9)));
        log.Write(true, QStringLiteral("op"));
        EXPECT_EQ(ReadFileBytes(sPath),
                  c.aBom + encode(sHeader + QStringLiteral("old\r\n2025-02-03 10:15:07;00:00:00;") +
                                  QChar(0x3A9) + QStringLiteral(";Passed;op\r\n")));
    }

    // Without a byte-order mark the text is 8-bit: what Latin-1 cannot hold becomes "?", and the
    // header written that way still counts as the same header.
    const QString sPath = fDir.FilePath(QStringLiteral("latin1.csv"));
    Run(Definition(sPath, columns), columns, 1);
    Run(Definition(sPath, columns), columns, 2);
    EXPECT_EQ(ReadFileBytes(sPath), QByteArray("Start;Duration;U?;Result;Operator\r\n"
                                               "2025-02-03 10:15:07;00:00:10;U?1;Passed;op\r\n"
                                               "2025-02-03 10:15:17;00:00:10;U?2;Passed;op\r\n"));
}

// A log written on Windows in its 8-bit code page: the typographic characters of the header and
// the values keep their bytes, and the header read back is the same header.
TEST_F(ValueLogTest, EightBitFilesAreWindows1252)
{
    const QStringList columns{QStringLiteral("Pr\u00FCfung \u201ENetz\u201C")};
    const QByteArray aHeader("Start;Duration;Pr\xFC"
                             "fung \x84Netz\x93;Result;Operator\r\n");
    const QString sPath = fDir.Write(QStringLiteral("cp1252.csv"), aHeader + "old\r\n");
    TValueLog& log = Definition(sPath, columns);
    log.SetStart();
    log.SetValue(columns[0], QStringLiteral("\u2013 5 \u20AC"));
    log.Write(true, QStringLiteral("op"));
    EXPECT_EQ(ReadFileBytes(sPath),
              aHeader + "old\r\n2025-02-03 10:15:07;00:00:00;\x96 5 \x80;Passed;op\r\n");
}

// Another program left half a UTF-16 unit at the end: the lines written after it must stay in
// step, or neither this log nor anyone else can read them.
TEST_F(ValueLogTest, HalfAUnitAtTheEndOfAUtf16FileIsCompleted)
{
    const QStringList columns{QStringLiteral("U")};
    const QString sHeader = QStringLiteral("Start;Duration;U;Result;Operator\r\n");
    const struct
    {
        const char* sName;
        QByteArray aBom;
        QStringEncoder::Encoding eEncoding;
        QByteArray aCompleted; // the stray byte "x" and the zero that completes it
    } cases[] = {
        {"UTF-16LE", QByteArray("\xFF\xFE"), QStringEncoder::Utf16LE, QByteArray("x\0", 2)},
        {"UTF-16BE", QByteArray("\xFE\xFF"), QStringEncoder::Utf16BE, QByteArray("x\0", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sName);
        QStringEncoder encoder(c.eEncoding);
        auto encode = [&encoder](const QString& s) { return QByteArray(encoder.encode(s)); };
        fNow = QDateTime(QDate(2025, 2, 3), QTime(10, 15, 7));
        const QByteArray aOld = c.aBom + encode(sHeader + QStringLiteral("old\r\n")) + "x";
        const QString sPath = fDir.Write(QString::fromLatin1(c.sName) + QStringLiteral(".csv"), aOld);
        Run(Definition(sPath, columns), columns, 1);
        Run(Definition(sPath, columns), columns, 2);
        EXPECT_EQ(ReadFileBytes(sPath),
                  c.aBom + encode(sHeader + QStringLiteral("old\r\n")) + c.aCompleted +
                      encode(QStringLiteral("\r\n2025-02-03 10:15:07;00:00:10;U1;Passed;op\r\n"
                                            "2025-02-03 10:15:17;00:00:10;U2;Passed;op\r\n")));
    }
}

TEST_F(ValueLogTest, InitResolvesTheDateAndTheFolderInTheFileName)
{
    // The definition's folder is the one the settings store names as the last loaded file.
    TRegIO::Instance().SetLastFile(fDir.WriteText(QStringLiteral("defs/board.TZD"), QStringLiteral("x")));
    fNow = QDateTime(QDate(2025, 2, 3), QTime(8, 0));
    const struct
    {
        const char* sDateFormat;
        const char* sFile;
    } cases[] = {
        {"", "defs/Log_250203.csv"}, {"yyyy", "defs/Log_2025.csv"}, {"yyyy'-w'", "defs/Log_2025-w.csv"}};
    for (const auto& c : cases) {
        TValueLog& log = NewLog();
        log.Init(QStringLiteral("TZD:Log_%DATE.csv"), QString::fromLatin1(c.sDateFormat));
        EXPECT_EQ(log.FileName(), fDir.FilePath(QString::fromLatin1(c.sFile)));
    }
    TRegIO::InstanceRelease();

    const EMsg e =
        RaisedMsg([&] { NewLog().Init(fDir.FilePath(QStringLiteral("%DATE.csv")), QStringLiteral("'yy")); });
    EXPECT_EQ(e.Id().Value, 0x090100u);
    EXPECT_TRUE(e.Text().startsWith(QStringLiteral("Invalid value log file date format: ")))
        << e.Text().toStdString();
}

TEST_F(ValueLogTest, InitRejectsAMissingFolderAndAnUnreadableFile)
{
    const QString sMissing = fDir.FilePath(QStringLiteral("missing/log.csv"));
    for (const QString& sName : {sMissing, QStringLiteral("C:\\missing\\log.csv")}) {
        const EMsg e = RaisedMsg([&] { NewLog().Init(sName, QString()); });
        EXPECT_EQ(e.Id().Value, 0x090100u);
        EXPECT_EQ(e.Text(), QStringLiteral("Value log file directory does not exist: ") + sName);
        // The log stays off: a run of a definition loaded despite the error writes nowhere.
        TValueLog::Instance().Write(true, QStringLiteral("op"));
        EXPECT_TRUE(TValueLog::Instance().FileName().isEmpty());
    }
    EXPECT_TRUE(QDir(fDir.Path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir().entryList(QDir::Files).filter(QStringLiteral("missing")).isEmpty());

    ASSERT_TRUE(QDir(fDir.Path()).mkdir(QStringLiteral("folder.csv")));
    const EMsg e = RaisedMsg([&] { NewLog().Init(fDir.FilePath(QStringLiteral("folder.csv")), QString()); });
    EXPECT_EQ(e.Id().Value, 0x090101u);
    EXPECT_TRUE(e.Text().startsWith(QStringLiteral("Can not read value log file \"") +
                                    fDir.FilePath(QStringLiteral("folder.csv"))))
        << e.Text().toStdString();
}

TEST_F(ValueLogTest, StartPattern)
{
    TValueLog& log = Definition(Log(), {});
    log.UpdateStartDateTimeFormat(QStringLiteral("dd/mm/yyyy hh:nn \"h\""));
    log.SetStart();
    log.Write(true, QStringLiteral("op"));
    EXPECT_EQ(ReadFileBytes(Log()),
              QByteArray("Start;Duration;Result;Operator\r\n03.02.2025 10:15 h;00:00:00;Passed;op\r\n"));

    const EMsg e = RaisedMsg([&] { log.UpdateStartDateTimeFormat(QStringLiteral("hh 'open")); });
    EXPECT_EQ(e.Id().Value, 0x090300u);
    EXPECT_TRUE(e.Text().startsWith(QStringLiteral("Invalid value log start date time format: ")))
        << e.Text().toStdString();
    EXPECT_EQ(log.DateTimeFormat(), QStringLiteral("dd/mm/yyyy hh:nn \"h\""));
}

// Restores the file size limit and the signal it raises when the test ends.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t uLimit)
    {
        getrlimit(RLIMIT_FSIZE, &fOld);
        fOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = fOld;
        limit.rlim_cur = uLimit;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &fOld);
        std::signal(SIGXFSZ, fOldHandler);
    }

private:
    rlimit fOld{};
    void (*fOldHandler)(int);
};

TEST_F(ValueLogTest, FailedWritesRaiseAndKeepEveryEarlierLine)
{
    const QStringList columns{QStringLiteral("U1"), QStringLiteral("U2")};
    TValueLog& log = Definition(Log(), columns);
    Run(log, columns, 1);
    const QByteArray aBefore = ReadFileBytes(Log());

    auto expectWriteError = [&](const QString& sPath) {
        const EMsg e = RaisedMsg([] { TValueLog::Instance().Write(true, QStringLiteral("op")); });
        EXPECT_EQ(e.Id().Value, 0x090600u);
        EXPECT_TRUE(
            e.Text().startsWith(QStringLiteral("Can not write value log file \"") + sPath + QLatin1Char('"')))
            << e.Text().toStdString();
    };

    // The disk fills up in the middle of the line: the part written is taken back.
    {
        const TFileSizeLimit limit(rlim_t(aBefore.size() + 10));
        log.SetStart();
        log.SetValue(QStringLiteral("U1"), QStringLiteral("kept"));
        expectWriteError(Log());
    }
    EXPECT_EQ(ReadFileBytes(Log()), aBefore);
    // The values are still there for another try.
    fNow = fNow.addSecs(1);
    log.Write(true, QStringLiteral("op"));
    EXPECT_EQ(ReadFileBytes(Log()), aBefore + "2025-02-03 10:15:17;00:00:01;kept; ;Passed;op\r\n");

    // A full device.
    const QString sFull = fDir.FilePath(QStringLiteral("full.csv"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), sFull));
    Definition(sFull, columns);
    expectWriteError(sFull);

    // The folder vanished after the definition was loaded.
    const QString sGone = fDir.FilePath(QStringLiteral("gone/log.csv"));
    fDir.Write(QStringLiteral("gone/log.csv"), aBefore);
    Definition(sGone, columns);
    ASSERT_TRUE(QDir(fDir.FilePath(QStringLiteral("gone"))).removeRecursively());
    expectWriteError(sGone);

    // Something else took the file's name.
    const QString sTaken = fDir.FilePath(QStringLiteral("taken.csv"));
    Definition(sTaken, columns);
    ASSERT_TRUE(QDir(fDir.Path()).mkdir(QStringLiteral("taken.csv")));
    expectWriteError(sTaken);
}

} // namespace
