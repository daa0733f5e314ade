#include "SysCommandFixture.h"

#include "devices/system/CmdIds.h"
#include "devices/system/IdFile.h"
#include "devices/system/RangeUtils.h"

#include "execution/DeviceList.h"

#include <QDir>
#include <QStringEncoder>
#include <QTimer>

#include <chrono>
#include <csignal>

#include <sys/resource.h>

namespace {

using namespace sys;

TEST(RangeTest, ReadsRangesAndFindsTheNextValue)
{
    TRange ranges;
    EXPECT_EQ(ranges.Init(QStringLiteral("1000 .. 1999")), 0) << "no blanks inside a range";
    EXPECT_EQ(ranges.Init(QStringLiteral(" 3000..3999;1000..1999 x..5 7..y  $10..$1F ")), 3);
    EXPECT_EQ(ranges.BoundaryInfo(), QStringLiteral("1:3000..3999; 2:1000..1999; 3:16..31; "));
    EXPECT_TRUE(ranges.ValueInRange(1999));
    EXPECT_FALSE(ranges.ValueInRange(2000));
    EXPECT_EQ(ranges.Init(QStringLiteral("1..2")), 1) << "a later list replaces the earlier one";

    struct
    {
        const char* sRanges;
        std::int64_t iLast;
        bool bFound;
        std::int64_t iNext;
    } const cases[] = {
        {"1000..1999", 0, true, 1000},
        {"1000..1999;3000..3999", 1999, true, 3000},
        {"1000..1999;3000..3999", 3999, false, 4000},
        {"3000..3999;1000..1999", 1500, true, 3000}, // the first range above the value wins
        {"1000..1999", 1500, true, 1501},
        {"-10..-5", -20, true, -10},
        {"1..9223372036854775807", 9223372036854775807, false, 9223372036854775807},
    };
    for (const auto& c : cases) {
        ranges.Init(QString::fromUtf8(c.sRanges));
        std::int64_t iValue = c.iLast;
        EXPECT_EQ(ranges.GetNextValue(iValue, 1), c.bFound) << c.sRanges << " after " << c.iLast;
        if (c.bFound) {
            EXPECT_EQ(iValue, c.iNext) << c.sRanges << " after " << c.iLast;
        }
    }
}

class IdCommandsTest : public SysCommandFixture
{
protected:
    void SetUp() override
    {
        SysCommandFixture::SetUp();
        Variables().SetValue(QStringLiteral("Id"), 0);
        Variables().SetValue(QStringLiteral("Serial"), QString());
    }
    void TearDown() override
    {
        TCmdIdBase::SetLockTimeoutMs(5000);
        SysCommandFixture::TearDown();
    }
    QString File(const QByteArray& aContent) { return fDir.Write(QStringLiteral("ids.txt"), aContent); }
    QByteArray Content() const { return ReadFileBytes(fDir.FilePath(QStringLiteral("ids.txt"))); }
    TCommand* GetNext(const QString& sFile)
    {
        return Make(QStringLiteral("GetNextID"), QStringLiteral(";") + sFile + QStringLiteral(";Id"));
    }
    TCommand* Register(const QString& sFile)
    {
        return Make(QStringLiteral("RegisterID"),
                    QStringLiteral("\"Register\"\u00A7Sn;") + sFile + QStringLiteral(";Serial"));
    }
    ECmdResult RegisterValue(const QString& sFile, const QString& sValue, QString* pError = nullptr)
    {
        Variables().SetValue(QStringLiteral("Serial"), sValue);
        TCommand* pCmd = Register(sFile);
        const ECmdResult eResult = Run(pCmd);
        if (pError)
            *pError = pCmd->ErrorText();
        return eResult;
    }

