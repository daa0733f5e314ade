#include "DisplayFixture.h"
#include "TestContext.h"
#include "TestDevices.h"

#include "devices/display/DeviceIndicator.h"

#include "core/FormatSettings.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"

#include <gtest/gtest.h>

using namespace display;

namespace {

QString Definition(const QString& sHead, const QString& sSteps)
{
    return QStringLiteral("Device.Create(SystemControl; Sys)\r\n") + sHead +
           QStringLiteral("\r\nTest.Case(\"Case\")\r\n{\r\n") + sSteps + QStringLiteral("\r\n}\r\n");
}

class DeviceIndicatorTest : public TDisplayFixture
{
protected:
    DeviceIndicatorTest() { TTestDevice::Register(); }
};

TEST_F(DeviceIndicatorTest, DeclarationsShowCaptionDashesAndColourSideBySide)
{
    ASSERT_TRUE(
        LoadOk(Definition(QStringLiteral("Device.Create(Indicator; Volts; \" Supply \"; 5; 00FF00)\r\n"
                                         "Device.Create(Indicator; Amps; Current; 3; FF0000)\r\n"
                                         "Device.Create(Indicator; Heat; \"Temperature\"; 2; 0000FF)"),
                          QStringLiteral("Sys.Delay(\"Wait\"; 1)"))));
    struct TExpected
    {
        const char* sCaption;
        int iDigits;
        const char* sValue;
        std::uint32_t dwRgb;
    };
    // The colour is written with red in the lowest byte: FF0000 is blue, 0000FF red.
    const TExpected expected[] = {{"Supply", 5, "-----", 0x00FF00},
                                  {"Current", 3, "---", 0x0000FF},
                                  {"Temperature", 2, "--", 0xFF0000}};
    ASSERT_EQ(fStrip.ReadOuts().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const TFakeIndicatorStrip::TReadOut& readOut = *fStrip.ReadOuts()[i];
        EXPECT_EQ(readOut.sCaption, QLatin1String(expected[i].sCaption)) << i;
        EXPECT_EQ(readOut.iDigits, expected[i].iDigits) << i;
        EXPECT_EQ(readOut.sValue, QLatin1String(expected[i].sValue)) << i;
        EXPECT_EQ(readOut.dwColor, expected[i].dwRgb) << i;
    }

    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("Indicator"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
    EXPECT_EQ(sName, QStringLiteral("Indicator"));
    EXPECT_EQ(sVersion, QStringLiteral("V2.20.05"));

    // The next load releases the devices and with them their read-outs.
    ASSERT_TRUE(LoadOk(Definition(QString(), QStringLiteral("Sys.Delay(\"Wait\"; 1)"))));
    EXPECT_EQ(fStrip.Shown(), 0);
}

TEST_F(DeviceIndicatorTest, BadDeclarationsAreLoadErrorsAndLeaveNoReadOut)
{
    struct TCase
    {
        const char* sLine;
        const char* sError;
    };
    const TCase cases[] = {
        {"Device.Create(Indicator; I; \"U\"; five; 00FF00)", "'five' is not a valid integer value"},
        {"Device.Create(Indicator; I; \"U\"; 5; green)", "'$green' is not a valid integer value"},
        {"Device.Create(Indicator; I; \"U\"; 5; $00FF00)", "'$$00FF00' is not a valid integer value"},
        {"Device.Create(Indicator; I; \"U\"; 5; )", "'$' is not a valid integer value"},
        {"Device.Create(Indicator; I; \"U\"; 0; 00FF00)", "Number of digits 0 out of range 1..64!"},
        {"Device.Create(Indicator; I; \"U\"; 65; 00FF00)", "Number of digits 65 out of range 1..64!"},
        {"Device.Create(Indicator; I; \"U\"; 5)", "Number of parameters found: 4 < 5 needed parameters!"},
    };
    for (const TCase& c : cases) {
        const QStringList errors =
            LoadErrors(Definition(QLatin1String(c.sLine), QStringLiteral("Sys.Delay(\"W\"; 1)")));
        ASSERT_FALSE(errors.isEmpty()) << c.sLine;
        EXPECT_TRUE(errors.first().startsWith(QStringLiteral("2: ") + QLatin1String(c.sError)))
            << c.sLine << " gave " << errors.first().toStdString();
        EXPECT_EQ(fSession.Devices().Device(QStringLiteral("I")), nullptr) << c.sLine;
        EXPECT_EQ(fStrip.Shown(), 0) << c.sLine;
    }
}

TEST_F(DeviceIndicatorTest, IndicateShowsFormattedNumbersAndVariableValues)
{
    ASSERT_TRUE(
        LoadOk(Definition(QStringLiteral("Set(String; TEXT)\r\nSet(Float; REAL)\r\nSet(Integer; COUNT)\r\n"
                                         "Device.Create(TestDevice; T)\r\n"
                                         "Device.Create(Indicator; Ind; \"Value\"; 5; 00FF00)"),
                          QStringLiteral("T.Run(\"Prepare\")\r\n"
                                         "Ind.Indicate(\"Number\"; \"Voltage\"; 1234.5)\r\n"
                                         "Ind.Indicate(\"Small\"; Small; 0.000001)\r\n"
                                         "Ind.Indicate(\"Grouped\"; \"Grouped\"; 12,345.5)\r\n"
                                         "Ind.Indicate(\"Zeros\"; \"Zeros\"; 007.50)\r\n"
                                         "Ind.Indicate(\"Text\"; \"Text\"; TEXT)\r\n"
                                         "Ind.Indicate(\"Real\"; \"Real\"; REAL)\r\n"
                                         "Ind.Indicate(\"Count\"; \"Count\"; COUNT)\r\n"
                                         "Ind.Indicate(\"Last\"; \"Last caption\"; -7)"))));
    // The runner resets the variables when it starts: the first step sets them.
    TJob* pPrepare = Step(QStringLiteral("Prepare"));
    ASSERT_NE(pPrepare, nullptr);
    static_cast<TTestCmd*>(pPrepare->Cmd())->fOnExecute = [this] {
        TVariableManager& variables = fSession.Variables();
        variables.SetValue(QStringLiteral("TEXT"), QStringLiteral("abc"));
        variables.SetValue(QStringLiteral("REAL"), 2.5);
        variables.SetValue(QStringLiteral("COUNT"), 42);
    };
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    const QStringList expected = {
        QStringLiteral("1234.5"), QStringLiteral("1E-006"), QStringLiteral("12345.5"), QStringLiteral("7.5"),
        QStringLiteral("abc"),    QStringLiteral("2.5"),    QStringLiteral("42"),      QStringLiteral("-7")};
    ASSERT_EQ(fStrip.ReadOuts().size(), 1u);
    EXPECT_EQ(fStrip.ReadOuts()[0]->slValues, expected);
    EXPECT_EQ(fStrip.ReadOuts()[0]->sCaption, QStringLiteral("Last caption"));
}

TEST_F(DeviceIndicatorTest, WithACommaAsDecimalSeparatorTheReadOutShowsAPoint)
{
    ASSERT_TRUE(
        LoadOk(Definition(QStringLiteral("Set(DecimalSeparator; \",\")\r\nSet(ThousandSeparator; \".\")\r\n"
                                         "Set(Float; REAL)\r\n"
                                         "Device.Create(Indicator; Ind; \"Value\"; 5; 00FF00)"),
                          QStringLiteral("Ind.Indicate(\"Comma\"; \"U\"; 1,5)\r\n"
                                         "Ind.Indicate(\"Grouped\"; \"U\"; 1.234,5)\r\n"
                                         "Ind.Indicate(\"Real\"; \"U\"; REAL)"))));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    const QStringList expected = {QStringLiteral("1.5"), QStringLiteral("1234.5"), QStringLiteral("0")};
    EXPECT_EQ(fStrip.ReadOuts()[0]->slValues, expected);
}

TEST_F(DeviceIndicatorTest, BadIndicateLinesAreLoadErrors)
{
    const QString sDevices =
        QStringLiteral("Set(String; TEXT)\r\nDevice.Create(Indicator; Ind; \"U\"; 4; 00FF00)");
    struct TCase
    {
        const char* sLine;
        const char* sError;
    };
    const TCase cases[] = {
        {"Ind.Indicate(\"Step\"; \"U\"; VOLTAGE)", "Variable \"VOLTAGE\" is not defined! (13030A:0)"},
        {"Ind.Indicate(\"Step\"; \"U\"; 12 V)", "Variable \"12 V\" is not defined! (13030A:0)"},
        {"Ind.Indicate(\"Step\"; \"U\")", "Number of parameters found: 2 < 3 needed parameters!"},
        {"Ind.Show(\"Step\"; \"U\"; 1)", "Unkown command \"Show\" in device \"Ind\" skipped. (060414:0)"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(LineError(QLatin1String(c.sLine), sDevices), QLatin1String(c.sError)) << c.sLine;
    // Variable names ignore case, as everywhere.
    EXPECT_EQ(LineError(QStringLiteral("Ind.Indicate(\"Step\"; \"U\"; text)"), sDevices),
              QStringLiteral("no error"));
}

TEST_F(DeviceIndicatorTest, WithoutAStripTheStepFails)
{
    fSession.Context().SetIndicators(nullptr);
    ASSERT_TRUE(LoadOk(Definition(QStringLiteral("Device.Create(Indicator; Ind; \"U\"; 4; 00FF00)"),
                                  QStringLiteral("Ind.Indicate(\"Show\"; \"U\"; 1)"))));
    ASSERT_TRUE(Run());
    EXPECT_FALSE(Passed());
    TJob* pStep = Step(QStringLiteral("Show"));
    ASSERT_NE(pStep, nullptr);
    EXPECT_EQ(pStep->Cmd()->CmdResult(), crFailed);
    EXPECT_EQ(pStep->Cmd()->ErrorText(),
              QStringLiteral("Cannot indicate value: \"No indicator strip available\"!"));
}

TEST(FormatIndicatorValueTest, NumbersInTheGeneralFormAndNothingElse)
{
    struct TCase
    {
        const char* sText;
        const char* sShown;
    };
    const TCase cases[] = {
        {"1234.5", "1234.5"},
        {"-0.25", "-0.25"},
        {"1e3", "1000"},
        {"0.000001", "1E-006"},
        {"1,000", "1000"},
        {"abc", ""},
        {"", ""},
        {"12+3", ""},
        {"1234567890123456", "1.23456789012346E015"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatIndicatorValue(QLatin1String(c.sText)), QLatin1String(c.sShown)) << c.sText;
}

} // namespace
