#include "TestContext.h"
#include "TestDevices.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/CmdAnalyser.h"
#include "execution/DeviceTypes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class DeviceListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TTestDevice::Register();
        TTestDevice::siDestroyed = 0;
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId aId, const QString& sText) {
            if (aId.TypeNo() == eWarning)
                fWarnings.push_back(sText);
        });
    }
    void TearDown() override
    {
        ReleaseTestDeviceList();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        TTestDevice::Unregister();
        TMsgClass::ReleaseSingleton();
    }

    // The owner of commands made outside a device list.
    TTestDevice fOwner;

    static EMsg AppendError(const QString& sDefinition)
    {
        try {
            TestDeviceList().Append(sDefinition);
        } catch (const EMsg& e) {
            return e;
        }
        throw std::runtime_error("no error for " + sDefinition.toStdString());
    }

    std::vector<QString> fWarnings;
};

TEST_F(DeviceListTest, DeclaresDevicesByTypeKeyword)
{
    TDevice* device = TestDeviceList().Append(QStringLiteral(" TestDevice ; Port1 ; 9600"));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Name(), QStringLiteral("Port1"));
    EXPECT_EQ(static_cast<TTestDevice*>(device)->fsDefinition, QStringLiteral(" TestDevice ; Port1 ; 9600"));
    EXPECT_EQ(TestDeviceList().Device(QStringLiteral("Port1")), device);
    EXPECT_EQ(TestDeviceList().Device(QStringLiteral("port1")), nullptr);
}

TEST_F(DeviceListTest, TypeInfoNamesEveryRegisteredType)
{
    const auto info = TestDeviceTypes().Info();
    const auto it =
        std::find(info.begin(), info.end(),
                  std::pair<QString, QString>(QStringLiteral("Test Device"), QStringLiteral("V1")));
    EXPECT_NE(it, info.end());
    EXPECT_EQ(TestDeviceList().Count(), 0) << "the devices asked are not declared";
}

TEST_F(DeviceListTest, DeclarationErrors)
{
    TestDeviceList().Append(QStringLiteral("TestDevice;Port1"));
    struct
    {
        const char* sDefinition;
        std::uint32_t dwId;
        const char* sText;
    } const cases[] = {
        {"Unknown;Port1", 0x10010A, "Device name \"Port1\" already defined"},
        // The known types follow as a hint on a second line.
        {"testdevice;Port2", 0x100163,
         "Unknown device type \"testdevice\"!\r\nKnown device types: TestDevice"},
        {"\"TestDevice\";Port2", 0x100163,
         "Unknown device type \"\"TestDevice\"\"!\r\nKnown device types: TestDevice"},
    };
    for (const auto& c : cases) {
        const EMsg e = AppendError(QString::fromUtf8(c.sDefinition));
        EXPECT_EQ(e.Id().Value, c.dwId) << c.sDefinition;
        EXPECT_EQ(e.Text().toStdString(), c.sText);
        EXPECT_EQ(e.Value(), 1) << "the number of declared devices";
    }
    EXPECT_EQ(AppendError(QStringLiteral("TestDevice;Port3;failinit")).Text(), QStringLiteral("cannot open"));
    EXPECT_EQ(TestDeviceList().Device(QStringLiteral("Port3")), nullptr);
    EXPECT_EQ(TestDeviceList().Count(), 1);
}

TEST_F(DeviceListTest, FactoryCreatesOneCommandPerLineAndOwnsIt)
{
    TDevice* device = TestDeviceList().Append(QStringLiteral("TestDevice;Port1"));
    TCommand* factory = device->Command(QStringLiteral("Run"));
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(device->Command(QStringLiteral("Other")), factory) << "one factory under every function name";
    EXPECT_EQ(device->Command(QStringLiteral("run")), nullptr);

    TCommand* a = factory->Init(QStringLiteral("Run"), QStringLiteral("\"A\";1"));
    TCommand* b = factory->Init(QStringLiteral("Run"), QStringLiteral("\"B\";2"));
    EXPECT_NE(a, b);
    EXPECT_EQ(static_cast<TTestCmd*>(a)->fsDefinition, QStringLiteral("\"A\";1"));
    EXPECT_EQ(a->Owner(), device);

    TCommand* shared = device->Command(QStringLiteral("Shared"));
    EXPECT_EQ(shared->Init(QStringLiteral("Shared"), QStringLiteral("\"x\"")), shared);

    try {
        factory->Init(QStringLiteral("Nope"), QString());
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Id().Value, 0x7F0163u);
        EXPECT_EQ(e.Text(), QStringLiteral("Unknown function \"Nope\" found!"));
    }
    EXPECT_EQ(device->FunctionNames(),
              (QStringList{QStringLiteral("Run"), QStringLiteral("Other"), QStringLiteral("Shared")}))
        << "the commands made for lines are no function names";
    const std::size_t iEntries = device->CmdList().size();
    EXPECT_THROW(factory->Init(QStringLiteral("Run"), QStringLiteral("\"bad\"")), EMsg);
    EXPECT_EQ(device->CmdList().size(), iEntries) << "a command whose Init failed is not kept";
    try {
        factory->Execute(QStringLiteral("1.1. x"));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.MsgNo(), QStringLiteral("7F020A:6"));
    }
    ReleaseTestDeviceList();
    EXPECT_EQ(TTestDevice::siDestroyed, 1);
}

