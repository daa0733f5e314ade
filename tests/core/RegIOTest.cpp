#include "core/RegIO.h"
#include "core/MsgExceptions.h"

#include "TestEnvironment.h"

#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <set>

namespace {

const std::set<QString> cAllNames = {
    QStringLiteral("pl"),  QStringLiteral("pt"),  QStringLiteral("pr"),  QStringLiteral("pb"),
    QStringLiteral("ph"),  QStringLiteral("pv"),  QStringLiteral("lf"),  QStringLiteral("rf"),
    QStringLiteral("vmt"), QStringLiteral("stt"), QStringLiteral("stc"), QStringLiteral("stb"),
    QStringLiteral("scl"), QStringLiteral("ose"), QStringLiteral("sed"), QStringLiteral("eof")};

// The settings file of a user who has used the program before (all values, none default).
const char* const csFullFile = "[General]\n"
                               "pl=10\npt=20\npr=810\npb=620\nph=200\npv=150\n"
                               "lf=/defs/a.TZD\nrf=/defs/a.TZD\n"
                               "vmt=1\nstt=0\nstc=1\nstb=1\nscl=1\nose=1\nsed=0\neof=0\n";

class RegIOTest : public ::testing::Test
{
protected:
    void SetUp() override { reg.SetUserFileName(sUserFile); }

    // A settings file with the value sName replaced by sLine (or dropped when sLine is empty).
    QString WriteWith(const QString& sName, const QString& sLine = QString()) const
    {
        QStringList lines = QString::fromLatin1(csFullFile).split(QLatin1Char('\n'));
        for (QString& sEntry : lines) {
            if (sEntry.startsWith(sName + QLatin1Char('=')))
                sEntry = sLine;
        }
        return dir.WriteText(QStringLiteral("TZK2.ini"), lines.join(QLatin1Char('\n')));
    }

    QString LoadError()
    {
        try {
            reg.CurrentUserLoad();
        } catch (const EError& e) {
            EXPECT_EQ(typeid(e), typeid(EError));
            return e.Message();
        }
        return QStringLiteral("no error");
    }