    TTestDir fDir;
};

TEST_F(IdCommandsTest, LoadErrors)
{
    const QString sFile = File("Header\r\n#start\r\n");
    const QString sNoStart = fDir.Write(QStringLiteral("nostart.txt"), "Header\r\n#starting soon\r\n1\r\n");
    const QString sNoStartAtAll = fDir.Write(QStringLiteral("nothing.txt"), "Header\r\n1\r\n");
    struct
    {
        const char* sFunction;
        QString sParameter;
        QString sError;
    } const cases[] = {
        {"GetNextID", QStringLiteral(";") + sNoStartAtAll + QStringLiteral(";Id"),
         QStringLiteral("Directive \"#Start\" missed in ID file: %1\r\nID: 11A20A:0").arg(sNoStartAtAll)},
        {"GetNextID", QStringLiteral(";") + sNoStart + QStringLiteral(";Id"), QStringLiteral("no error")},
        {"GetNextID", QStringLiteral(";") + sFile + QStringLiteral(";Serial"),
         QStringLiteral("Variable \"Serial\" is not defined or not an integer!\r\nID: 11A60A:0")},
        {"GetNextID", QStringLiteral(";") + sFile, QStringLiteral("Invalid csv index 2 to list count 2!")},
        {"RegisterID", QStringLiteral(";") + sFile + QStringLiteral(";Nope"),
         QStringLiteral("Variable \"Nope\" is not defined!\r\nID: 11A70A:0")},
        {"RegisterID",
         QStringLiteral(";") + fDir.FilePath(QStringLiteral("missing.txt")) + QStringLiteral(";Id"),
         QStringLiteral("File not found: \"%1\"\r\nID: 02010A:0")
             .arg(fDir.FilePath(QStringLiteral("missing.txt")))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InitError(QString::fromUtf8(c.sFunction), c.sParameter), c.sError)
            << c.sParameter.toStdString();
}

TEST_F(IdCommandsTest, GetNextIdFollowsTheLastIdAndTheRanges)
{
    struct
    {
        const char* sContent;
        ECmdResult eResult;
        std::int64_t iNext;
        const char* sError;
    } const cases[] = {
        {"Station 1\r\n#start\r\n", crDone, 1, ""},
        {"#ranges 1000..1999\r\n#start\r\n", crDone, 1000, ""},
        {"#ranges 1000..1999;3000..3999\r\n#start\r\n1999\r\n", crDone, 3000, ""},
        {"#Ranges 1000..1999;3000..3999\r\n#START\r\n3999\r\n", crFailed, 0,
         "ID range(s) exhausted!\r\nID: 11A50A:0"},
        {"#ranges 3000..3999;1000..1999\r\n#start\r\n1500\r\n", crDone, 3000, ""},
        {"#ranges 1000 .. 1999\r\n#start\r\n5\r\n", crDone, 6, ""},
        {"#ranges 1..2\r\n#ranges 7..9\r\n#start\r\n3\r\n", crDone, 7, ""},
        {"#start\r\n41\r\n\r\n  \r\n", crDone, 42, ""},
        {"#start\n41\n40", crDone, 41, ""},
        {"#start\r\n9223372036854775807\r\n", crFailed, 0, "ID range(s) exhausted!\r\nID: 11A50A:0"},
        {"#start\r\n12ab\r\n", crFailed, 0, "Can not read last number from %1\r\nID: 11A30A:0"},
        {"#start\r\n#start\r\n", crDone, 1, ""},
    };
    for (const auto& c : cases) {
        const QString sFile = File(c.sContent);
        Variables().SetValue(QStringLiteral("Id"), -1);
        TCommand* pCmd = GetNext(sFile);
        EXPECT_EQ(Run(pCmd), c.eResult) << c.sContent;
        if (c.eResult == crDone) {
            EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), c.iNext) << c.sContent;
            EXPECT_TRUE(Logged(QStringLiteral("Trace: New ID stored in Id=%1").arg(c.iNext)));
        } else {
            const QString sError = QString::fromUtf8(c.sError);
            EXPECT_EQ(pCmd->ErrorText(), sError.contains(QStringLiteral("%1")) ? sError.arg(sFile) : sError)
                << c.sContent;
            EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), -1);
        }
        EXPECT_EQ(Content(), QByteArray(c.sContent)) << "unsorted: the file is only read";
    }
    EXPECT_TRUE(
        Logged(QStringLiteral("Info: Initialized serial number ranges: 1:1000..1999; 2:3000..3999; ")));
}

