#include "PortTestFixture.h"

#include "devices/ports/CmdJson.h"
#include "devices/ports/JsonValue.h"

using namespace ports;

namespace {

TEST(JsonValueTest, PathsAndConversions)
{
    const auto parsed = TJsonValue::Parse(QStringLiteral(
        R"({"state":"ready","count":3,"big":9007199254740993,"v":"1.25","f":0.5,"ok":true,"none":null,
            "nested":{"items":["a","b",{"deep":[10,20]}]}})"));
    ASSERT_TRUE(parsed);
    struct
    {
        const char* sPath;
        const char* sText; // "-" for no text
    } const cases[] = {
        {"state", "ready"},
        {"count", "3"},
        {"big", "9007199254740993"},
        {"v", "1.25"},
        {"f", "0.5"},
        {"ok", "true"},
        {"none", ""},
        {"nested.items[1]", "b"},
        {"nested.items[2].deep[1]", "20"},
        {"nested", "-"},
        {"nested.items", "-"},
        {"missing", "-"},
        {"nested.items[3]", "-"},
        {"state.x", "-"},
        {"nested.items[x]", "-"},
    };
    for (const auto& c : cases) {
        const auto value = parsed->Find(QString::fromUtf8(c.sPath));
        const auto text = value ? value->ToText() : std::nullopt;
        EXPECT_EQ(text ? text->toStdString() : std::string("-"), c.sText) << c.sPath;
    }
    EXPECT_EQ(parsed->Find(QStringLiteral("big"))->ToInteger(), std::int64_t(9007199254740993LL))
        << "64-bit integers stay exact";
    EXPECT_EQ(parsed->Find(QStringLiteral("v"))->ToFloat(), 1.25) << "a numeric string is a number";
    EXPECT_FALSE(parsed->Find(QStringLiteral("v"))->ToInteger());
    EXPECT_FALSE(parsed->Find(QStringLiteral("f"))->ToInteger());
    EXPECT_FALSE(parsed->Find(QStringLiteral("state"))->ToFloat());

    for (const char* sBad : {"{\"a\":1", "{\"a\":1}}", "", "1,2", "{a:1}"})
        EXPECT_FALSE(TJsonValue::Parse(QString::fromUtf8(sBad))) << sBad;
    EXPECT_TRUE(TJsonValue::Parse(QStringLiteral(" 42 ")));
}

class JsonCommandTest : public PortTest
{
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        fPort = &Device<TFakePort>(QStringLiteral("FakePort; Port1; 300"));
        fPort->Open();
    }
    TCommand* Line(const QString& sFunction, const QString& sParameter)
    {
        return Make(*fPort, sFunction, sParameter);
    }
    // Sends with the terms, answers with aResponse; the result, error text and log value.
    struct TOutcome
    {
        ECmdResult eResult;
        QString sError;
    };
    TOutcome Exchange(const QString& sTerms, const QByteArray& aResponse)
    {
        fPort->OnWrite = [&](const QByteArray&) { fPort->FeedLater({aResponse}, 1); };
        TCommand* cmd = Line(QStringLiteral("SendJson"), QStringLiteral("\"j\";{\"get\":1};;\\n;") + sTerms);
        const ECmdResult eResult = Run(cmd);
        return {eResult, cmd->ErrorText()};
    }

    TFakePort* fPort = nullptr;
};

TEST_F(JsonCommandTest, TermsAreCheckedInOrder)
{
    struct
    {
        const char* sTerms;
        const char* sResponse;
        ECmdResult eResult;
        const char* sError;
        const char* sLogged;
    } const cases[] = {
        {R"(state:"ready", count:InRange(1..5))", R"({"state":"ready","count":3})", crOk, "",
         "Info: Response \"count\" passed: 1 <= 3 <= 5"},
        {R"(state:"ready", count:InRange(1..5))", R"({"state":"busy","count":3})", crFailed,
         "state: \"ready\"<>\"busy\"", "Error: Response \"state\" failed: Expected= \"ready\" <> \"busy\"!"},
        {"v:InRange(0.5..1.5)", R"({"v":"1.25"})", crOk, "",
         "Info: Response \"v\" passed: 0.5 <= 1.25 <= 1.5"},
        // The single-precision lower bound lies just above 0.1, as the message shows.
        {"v:InRange(0.1..0.3)", R"({"v":0.1})", crFailed, "v: 0.100000001490116 <= 0.1 <= 0.300000011920929",
         "Error: Response \"v\" failed: 0.100000001490116 <= 0.1 <= 0.300000011920929!"},
        {R"(time:"12:30")", R"({"time":"12:30"})", crFailed, "time: \"12=30\"<>\"12:30\"", ""},
        {R"(time:"12?30")", R"({"time":"12:30"})", crOk, "", ""},
        {R"(nested.items[1]:"b")", R"({"nested":{"items":["a","b"]}})", crOk, "", ""},
        {"", R"({"any":1})", crOk, "", ""},
        {"count:InRange(1..5)", R"({"count":"many"})", crFailed, "Invalid number in \"count\"",
         "Error: Response \"count\" failed: Invalid number!"},
        {"name:*", R"({"other":1})", crFailed, "", "Error: Response \"name\" no found!"},
        {"count:InRange(a..5)", R"({"count":3})", crFailed, "", ""},
        {"state:ready", R"({"state":"ready")", crFailed, "No valid JSON response!",
         "Error: No valid JSON response: \"{\"state\":\"ready\"\"!"},
    };
    for (const auto& c : cases) {
        const TOutcome outcome = Exchange(QString::fromUtf8(c.sTerms), QByteArray(c.sResponse) + "\n");
        EXPECT_EQ(outcome.eResult, c.eResult) << c.sTerms << " / " << c.sResponse;
        EXPECT_EQ(outcome.sError.toStdString(), c.sError) << c.sTerms << " / " << c.sResponse;
        if (*c.sLogged) {
            EXPECT_TRUE(Logged(QString::fromUtf8(c.sLogged))) << c.sLogged;
        }
    }
    EXPECT_TRUE(LoggedContaining("Invalid range definition: \"InRange(a..5)\""));
}

