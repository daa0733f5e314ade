#include "execution/CmdParameters.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class CmdParametersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TVariableManager& vars = TVariableManager::Instance();
        vars.SetValue(QStringLiteral("Count"), 0);
        vars.SetValue(QStringLiteral("Volts"), 0.0);
    }
    void TearDown() override
    {
        TVariableManager::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }
};

TEST_F(CmdParametersTest, FieldsCountTheLastOne)
{
    const TCommaSeparatedValue csv = ParameterFields(QStringLiteral("\"Label\"; 5 ; \"a;b\""));
    ASSERT_EQ(csv.ValueCount(), 3);
    EXPECT_EQ(csv.GetStringTrimmed(2), QStringLiteral("a;b"));
    EXPECT_NO_THROW(RequireFieldCount(csv, 3));
    try {
        RequireFieldCount(csv, 4);
        FAIL() << "no error";
    } catch (const EError& e) {
        EXPECT_EQ(ExceptionText(e), QStringLiteral("Number of parameters found: 3 < 4 needed parameters!"));
    }
}

TEST_F(CmdParametersTest, VariableChecks)
{
    EXPECT_NO_THROW(RequireVariable(TVariableManager::Instance(), QStringLiteral("Count"), 0x11930A));
    EXPECT_NO_THROW(
        RequireVariableOfType(TVariableManager::Instance(), QStringLiteral("Volts"), ectIsFloat, 0x10060A));

    EMsg e =
        RaisedMsg([] { RequireVariable(TVariableManager::Instance(), QStringLiteral("Missing"), 0x11930A); });
    EXPECT_EQ(e.Id().Value, 0x11930Au);
    EXPECT_EQ(e.Text(), QStringLiteral("Variable \"Missing\" is not defined!"));

    e = RaisedMsg([] {
        RequireVariableOfType(TVariableManager::Instance(), QStringLiteral("Count"), ectIsFloat, 0x10060A);
    });
    EXPECT_EQ(e.Id().Value, 0x10060Au);
    EXPECT_EQ(e.Text(), QStringLiteral("Variable \"Count\" is not defined or wrong type!"));

    // Without an identifier the error is a plain one, not a message error.
    try {
        RequireVariable(TVariableManager::Instance(), QStringLiteral("Missing"));
        FAIL() << "no error";
    } catch (const EMsg&) {
        FAIL() << "a message error";
    } catch (const EError& plain) {
        EXPECT_EQ(ExceptionText(plain), QStringLiteral("Variable \"Missing\" is not defined!"));
    }
}

} // namespace