// A row that names its command's class writes that command's "<class>.Init: " debug line, after
// the factory's line and before the command reads its parameters; a row without one writes none.
TEST_F(DeviceListTest, FactoryWritesTheInitLineOfTheRowsClass)
{
    std::vector<QString> debugLines;
    TMsgClass::Instance().SetOnNewMsg([&](const void*, TMsgId aId, const QString& sText) {
        if (aId.TypeNo() == eDebug)
            debugLines.push_back(sText);
    });
    TCommand* factory =
        TestDeviceList().Append(QStringLiteral("TestDevice;Port1"))->Command(QStringLiteral("Run"));
    debugLines.clear();
    factory->Init(QStringLiteral("Run"), QStringLiteral("\"A\";1"));
    factory->Init(QStringLiteral("Other"), QStringLiteral("\"B\";2"));
    EXPECT_EQ(debugLines,
              (std::vector<QString>{QStringLiteral("TestDevice TCmdCreateCmd.Init: \"Run\" \"\"A\";1\""),
                                    QStringLiteral("TTestCmd.Init: \"A\";1"),
                                    QStringLiteral("TestDevice TCmdCreateCmd.Init: \"Other\" \"\"B\";2\"")}));
}

// The registration tells a type's functions and their fields without making a device.
TEST_F(DeviceListTest, RegistrationListsFunctionsAndTheirFields)
{
    const int iDestroyed = TTestDevice::siDestroyed;
    const TDeviceTypes& types = TestDeviceTypes();
    EXPECT_EQ(types.Functions(QStringLiteral("TestDevice")),
              (QStringList{QStringLiteral("Run"), QStringLiteral("Other"), QStringLiteral("Shared")}));
    const TFunctionInfo* run = types.Function(QStringLiteral("TestDevice"), QStringLiteral("Run"));
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->Field(0), EParamField::Label);
    EXPECT_EQ(run->Field(1), EParamField::Text);
    EXPECT_EQ(run->Field(7), EParamField::Text) << "a field the shape leaves out is a text";
    EXPECT_EQ(types.Function(QStringLiteral("TestDevice"), QStringLiteral("run")), nullptr);
    EXPECT_EQ(types.Function(QStringLiteral("NoSuchType"), QStringLiteral("Run")), nullptr);
    EXPECT_TRUE(types.Functions(QStringLiteral("NoSuchType")).isEmpty());
    EXPECT_EQ(TTestDevice::siDestroyed, iDestroyed) << "no device was made to read them";
}

TEST_F(DeviceListTest, DevicesAreReleasedLastDeclaredFirstEvenWhenOneFails)
{
    TTestDevice::sHookCalls.clear();
    TDeviceList& list = TestDeviceList();
    list.Append(QStringLiteral("TestDevice;A"));
    list.Append(QStringLiteral("TestDevice;B;failrelease"));
    list.Append(QStringLiteral("TestDevice;C"));
    list.RunStarted();
    list.RunEnded();
    ReleaseTestDeviceList();
    EXPECT_EQ(TTestDevice::sHookCalls,
              (std::vector<QString>{"RunStarted A", "RunStarted B", "RunStarted C", "RunEnded A",
                                    "RunEnded B", "RunEnded C", "Released C", "Released B", "Released A"}));
    EXPECT_EQ(TTestDevice::siDestroyed, 3);
}

TEST_F(DeviceListTest, BaseCommandServesNoLines)
{
    TTestCmd cmd(&fOwner);
    TCommand& command = cmd; // as the loader reaches it
    try {
        command.Init(QStringLiteral("X"), QString());
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("10040A:0"));
    }
}