TEST_F(JsonCommandTest, LastValueIsLoggedAndStored)
{
    TVariableManager::Instance().SetValue(QStringLiteral("sState"), QStringLiteral(""));
    TVariableManager::Instance().SetValue(QStringLiteral("iCount"), 0);
    fPort->OnWrite = [&](const QByteArray&) {
        fPort->FeedLater({R"({"state":"busy","count":3})"
                          "\n"},
                         1);
    };
    TCommand* first = Line("SendJson", R"("j";{"get":1};;\n;state:"ready", count:InRange(1..5);sState)");
    EXPECT_EQ(Run(first), crFailed);
    EXPECT_EQ(TVariableManager::Instance().GetAsStr(QStringLiteral("sState")), QStringLiteral("busy"))
        << "the value of the term that failed";
    EXPECT_EQ(fPort->written.back(), QByteArray(R"({"get":1})"));

    TCommand* wrongType = Line("SendJson", R"("j";{"get":1};;\n;state:*;iCount)");
    EXPECT_EQ(Run(wrongType), crFailed);
    EXPECT_EQ(wrongType->ErrorText(), QStringLiteral("Update iCount with \"busy\" failed!"));

    // WaitForJson takes a response that is already there.
    fPort->OnWrite = nullptr;
    fPort->Feed(R"({"count":4})"
                "\n");
    TCommand* wait = Line("WaitForJson", R"("w";;\n;count:InRange(1..5);iCount)");
    EXPECT_EQ(Run(wait), crOk);
    EXPECT_EQ(TVariableManager::Instance().GetAsInt(QStringLiteral("iCount")), 4);

    // Incomplete JSON fails at once instead of waiting for more.
    TCommand* chunked = Line("WaitForJson", R"("w";;;count:*)");
    fPort->FeedLater({R"({"count":)", "4}"}, 1);
    EXPECT_EQ(Run(chunked), crFailed);
    EXPECT_EQ(chunked->ErrorText(), QStringLiteral("No valid JSON response!"));
}

TEST_F(JsonCommandTest, LoadErrors)
{
    struct
    {
        const char* sFunction;
        const char* sParameter;
        const char* sError;
    } const cases[] = {
        {"SendJson", R"("j";{};;\n;a:1,)", "Invalid key value term: «»!"},
        {"SendJson", R"("j";{};;\n;a)", "Invalid key value term: «a»!"},
        {"SendJson", R"("j";{};;\n;a:1;sNothing)", "Variable \"sNothing\" is not defined!\r\nID: 20250A:0"},
        {"WaitForJson", R"("w";;\n;a:1;sNothing)", "Variable \"sNothing\" is not defined!\r\nID: 20270A:0"},
        {"WaitForJson", R"("w";;\n)", "Invalid csv index 3 to list count 3!"},
        {"SendJson", R"("j";{};;\n;a:1, "b,c:x")", "no error"},
    };
    for (const auto& c : cases) {
        QString sError = QStringLiteral("no error");
        try {
            Line(QString::fromUtf8(c.sFunction), QString::fromUtf8(c.sParameter));
        } catch (const std::exception& e) {
            sError = ExceptionText(e);
        }
        EXPECT_EQ(sError.toStdString(), c.sError) << c.sFunction << "(" << c.sParameter << ")";
    }
    auto* quoted = dynamic_cast<TCmdDataSendJson*>(Line("SendJson", R"("j";{};;\n;a:1, "b,c:x")"));
    ASSERT_NE(quoted, nullptr);
    ASSERT_EQ(quoted->ExpectedResponse().size(), 2U);
    EXPECT_EQ(quoted->ExpectedResponse()[1].first, QStringLiteral("b,c"));
    EXPECT_EQ(quoted->ExpectedResponse()[1].second, QStringLiteral("x"));
}

} // namespace
