#include "DisplayFixture.h"
#include "TestContext.h"

#include "devices/display/DeviceDisplay.h"

#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace display;

namespace {

class DeviceDisplayTest : public TDisplayFixture
{
protected:
    DeviceDisplayTest()
    {
        sManual = fDir.WriteText(QStringLiteral("manual.html"), QStringLiteral("<a name=\"step3\">3</a>"));
        sOther = fDir.WriteText(QStringLiteral("other.html"), QStringLiteral("<p>other</p>"));
    }
    static QString Definition(const QString& sSteps)
    {
        return QStringLiteral("Device.Create(SystemControl; Sys)\r\n"
                              "Device.Create(HTMLViewer; Manual)\r\n"
                              "Device.Create(HTMLViewer; Help; ignored; fields)\r\n"
                              "Test.Case(\"Case\")\r\n{\r\n") +
               sSteps + QStringLiteral("\r\n}\r\n");
    }

    QString sManual;
    QString sOther;
};

TEST_F(DeviceDisplayTest, GotoJumpsWithinTheFileItsOwnDeviceOpenedLast)
{
    ASSERT_TRUE(LoadOk(Definition(QStringLiteral("Help.Goto(\"Before any Open\"; intro)\r\n"
                                                 "Manual.Open(\"Manual\"; \"TZD:manual.html\")\r\n"
                                                 "Manual.Goto(\"Step 3\"; \"step3\")\r\n"
                                                 "Help.Open(\"Help\"; \"TZD:other.html\")\r\n"
                                                 "Manual.Goto(\"Back in the manual\"; step4)\r\n"
                                                 "Help.Goto(\"In the help\"; top)"))));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    const QStringList expected = {
        QStringLiteral("#intro"),           sManual,
        sManual + QStringLiteral("#step3"), sOther,
        sManual + QStringLiteral("#step4"), sOther + QStringLiteral("#top"),
    };
    EXPECT_EQ(fDocuments.slTargets, expected);
    EXPECT_TRUE(QDir::isAbsolutePath(sManual));

    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("HTMLViewer"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
    EXPECT_EQ(sName, QStringLiteral("HTML Viewer"));
    EXPECT_EQ(sVersion, QStringLiteral("V1.01.02"));
}

TEST_F(DeviceDisplayTest, ATargetTheViewRefusesFailsTheStepAndTheRunGoesOn)
{
    ASSERT_TRUE(LoadOk(Definition(QStringLiteral("Manual.Open(\"Manual\"; \"TZD:manual.html\")\r\n"
                                                 "Manual.Goto(\"Refused\"; bad)\r\n"
                                                 "Manual.Goto(\"Fine\"; good)"))));
    fDocuments.slRefused = QStringList{sManual + QStringLiteral("#bad")};
    TRegIO::Instance().SetEndOnFailure(false);
    ASSERT_TRUE(Run());
    EXPECT_FALSE(Passed());
    const QString sError = QStringLiteral("Not found \"bad\": \"Invalid address\"!");
    EXPECT_EQ(Step(QStringLiteral("Refused"))->Cmd()->ErrorText(), sError);
    EXPECT_TRUE(Logged(sError));
    EXPECT_EQ(Step(QStringLiteral("Fine"))->Cmd()->CmdResult(), crDone);
    EXPECT_EQ(fDocuments.slTargets, (QStringList{sManual, sManual + QStringLiteral("#good")}));
}

TEST_F(DeviceDisplayTest, WithoutADocumentViewTheStepFails)
{
    fSession.Context().SetDocuments(nullptr);
    ASSERT_TRUE(LoadOk(Definition(QStringLiteral("Manual.Open(\"Manual\"; \"TZD:manual.html\")"))));
    ASSERT_TRUE(Run());
    EXPECT_FALSE(Passed());
    EXPECT_EQ(Step(QStringLiteral("Manual"))->Cmd()->ErrorText(),
              QStringLiteral("Not found \"%1\": \"No document view available\"!").arg(sManual));
}

TEST_F(DeviceDisplayTest, BadLinesAreLoadErrors)
{
    const QString sDevices = QStringLiteral("Device.Create(HTMLViewer; Manual)");
    struct TCase
    {
        QString sLine;
        QString sError;
    };
    const TCase cases[] = {
        {QStringLiteral("Manual.Open(\"Missing\"; \"TZD:missing.html\")"),
         QStringLiteral("File not found: \"%1\" (02010A:0)")
             .arg(fDir.FilePath(QStringLiteral("missing.html")))},
        {QStringLiteral("Manual.Open(\"No file\")"),
         QStringLiteral("Number of parameters found: 1 < 2 needed parameters!")},
        {QStringLiteral("Manual.Goto(\"No anchor\")"),
         QStringLiteral("Number of parameters found: 1 < 2 needed parameters!")},
        // Function names are compared case-sensitively.
        {QStringLiteral("Manual.GoTo(\"Step\"; a)"),
         QStringLiteral("Unkown command \"GoTo\" in device \"Manual\" skipped. (060414:0)")},
        {QStringLiteral("Manual.Goto(\"Step\"; a)"), QStringLiteral("no error")},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(LineError(c.sLine, sDevices), c.sError) << c.sLine.toStdString();
}

TEST_F(DeviceDisplayTest, TheFactoryRefusesUnknownFunctionsAndToRunItself)
{
    TDevice* pDevice = fSession.Devices().Append(QStringLiteral("HTMLViewer; Viewer"));
    TCommand* pFactory = pDevice->Command(QStringLiteral("Open"));
    ASSERT_NE(pFactory, nullptr);
    EXPECT_EQ(pFactory, pDevice->Command(QStringLiteral("Goto")));
    try {
        pFactory->Init(QStringLiteral("Close"), QStringLiteral("\"x\""));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Id(), TMsgId(0x12010A));
        EXPECT_EQ(ExceptionText(e), QStringLiteral("Unknown function \"Close\" found!\r\nID: 12010A:0"));
    }
    try {
        pFactory->Execute(QStringLiteral("four"));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Id(), TMsgId(0x12020A));
        EXPECT_EQ(e.Value(), 4);
    }
}

} // namespace
