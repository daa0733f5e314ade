#include "language/Session.h"
#include "TestContext.h"

#include "DeviceFixture.h"
#include "TestDevices.h"

#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"

#include <gtest/gtest.h>

namespace {

// A session's parts are its own, reached through its context; the process's instances stay apart.
TEST(SessionParts, TheContextReachesTheSessionsOwnParts)
{
    TSession session;
    EXPECT_EQ(&session.Context().Variables(), &session.Variables());
    EXPECT_EQ(&session.Context().ValueLog(), &session.ValueLog());
    EXPECT_EQ(&session.Context().Devices(), &session.Devices());
    EXPECT_NE(&session.Variables(), &TVariableManager::Instance());
    // Releasing the definition puts fresh ones in place, still reached through the context.
    session.ReleaseDefinition();
    EXPECT_EQ(&session.Context().Variables(), &session.Variables());
    EXPECT_EQ(&session.Context().ValueLog(), &session.ValueLog());
    EXPECT_EQ(&session.Context().Devices(), &session.Devices());
    TVariableManager::InstanceRelease();
}

class SessionTest : public TDeviceFixture
{
protected:
    SessionTest()
    {
        TTestDevice::Register();
        TTestDevice::sHookCalls.clear();
    }
    ~SessionTest() override
    {
        TTestDevice::sOnReleased = nullptr;
        TTestDevice::Unregister();
    }
};

TEST_F(SessionTest, LoadOutcomes)
{
    const QString sGood = QStringLiteral("Set(FileInfo; \"Board\"; \"2.1\")\r\n"
                                         "Device.Create(SystemControl; Sys)\r\n"
                                         "Test.Case(\"A\")\r\n{\r\n    Sys.Delay(\"Settle\"; 1)\r\n}\r\n");
    const QString sBadLine = QStringLiteral("Device.Create(SystemControl; Sys)\r\n"
                                            "Test.Case(\"A\")\r\n{\r\n    Sys.Delay(\"Settle\"; 1)\r\n"
                                            "    Nobody.Delay(\"Wait\"; 1)\r\n}\r\n");
    struct TCase
    {
        const char* sName;
        QString sText;
        bool bSkipErrors;
        ELoadOutcome eOutcome;
        bool bRunnable;
        int iSkipped;
    } cases[] = {
        {"good", sGood, false, ELoadOutcome::Loaded, true, 0},
        {"bad line", sBadLine, false, ELoadOutcome::Errors, false, 0},
        // Under "Skip Errors" the line of an undeclared device becomes a placeholder.
        {"bad line skipped", sBadLine, true, ELoadOutcome::Loaded, true, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.sName);
        fbSkipErrors = c.bSkipErrors;
        const TLoadReport report = Load(c.sText);
        EXPECT_EQ(report.eOutcome, c.eOutcome);
        EXPECT_EQ(report.bRunnable, c.bRunnable);
        EXPECT_TRUE(report.sFailure.isEmpty()) << report.sFailure.toStdString();
        EXPECT_EQ(fSession.Tree().Empty(), !c.bRunnable);
        EXPECT_EQ(fSession.ErrorReport().FileName(), c.bRunnable ? report.sFile : QString());
        if (c.bRunnable) {
            EXPECT_EQ(report.iSkipped, c.iSkipped);
        }
        if (c.eOutcome == ELoadOutcome::Errors) {
            EXPECT_TRUE(report.sLoadInfos.contains(QStringLiteral("Error: ")))
                << report.sLoadInfos.toStdString();
        }
    }
    EXPECT_EQ(fsFileLabel, QStringLiteral("Board"));

    const TLoadReport missing = fSession.Load(fDir.FilePath(QStringLiteral("none.TZD")), *this);
    EXPECT_EQ(missing.eOutcome, ELoadOutcome::Errors);
    EXPECT_FALSE(missing.bRunnable);
    EXPECT_EQ(missing.sFailure, QStringLiteral("definition file not found"));
}

TEST_F(SessionTest, ReleasingTheDefinitionClearsTheTreeBeforeTheDevicesGoLastFirst)
{
    ASSERT_TRUE(LoadOk(
        QStringLiteral("Set(Integer; Count)\r\n"
                       "Device.Create(TestDevice; Dev1)\r\n"
                       "Device.Create(TestDevice; Dev2)\r\n"
                       "Test.Case(\"A\")\r\n{\r\n    Dev1.Run(\"one\")\r\n    Dev2.Run(\"two\")\r\n}\r\n")));
    ASSERT_TRUE(fSession.Variables().Confirm(QStringLiteral("Count"), ectIsDeclared));
    std::vector<bool> treeEmptyAtRelease;
    std::vector<bool> variableAtRelease;
    TTestDevice::sOnReleased = [&](TTestDevice&) {
        treeEmptyAtRelease.push_back(fSession.Tree().Empty());
        variableAtRelease.push_back(fSession.Variables().Confirm(QStringLiteral("Count"), ectIsDeclared));
    };
    fSession.ReleaseDefinition();
    EXPECT_EQ(TTestDevice::sHookCalls,
              (std::vector<QString>{QStringLiteral("Released Dev2"), QStringLiteral("Released Dev1")}));
    EXPECT_EQ(treeEmptyAtRelease, (std::vector<bool>{true, true}));
    // The devices go while the variables their commands refer to still exist.
    EXPECT_EQ(variableAtRelease, (std::vector<bool>{true, true}));
    EXPECT_FALSE(fSession.Variables().Confirm(QStringLiteral("Count"), ectIsDeclared));
    EXPECT_EQ(fSession.Devices().Count(), 0);
}

TEST_F(SessionTest, ALoadedDefinitionRunsToItsEnd)
{
    ASSERT_TRUE(LoadOk(QStringLiteral("Device.Create(SystemControl; Sys)\r\n"
                                      "Test.Case(\"A\")\r\n{\r\n    Sys.Delay(\"Settle\"; 5)\r\n}\r\n")));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed());
    ASSERT_NE(Step(QStringLiteral("Settle")), nullptr);
    EXPECT_TRUE(Step(QStringLiteral("Settle"))->Passed());

    ASSERT_TRUE(
        LoadOk(QStringLiteral("Device.Create(SystemControl; Sys)\r\n"
                              "Test.Case(\"A\")\r\n{\r\n"
                              "    Sys.SetTestCaseStatus(\"Switch\"; \"No such case\"; Enabled)\r\n}\r\n")));
    ASSERT_TRUE(Run());
    EXPECT_FALSE(Passed());
}

TEST_F(SessionTest, LineErrorsOfATable)
{
    struct TCase
    {
        const char* sLine;
        const char* sError;
    } cases[] = {
        {"Sys.Delay(\"Wait\"; 5)", "no error"},
        {"Sys.NoSuchFunction(\"Wait\")", "Unkown command \"NoSuchFunction\" in device \"Sys\""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.sLine);
        EXPECT_TRUE(LineError(QString::fromUtf8(c.sLine)).contains(QString::fromUtf8(c.sError)))
            << LineError(QString::fromUtf8(c.sLine)).toStdString();
    }
}

} // namespace