TEST_F(IdCommandsTest, GetNextIdProposesTheSameIdUntilItIsRegistered)
{
    const QString sFile = File("#start\r\n1000\r\n");
    TCommand* pGet = GetNext(sFile);
    ASSERT_EQ(Run(pGet), crDone);
    ASSERT_EQ(Run(pGet), crDone);
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), 1001);
    TCommand* pRegister =
        Make(QStringLiteral("RegisterID"), QStringLiteral("\"r\"\u00A7Sn;") + sFile + QStringLiteral(";Id"));
    ASSERT_EQ(Run(pRegister), crDone);
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("Sn")), QStringLiteral("1001"));
    ASSERT_EQ(Run(pGet), crDone);
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), 1002);
    ASSERT_EQ(Run(pRegister), crDone);
    EXPECT_EQ(Run(pRegister), crFailed) << "1002 is registered now";
    EXPECT_EQ(pRegister->ErrorText(), QStringLiteral("Duplicate \"1002\" at line 4!\r\nID: 11A714:0"));
}

TEST_F(IdCommandsTest, SortedModeRewritesTheListSorted)
{
    const QString sFile = File(" Station A \r\n #Sorted \r\n\r\n#start\r\n1003\r\n\r\n1001\r\n 1002\r\n");
    TCommand* pGet = GetNext(sFile);
    EXPECT_TRUE(static_cast<TCmdIdGetNext*>(pGet)->SortedList());
    ASSERT_EQ(Run(pGet), crDone);
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), 1004);
    EXPECT_EQ(Content(), QByteArray("Station A\r\n#Sorted\r\n\r\n#start\r\n1001\r\n1002\r\n1003\r\n"));

    // Sorted as text: 999 comes after 1000, so 1000 is proposed again and refused.
    File("#sorted\r\n#start\r\n999\r\n1000\r\n");
    ASSERT_EQ(Run(GetNext(sFile)), crDone);
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), 1000);
    EXPECT_EQ(Content(), QByteArray("#sorted\r\n#start\r\n1000\r\n999\r\n"));
    QString sError;
    EXPECT_EQ(RegisterValue(sFile, QStringLiteral("1000"), &sError), crFailed);
    EXPECT_EQ(sError, QStringLiteral("Duplicate \"1000\" at line 3!\r\nID: 11A714:0"));

    // A line that is no number fails the step and leaves the file alone.
    File("#sorted\r\n#start\r\n2\r\nzz\r\n");
    TCommand* pBad = GetNext(sFile);
    EXPECT_EQ(Run(pBad), crFailed);
    EXPECT_EQ(pBad->ErrorText(),
              QStringLiteral("Can not read last number from %1\r\nID: 11A40A:0").arg(sFile));
    EXPECT_EQ(Content(), QByteArray("#sorted\r\n#start\r\n2\r\nzz\r\n"));
}

TEST_F(IdCommandsTest, RegisterIdRefusesDuplicatesAndAppends)
{
    const QString sFile = File("Old IDs\r\n1005\r\n#start\r\n1000\r\n 1001 \r\nabc\r\n1003");
    struct
    {
        const char* sValue;
        ECmdResult eResult;
        const char* sError;
    } const cases[] = {
        {"1001", crFailed, "Duplicate \"1001\" at line 5!\r\nID: 11A714:0"},
        {"ABC", crFailed, "Duplicate \"ABC\" at line 6!\r\nID: 11A714:0"},
        {" 1000", crFailed, "Duplicate \" 1000\" at line 4!\r\nID: 11A714:0"},
        {"", crFailed, "Empty value!\r\nID: 11A70A:0"},
        {"10\r\n99", crFailed, "ID \"10\\0D\\0A99\" holds a control character!"},
        {"1005", crDone, ""}, // above "#start" is the header
        {"1006", crDone, ""},
    };
    for (const auto& c : cases) {
        QString sError;
        EXPECT_EQ(RegisterValue(sFile, QString::fromUtf8(c.sValue), &sError), c.eResult) << c.sValue;
        EXPECT_EQ(sError.toStdString(), c.sError);
    }
    EXPECT_EQ(Content(),
              QByteArray("Old IDs\r\n1005\r\n#start\r\n1000\r\n 1001 \r\nabc\r\n1003\r\n1005\r\n1006\r\n"));
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("Sn")), QStringLiteral("1006"));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Duplicate \"1001\" at line 5!")));
}