TEST_F(DeviceListTest, LogValueNameFollowsTheLabel)
{
    struct
    {
        const char* sDefinition;
        const char* sName;
    } const cases[] = {
        {"\"Supply voltage\"\u00A7U_SUPPLY;1", "U_SUPPLY"},
        {"\"Label \u00A7inside\";1", ""},
        {"\u00A7BARE;1", "BARE"},
        {"\"no column\";1", ""},
        {" \"a\" \"b\"\u00A7Col2 ;", "Col2"},
    };
    for (const auto& c : cases) {
        TTestCmd cmd(&fOwner);
        cmd.Init(QString::fromUtf8(c.sDefinition));
        EXPECT_EQ(cmd.LogValName().toStdString(), c.sName) << c.sDefinition;
    }
    EXPECT_TRUE(fWarnings.empty());
    TTestCmd again(&fOwner);
    again.Init(QStringLiteral("\"Again\"\u00A7U_SUPPLY"));
    EXPECT_EQ(again.LogValName(), QStringLiteral("U_SUPPLY"));
    ASSERT_EQ(fWarnings.size(), 1u);
    EXPECT_EQ(fWarnings[0], QStringLiteral("Log value \"U_SUPPLY\" not unique!"));
}

class TTestAnalyser : public TCmdAnalyser
{
public:
    using TCmdAnalyser::TCmdAnalyser;
    void Execute(const QString&) override {}
    QString MinOffset() const { return fsMinOffset; }
};

TEST_F(DeviceListTest, AnalyserLimitsFollowTheirVariables)
{
    TVariableManager& vars = TVariableManager::Instance();
    vars.SetValue(QStringLiteral("VAR"), 5.5);
    vars.SetValue(QStringLiteral("U"), 1.0);
    vars.SetValue(QStringLiteral("Count"), qint64(1));
    TTestAnalyser cmd(&fOwner);
    cmd.SetMinValue(QStringLiteral("VAR-2"));
    cmd.SetMaxValue(QStringLiteral(" -1.25 "));
    EXPECT_DOUBLE_EQ(cmd.MinValue(), 3.5);
    EXPECT_DOUBLE_EQ(cmd.MaxValue(), -1.25);
    vars.SetValue(QStringLiteral("VAR"), 10.0);
    EXPECT_DOUBLE_EQ(cmd.MinValue(), 8.0);

    cmd.SetMinValue(QStringLiteral("U2"));
    EXPECT_EQ(cmd.MinOffset(), QStringLiteral("U"));
    EXPECT_DOUBLE_EQ(cmd.MinValue(), 3.0);

    cmd.SetVariableName(QStringLiteral("VAR"));
    cmd.StoreResult(4.75);
    EXPECT_DOUBLE_EQ(vars.GetAsReal(QStringLiteral("VAR")), 4.75);

    struct
    {
        const char* sText;
        std::uint32_t dwId;
        int iValue;
    } const errors[] = {{"Count+1", 0x10050A, 0},
                        {"Missing", 0x10050A, 0},
                        {"1.2.3", 0x100514, 4},
                        {"VAR+x1", 0x100514, 0},
                        {"+", 0x100514, 2}};
    for (const auto& e : errors) {
        try {
            cmd.SetMaxValue(QString::fromUtf8(e.sText));
            ADD_FAILURE() << "no error for " << e.sText;
        } catch (const EMsg& error) {
            EXPECT_EQ(error.Id().Value, e.dwId) << e.sText;
            if (e.dwId == 0x100514 && e.iValue > 0) {
                EXPECT_EQ(error.Value(), e.iValue) << e.sText;
            }
        }
    }
    try {
        cmd.SetVariableName(QStringLiteral("Count"));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Id().Value, 0x10060Au);
        EXPECT_EQ(e.Text(), QStringLiteral("Variable \"Count\" is not defined or wrong type!"));
    }
}

} // namespace

namespace {

struct TCountingPart
{
    static std::unique_ptr<TCountingPart> CreateDefault()
    {
        ++siDefaults;
        return std::make_unique<TCountingPart>();
    }
    static inline int siDefaults = 0;
    int iValue = 0;
};

TEST(DeviceContextTest, DevicesGetTheInstalledContextAndItsParts)
{
    TTestDevice::Register();
    TTestDeviceContext context;
    SetTestContext(&context);
    TDevice* device = TestDeviceList().Append(QStringLiteral("TestDevice;Port1"));
    EXPECT_EQ(&device->Context(), &context);

    TCountingPart::siDefaults = 0;
    context.Part<TCountingPart>().iValue = 7;
    EXPECT_EQ(device->Context().Part<TCountingPart>().iValue, 7) << "one part per context, made once";
    EXPECT_EQ(TCountingPart::siDefaults, 1);
    auto fake = std::make_unique<TCountingPart>();
    fake->iValue = 42;
    context.SetPart(std::move(fake));
    EXPECT_EQ(context.Part<TCountingPart>().iValue, 42) << "a test's part replaces the default";

    ReleaseTestDeviceList();
    SetTestContext(nullptr);
    EXPECT_NE(&TestContext(), &context);
    TTestDevice::Unregister();
}

} // namespace