    const TTestDir dir;
    const QString sUserFile = dir.FilePath(QStringLiteral("TZK2.ini"));
    TRegIO reg;
};

TEST_F(RegIOTest, FirstRunKeepsDefaultsAndSaveWritesAllValues)
{
    EXPECT_FALSE(reg.CurrentUserLoad());
    EXPECT_EQ(reg.Position(), TRect());
    EXPECT_EQ(reg.SplitterPosH(), 0);
    EXPECT_TRUE(reg.LastFile().isEmpty());
    EXPECT_FALSE(reg.ViewMsgTrace());
    EXPECT_TRUE(reg.ShowToolbarTips());
    EXPECT_FALSE(reg.ShowCmdLineInTreeView());
    EXPECT_TRUE(reg.ShowErrorReportDlg());
    EXPECT_TRUE(reg.EndOnFailure());

    ASSERT_TRUE(reg.CurrentUserSave());
    const QSettings stored(sUserFile, QSettings::IniFormat);
    const QStringList keys = stored.allKeys();
    EXPECT_EQ(std::set<QString>(keys.begin(), keys.end()), cAllNames);
    EXPECT_EQ(stored.value(QStringLiteral("stt")).toString(), QStringLiteral("1"));
    EXPECT_EQ(stored.value(QStringLiteral("vmt")).toString(), QStringLiteral("0"));
    EXPECT_EQ(stored.value(QStringLiteral("eof")).toString(), QStringLiteral("1"));
    EXPECT_EQ(stored.value(QStringLiteral("lf")).toString(), QString());
}

TEST_F(RegIOTest, RoundTrip)
{
    reg.SetPosition({-1920, 5, -100, 1000});
    reg.SetSplitterPosH(169);
    reg.SetSplitterPosV(-3);
    reg.SetLastFile(QStringLiteral("/home/op/Defs, old/Board \u00C4 #1.TZD"));
    reg.SetRecentFileList(QStringLiteral("/a/b.TZD\r\n/c;d/e=f.TZD\r\n@g.TZD"));
    reg.SetViewMsgTrace(true);
    reg.SetShowToolbarTips(false);
    reg.SetShowToolbarCaption(true);
    reg.SetShowTreeButtonAndLines(true);
    reg.SetShowCmdLineInTreeView(true);
    reg.SetOptionsSkipErrors(true);
    reg.SetShowErrorReportDlg(false);
    reg.SetEndOnFailure(false);
    ASSERT_TRUE(reg.CurrentUserSave());

    TRegIO loaded;
    loaded.SetUserFileName(sUserFile);
    ASSERT_TRUE(loaded.CurrentUserLoad());
    EXPECT_EQ(loaded.Position(), reg.Position());
    EXPECT_EQ(loaded.SplitterPosH(), 169);
    EXPECT_EQ(loaded.SplitterPosV(), -3);
    EXPECT_EQ(loaded.LastFile(), reg.LastFile());
    EXPECT_EQ(loaded.RecentFileList(), reg.RecentFileList());
    EXPECT_TRUE(loaded.ViewMsgTrace());
    EXPECT_FALSE(loaded.ShowToolbarTips());
    EXPECT_TRUE(loaded.ShowToolbarCaption());
    EXPECT_TRUE(loaded.ShowTreeButtonAndLines());
    EXPECT_TRUE(loaded.ShowCmdLineInTreeView());
    EXPECT_TRUE(loaded.OptionsSkipErrors());
    EXPECT_FALSE(loaded.ShowErrorReportDlg());
    EXPECT_FALSE(loaded.EndOnFailure());
}

TEST_F(RegIOTest, OlderFileWithoutSedAndEofLoadsBothTrue)
{
    QString sText = QString::fromLatin1(csFullFile);
    sText.remove(QStringLiteral("sed=0\n")).remove(QStringLiteral("eof=0\n"));
    sText.replace(QStringLiteral("vmt=1"), QStringLiteral("vmt=7")); // any non-zero number is true
    dir.WriteText(QStringLiteral("TZK2.ini"), sText);
    reg.SetShowErrorReportDlg(false);
    reg.SetEndOnFailure(false);

    ASSERT_TRUE(reg.CurrentUserLoad());
    EXPECT_TRUE(reg.ShowErrorReportDlg());
    EXPECT_TRUE(reg.EndOnFailure());
    EXPECT_TRUE(reg.ViewMsgTrace());
    EXPECT_FALSE(reg.ShowToolbarTips());
    EXPECT_EQ(reg.Position(), (TRect{10, 20, 810, 620}));
}

TEST_F(RegIOTest, MissingValueAbortsTheLoadThere)
{
    WriteWith(QStringLiteral("pv"));
    reg.SetLastFile(QStringLiteral("/before.TZD"));
    EXPECT_EQ(LoadError(), QStringLiteral("Failed to get data for 'pv'"));
    // Read before the failure: new; after it: unchanged.
    EXPECT_EQ(reg.Position(), (TRect{10, 20, 810, 620}));
    EXPECT_EQ(reg.SplitterPosH(), 200);
    EXPECT_EQ(reg.SplitterPosV(), 0);
    EXPECT_EQ(reg.LastFile(), QStringLiteral("/before.TZD"));
    EXPECT_FALSE(reg.ViewMsgTrace());
}

TEST_F(RegIOTest, ValueOfAnotherTypeAbortsTheLoad)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("pl"), QStringLiteral("pl=left")},
        {QStringLiteral("ph"), QStringLiteral("ph=12px")},
        {QStringLiteral("pb"), QStringLiteral("pb=")},
        {QStringLiteral("pr"), QStringLiteral("pr=4294967296")},
        {QStringLiteral("stb"), QStringLiteral("stb=true")},
        {QStringLiteral("eof"), QStringLiteral("eof=no")},
        // An unquoted comma makes a list, which is not a string value.
        {QStringLiteral("rf"), QStringLiteral("rf=/a.TZD, /b.TZD")},
    };
    for (const auto& [sName, sLine] : cases) {
        WriteWith(sName, sLine);
        TRegIO fresh;
        fresh.SetUserFileName(sUserFile);
        try {
            fresh.CurrentUserLoad();
            ADD_FAILURE() << "no error for " << sLine.toStdString();
        } catch (const EError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Invalid data type for '%1'").arg(sName));
        }
    }
}