TEST_F(IdCommandsTest, TheFilesEncodingIsKept)
{
    struct
    {
        QStringConverter::Encoding eEncoding;
        bool bBom;
    } const cases[] = {
        {QStringConverter::Utf16LE, true},
        {QStringConverter::Utf16BE, true},
        {QStringConverter::Utf8, true},
        {QStringConverter::Latin1, false},
    };
    for (const auto& c : cases) {
        auto encode = [&](const QString& sText, bool bBom) {
            QStringEncoder encoder(c.eEncoding,
                                   bBom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
            return QByteArray(encoder.encode(sText));
        };
        const QString sFile =
            File(encode(QStringLiteral("Gerät\r\n#sorted\r\n#start\r\n2\r\n1\r\n"), c.bBom));
        ASSERT_EQ(Run(GetNext(sFile)), crDone) << int(c.eEncoding);
        EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), 3);
        EXPECT_EQ(RegisterValue(sFile, QStringLiteral("Ä3")), crDone);
        EXPECT_EQ(RegisterValue(sFile, QStringLiteral("ä3")), crFailed)
            << "found again in the file's encoding";
        EXPECT_EQ(Content(), encode(QStringLiteral("Gerät\r\n#sorted\r\n#start\r\n1\r\n2\r\nÄ3\r\n"), c.bBom))
            << int(c.eEncoding);
    }
    // The 8-bit file is Windows-1252, as written on Windows: its euro sign is one byte.
    const QString sIds = fDir.FilePath(QStringLiteral("ids.txt"));
    EXPECT_EQ(RegisterValue(sIds, QStringLiteral("\u20AC4")), crDone);
    EXPECT_TRUE(Content().endsWith("\r\n\x80"
                                   "4\r\n"))
        << Content().toStdString();
    // A character the 8-bit file cannot hold is refused rather than written as something else.
    QString sError;
    EXPECT_EQ(RegisterValue(sIds, QStringLiteral("\u03A91"), &sError), crFailed);
    EXPECT_TRUE(sError.contains(QStringLiteral("can not be written to the 8-bit ID file")))
        << sError.toStdString();
}

TEST_F(IdCommandsTest, ACharacterCutShortAtTheEndStaysOutOfTheNextId)
{
    // Another program left part of a character at the end. An ID appended behind it was written at
    // an odd offset (or joined to that character) and read as other characters, with every ID
    // after it. The character is completed on its own line now.
    struct
    {
        const char* sCase;
        QByteArray aContent;
        QString sCompleted; // the line before the appended ID
    } const cases[] = {
        {"UTF-16LE, half a unit",
         QByteArray("\xFF\xFE#\0s\0t\0a\0r\0t\0\r\0\n\0"
                    "7\0"
                    "1",
                    21),
         QStringLiteral("7\uFF31")},
        {"UTF-16BE, half a unit",
         QByteArray("\xFE\xFF\0#\0s\0t\0a\0r\0t\0\r\0\n\0"
                    "7"
                    "\0",
                    21),
         QStringLiteral("7\u00FF")},
        // Completed with a zero byte, this half unit would be a line feed.
        {"UTF-16LE, nothing but half a unit", QByteArray("\xFF\xFE\x0A", 3), QStringLiteral("\uFF0A")},
        {"UTF-8, a sequence cut short", QByteArray("\xEF\xBB\xBF#start\r\n7\r\n\xE2\x82"),
         QString(2, QChar::ReplacementCharacter)},
    };
    for (const auto& c : cases) {
        const QString sFile = File(c.aContent);
        ASSERT_EQ(RegisterValue(sFile, QStringLiteral("8")), crDone) << c.sCase;
        EXPECT_TRUE(Content().startsWith(c.aContent)) << c.sCase;
        const QStringList slLines = TIdFile::ReadLines(sFile);
        ASSERT_GE(slLines.size(), 2) << c.sCase;
        EXPECT_EQ(slLines.last(), QStringLiteral("8")) << c.sCase;
        EXPECT_EQ(slLines[slLines.size() - 2], c.sCompleted) << c.sCase;
        if (slLines.first() == QStringLiteral("#start")) {
            ASSERT_EQ(Run(GetNext(sFile)), crDone) << c.sCase;
            EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Id")), 9) << c.sCase;
        }
    }
}

