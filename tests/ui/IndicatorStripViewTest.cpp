#include "ui/IndicatorStripView.h"
#include "TestContext.h"

#include "ui/DocumentViewBase.h"
#include "ui/LCD99.h"
#include "ui/formDMM.h"
#include "ui/formMain.h"

#include "core/MsgClasses.h"
#include "core/RegIO.h"
#include "devices/display/DeviceDisplay.h"
#include "devices/display/DeviceIndicator.h"
#include "devices/system/DeviceSys.h"
#include "execution/DeviceList.h"

#include "TestEnvironment.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

TEST(IndicatorStripViewTest, ReadOutsLineUpFromTheLeftAndTheStripCollapsesWithoutThem)
{
    TIndicatorStripView strip;
    strip.resize(600, 0);
    EXPECT_EQ(strip.height(), 0);
    std::unique_ptr<IIndicatorReadOut> first = strip.AddReadOut();
    std::unique_ptr<IIndicatorReadOut> second = strip.AddReadOut();
    first->SetDigits(5);
    second->SetDigits(3);
    second->SetCaption(QStringLiteral("Current"));
    second->SetValueColor(0x0000FF);
    second->SetValue(QStringLiteral("1,5"));
    strip.show();

    const QList<TfrmDMM*> windows = strip.ReadOuts();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(strip.height(), 56);
    EXPECT_EQ(windows[0]->x(), 0);
    EXPECT_GE(windows[1]->x(), windows[0]->x() + windows[0]->width());
    EXPECT_EQ(windows[1]->Text(), QStringLiteral("Current"));
    EXPECT_EQ(windows[1]->ValueColor(), QColor(0, 0, 255));
    // The read-out cannot show a comma: it goes blank.
    EXPECT_EQ(windows[1]->Value(), QString());
    EXPECT_EQ(windows[0]->Value(), QStringLiteral("-----"));

    first.reset();
    ASSERT_EQ(strip.ReadOuts().size(), 1);
    EXPECT_EQ(strip.height(), 56);
    second.reset();
    EXPECT_TRUE(strip.ReadOuts().isEmpty());
    EXPECT_EQ(strip.height(), 0);
}

TEST(IndicatorStripViewTest, AReadOutMayOutliveItsStrip)
{
    auto strip = std::make_unique<TIndicatorStripView>();
    std::unique_ptr<IIndicatorReadOut> readOut = strip->AddReadOut();
    strip.reset();
    readOut->SetValue(QStringLiteral("12"));
    readOut.reset();
}

// The window gives the devices its strip and its document view.
class WindowDisplayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sys::RegisterDevices(TestDeviceTypes());
        display::RegisterDevices(TestDeviceTypes());
        TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
        TfrmMainSetup setup;
        setup.pTypes = &TestDeviceTypes();
        setup.sProgramDir = fDir.Path();
        fWindow = std::make_unique<TfrmMain>(setup);
        fWindow->Dialogs().fnError = [](const QString& sText) { ADD_FAILURE() << sText.toStdString(); };
    }
    void TearDown() override
    {
        fWindow.reset();
        TRegIO::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    TTestDir fDir;
    std::unique_ptr<TfrmMain> fWindow;
};

TEST_F(WindowDisplayTest, IndicatorsAndDocumentDisplayReachTheWindow)
{
    const QString sManual = fDir.WriteText(QStringLiteral("manual.html"), QStringLiteral("<p>1</p>"));
    const QString sFile = fDir.WriteText(
        QStringLiteral("main.TZD"), QStringLiteral("Device.Create(SystemControl; Sys)\n"
                                                   "Device.Create(Indicator; Volts; \"Supply\"; 5; 00FF00)\n"
                                                   "Device.Create(Indicator; Amps; \"Current\"; 3; 0000FF)\n"
                                                   "Device.Create(HTMLViewer; Manual)\n"
                                                   "Test.Case(\"Power\")\n{\n"
                                                   "    Sys.Delay(\"Wait\"; 1)\n}\n"));
    ASSERT_TRUE(fWindow->LoadDefinitionFile(sFile));
    const QList<TfrmDMM*> windows = fWindow->IndicatorStrip()->ReadOuts();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(fWindow->IndicatorStrip()->height(), 56);
    EXPECT_EQ(windows[0]->Text(), QStringLiteral("Supply"));
    EXPECT_EQ(windows[1]->ValueColor(), QColor(255, 0, 0));

    auto* pVolts =
        static_cast<display::TDeviceIndicator*>(fWindow->Session().Devices().Device(QStringLiteral("Volts")));
    pVolts->Indicate(QStringLiteral("Supply voltage"), QStringLiteral("12,5"));
    EXPECT_EQ(windows[0]->Text(), QStringLiteral("Supply voltage"));
    EXPECT_EQ(windows[0]->Value(), QStringLiteral("12.5"));

    auto* pManual =
        static_cast<display::TDeviceDisplay*>(fWindow->Session().Devices().Device(QStringLiteral("Manual")));
    pManual->OpenFile(sManual);
    pManual->GoToAnchor(QStringLiteral("step3"));
    EXPECT_EQ(fWindow->DocumentView()->Page(), sManual + QStringLiteral("#step3"));

    // Loading a definition without indicators takes the read-outs away.
    const QString sPlain =
        fDir.WriteText(QStringLiteral("plain.TZD"), QStringLiteral("Device.Create(SystemControl; Sys)\n"
                                                                   "Test.Case(\"Power\")\n{\n"
                                                                   "    Sys.Delay(\"Wait\"; 1)\n}\n"));
    ASSERT_TRUE(fWindow->LoadDefinitionFile(sPlain));
    EXPECT_TRUE(fWindow->IndicatorStrip()->ReadOuts().isEmpty());
    EXPECT_EQ(fWindow->IndicatorStrip()->height(), 0);
}

} // namespace