TEST_F(RegIOTest, MissingStringsReadEmpty)
{
    QString sText = QString::fromLatin1(csFullFile);
    sText.remove(QStringLiteral("lf=/defs/a.TZD\nrf=/defs/a.TZD\n"));
    dir.WriteText(QStringLiteral("TZK2.ini"), sText);
    reg.SetLastFile(QStringLiteral("/before.TZD"));
    reg.SetRecentFileList(QStringLiteral("/before.TZD"));
    ASSERT_TRUE(reg.CurrentUserLoad());
    EXPECT_EQ(reg.LastFile(), QString());
    EXPECT_EQ(reg.RecentFileList(), QString());
    EXPECT_TRUE(reg.OptionsSkipErrors());
}

TEST_F(RegIOTest, SaveWithoutPermission)
{
    // Tests may run with every permission, so the folder is made impossible instead: below a file.
    const QString sBlocker = dir.WriteText(QStringLiteral("blocker"), QStringLiteral("x"));
    reg.SetUserFileName(sBlocker + QStringLiteral("/Norbeck Software Design/TZK2.ini"));
    EXPECT_FALSE(reg.CurrentUserSave());
    EXPECT_EQ(reg.LastError(), QStringLiteral("No permission to write in the user registry file!"));
    EXPECT_FALSE(reg.CurrentUserLoad());
}

TEST_F(RegIOTest, UserFileFollowsTheUserConfigurationFolder)
{
    const QString sBlocker = dir.WriteText(QStringLiteral("blocker"), QStringLiteral("x"));
    const QString sOriginal = QFileInfo(QFileInfo(TRegIO().UserFileName()).absolutePath()).absolutePath();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, sBlocker);
    TRegIO blocked;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, sOriginal);

    EXPECT_EQ(blocked.UserFileName(), sBlocker + QStringLiteral("/Norbeck Software Design/TZK2.ini"));
    EXPECT_FALSE(blocked.CurrentUserSave());
    EXPECT_EQ(blocked.LastError(), QStringLiteral("No permission to write in the user registry file!"));
    EXPECT_EQ(TRegIO().UserFileName(), sOriginal + QStringLiteral("/Norbeck Software Design/TZK2.ini"));
}

TEST_F(RegIOTest, DefaultLocationIsOnlyTestedForAccess)
{
    const QString sDefault = dir.FilePath(QStringLiteral("xdg/Norbeck Software Design/TZK2.ini"));
    reg.SetDefaultFileName(sDefault);
    EXPECT_FALSE(reg.DefaultLoad());
    EXPECT_TRUE(reg.DefaultAvailable());
    EXPECT_TRUE(reg.DefaultLoad());
    EXPECT_TRUE(reg.DefaultSave());
    EXPECT_EQ(QFileInfo(sDefault).size(), 0);
    EXPECT_TRUE(reg.LastError().isEmpty());

    const QString sBlocker = dir.WriteText(QStringLiteral("blocker"), QStringLiteral("x"));
    reg.SetDefaultFileName(sBlocker + QStringLiteral("/TZK2.ini"));
    EXPECT_FALSE(reg.DefaultAvailable());
    EXPECT_FALSE(reg.DefaultLoad());
    EXPECT_FALSE(reg.DefaultSave());
    EXPECT_EQ(reg.LastError(), QStringLiteral("No permission to write in the default registry file!"));
}

TEST(RegIOInstance, OneObjectUntilReleased)
{
    TRegIO& first = TRegIO::Instance();
    first.SetEndOnFailure(false);
    EXPECT_EQ(&TRegIO::Instance(), &first);
    EXPECT_FALSE(TRegIO::Instance().EndOnFailure());
    TRegIO::InstanceRelease();
    EXPECT_TRUE(TRegIO::Instance().EndOnFailure());
    EXPECT_TRUE(
        TRegIO::Instance().UserFileName().endsWith(QStringLiteral("/Norbeck Software Design/TZK2.ini")));
    TRegIO::InstanceRelease();
}

} // namespace