TEST_F(IdCommandsTest, AStationHoldingTheFileMakesTheOthersWait)
{
    const QString sFile = File("#start\r\n1\r\n");
    TCmdIdBase::SetLockTimeoutMs(300);
    {
        const TIdFile held(sFile, TIdFile::ELock::Exclusive);
        QString sError;
        EXPECT_EQ(RegisterValue(sFile, QStringLiteral("2"), &sError), crFailed);
        EXPECT_EQ(
            sError,
            QStringLiteral("ID file \"%1\" is locked by another station for more than 300 ms!").arg(sFile));
        TCommand* pGet = GetNext(sFile);
        EXPECT_EQ(Run(pGet), crFailed) << "reading waits for a writer, too";
    }
    // A lock let go within the time-out: the step goes on once it has the file.
    TCmdIdBase::SetLockTimeoutMs(3000);
    auto held = std::make_unique<TIdFile>(sFile, TIdFile::ELock::Exclusive);
    QTimer::singleShot(100, [&held] { held.reset(); });
    EXPECT_EQ(RegisterValue(sFile, QStringLiteral("2")), crDone);
    EXPECT_EQ(Content(), QByteArray("#start\r\n1\r\n2\r\n"));
}

TEST_F(IdCommandsTest, ACancelledStepRegistersNothing)
{
    const QString sFile = File("#start\r\n1\r\n");
    auto held = std::make_unique<TIdFile>(sFile, TIdFile::ELock::Exclusive);
    Variables().SetValue(QStringLiteral("Serial"), QStringLiteral("2"));
    TCommand* pCmd = Register(sFile);
    int iConclusions = 0;
    pCmd->SetOnResult([&](TCommand*) { ++iConclusions; });
    pCmd->Execute(QString());
    RunEventsUntil([] { return false; }, 50);
    pCmd->Cancel(); // the operator stops the run while the step waits for the file
    held.reset();
    RunEventsUntil([] { return false; }, 200);
    EXPECT_EQ(iConclusions, 0);
    EXPECT_EQ(pCmd->CmdResult(), crCancelled);
    EXPECT_EQ(Content(), QByteArray("#start\r\n1\r\n"));
}

// The definition is unloaded while a step waits for a file another station holds: the wait ends
// at once instead of running into the lock's time-out, the step concludes once, cancelled, and
// nothing of its work arrives later or reaches the file.
TEST_F(IdCommandsTest, ReleasingTheDeviceEndsTheLockWaitAndConcludesOnce)
{
    const QString sFile = File("#sorted\r\n#start\r\n1\r\n");
    TCmdIdBase::SetLockTimeoutMs(30000);
    sys::RegisterDevices(TestDeviceTypes());
    Variables().SetValue(QStringLiteral("Serial"), QStringLiteral("2"));
    const std::pair<const char*, const char*> cases[] = {{"GetNextID", "Id"}, {"RegisterID", "Serial"}};
    for (const auto& [sFunction, sVariable] : cases) {
        SCOPED_TRACE(sFunction);
        const QString sName = QString::fromLatin1(sFunction);
        auto held = std::make_unique<TIdFile>(sFile, TIdFile::ELock::Exclusive);
        TDeviceList& devices = fContext.Devices();
        TCommand* pCmd =
            devices.Append(QStringLiteral("SystemControl; Ids"))
                ->Command(sName)
                ->Init(sName, QStringLiteral(";") + sFile + QStringLiteral(";") + QLatin1String(sVariable));
        int iConclusions = 0;
        ECmdResult eResult = crUnknown;
        pCmd->SetOnResult([&](TCommand* aSender) {
            ++iConclusions;
            eResult = aSender->CmdResult();
        });
        pCmd->Execute(QString());
        RunEventsUntil([] { return false; }, 100);
        ASSERT_EQ(iConclusions, 0) << "the step waits for the file";

        const auto start = std::chrono::steady_clock::now();
        devices.Clear();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
            << "the release did not wait for the lock's time-out";
        EXPECT_EQ(iConclusions, 1);
        EXPECT_EQ(eResult, crCancelled);
        held.reset();
        EXPECT_FALSE(RunEventsUntil([&iConclusions] { return iConclusions > 1; }, 300));
        EXPECT_EQ(Content(), QByteArray("#sorted\r\n#start\r\n1\r\n"));
    }
}

