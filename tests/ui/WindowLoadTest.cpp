#include "TestContext.h"
#include "language/DefFileInterpreter.h"
#include "ui/formMain.h"

#include "core/MsgClasses.h"
#include "core/RegIO.h"
#include "devices/system/DeviceSys.h"
#include "execution/DeviceList.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

// The window with the real definition interpreter behind its load routine.
class WindowLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sys::RegisterDevices(TestDeviceTypes());
        TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
        TfrmMainSetup setup;
        setup.pTypes = &TestDeviceTypes();
        setup.sProgramDir = fDir.Path();
        fWindow = std::make_unique<TfrmMain>(setup);
        fWindow->Dialogs().fnError = [this](const QString& sText) { fErrorBoxes.append(sText); };
    }
    void TearDown() override
    {
        fWindow.reset();
        TRegIO::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    TTestDir fDir;
    std::unique_ptr<TfrmMain> fWindow;
    QStringList fErrorBoxes;
};

// The definition check's warnings appear in the log with the load information; the definition
// still loads and can run.
TEST_F(WindowLoadTest, CheckWarningsAreLoggedAndTheLoadSucceeds)
{
    const QString sFile =
        fDir.WriteText(QStringLiteral("main.TZD"), QStringLiteral("Device.Create(SystemControl; Sys)\n"
                                                                  "Test.Case(\"Power\")\n{\n"
                                                                  "    Sys.Goto(\"Jump\"; \"Powr\")\n}\n"));
    ASSERT_TRUE(fWindow->LoadDefinitionFile(sFile));
    EXPECT_TRUE(fErrorBoxes.isEmpty()) << fErrorBoxes.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(fWindow->Runner().ProcessState(), EProcessState::Ready);

    QStringList slLog;
    for (const TLogLine& line : fWindow->MsgLog().Lines())
        slLog.append(line.sText);
    const QString sLog = slLog.join(QLatin1Char('\n'));
    EXPECT_TRUE(sLog.contains(QStringLiteral("While checking definition file...")) &&
                sLog.contains(QStringLiteral("Warning: ") + sFile +
                              QStringLiteral(", 4: Goto target \"Powr\" names no test case")))
        << sLog.toStdString();
    EXPECT_TRUE(sLog.contains(QStringLiteral("Test process loaded successfully."))) << sLog.toStdString();
}

} // namespace