// The device's worker serves one step at a time: a second ID step of the device while one waits
// is refused, and the waiting one goes on undisturbed.
TEST_F(IdCommandsTest, ASecondStepWhileOneWaitsIsRefused)
{
    const QString sFile = File("#start\r\n1\r\n");
    auto held = std::make_unique<TIdFile>(sFile, TIdFile::ELock::Exclusive);
    Variables().SetValue(QStringLiteral("Serial"), QStringLiteral("2"));
    TCommand* pWaiting = Register(sFile);
    int iConclusions = 0;
    pWaiting->SetOnResult([&](TCommand*) { ++iConclusions; });
    pWaiting->Execute(QString());
    RunEventsUntil([] { return false; }, 50);

    TCommand* pSecond = GetNext(sFile);
    EXPECT_EQ(Run(pSecond), crFailed);
    EXPECT_EQ(pSecond->ErrorText(),
              QStringLiteral("Command execution not finished last time!\r\nID: 11A80A:0"));
    held.reset();
    EXPECT_TRUE(RunEventsUntil([&iConclusions] { return iConclusions > 0; }, 3000));
    EXPECT_EQ(iConclusions, 1);
    EXPECT_EQ(pWaiting->CmdResult(), crDone);
    EXPECT_EQ(Content(), QByteArray("#start\r\n1\r\n2\r\n"));
}

TEST_F(IdCommandsTest, AFileReplacedWhileWaitingIsReadAgain)
{
    const QString sFile = File("#sorted\r\n#start\r\n1\r\n");
    auto held = std::make_unique<TIdFile>(sFile, TIdFile::ELock::Exclusive);
    // The holder replaces the file (as a sorted rewrite does) and lets go.
    QTimer::singleShot(100, [&held] {
        held->Rewrite(
            {QStringLiteral("#sorted"), QStringLiteral("#start"), QStringLiteral("1"), QStringLiteral("2")});
        held.reset();
    });
    EXPECT_EQ(RegisterValue(sFile, QStringLiteral("2")), crFailed) << "the waiting step sees the new file";
    EXPECT_EQ(Content(), QByteArray("#sorted\r\n#start\r\n1\r\n2\r\n"));
}

} // namespace

namespace {

// A file size limit for the process stands in for a full disk: writes beyond it fail.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t iBytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &fSaved);
        fOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = fSaved;
        limit.rlim_cur = iBytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &fSaved);
        std::signal(SIGXFSZ, fOldHandler);
    }

private:
    rlimit fSaved{};
    void (*fOldHandler)(int) = nullptr;
};

TEST_F(IdCommandsTest, AFullDiskNeverCostsRegisteredIds)
{
    QByteArray aContent = "#sorted\r\n#start\r\n";
    for (int i = 0; i < 500; ++i)
        aContent += QByteArray::number(100000 + 499 - i) + "\r\n";
    const QString sFile = File(aContent);

    {
        // The sorted copy cannot be written whole: the file stays as it was, and no copy is left.
        const TFileSizeLimit limit(rlim_t(aContent.size() / 2));
        TCommand* pGet = GetNext(sFile);
        EXPECT_EQ(Run(pGet), crFailed);
        EXPECT_TRUE(pGet->ErrorText().startsWith(QStringLiteral("Can not rewrite ID file")))
            << pGet->ErrorText().toStdString();
    }
    EXPECT_EQ(Content(), aContent);
    EXPECT_EQ(QDir(fDir.Path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("ids.txt")});

    {
        // Room for part of the line only: the part is taken back.
        const TFileSizeLimit limit(rlim_t(aContent.size() + 3));
        QString sError;
        EXPECT_EQ(RegisterValue(sFile, QStringLiteral("100500"), &sError), crFailed);
        EXPECT_TRUE(sError.startsWith(QStringLiteral("Can not write ID file"))) << sError.toStdString();
    }
    EXPECT_EQ(Content(), aContent);
    EXPECT_EQ(RegisterValue(sFile, QStringLiteral("100500")), crDone)
        << "with room again the ID is registered";
    EXPECT_EQ(Content(), aContent + "100500\r\n");
}

} // namespace
