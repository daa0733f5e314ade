#include "PortTestFixture.h"

#include "devices/ports/CmdJson.h"
#include "devices/ports/DevicePortTcp.h"
#include "devices/ports/JsonValue.h"

#include "core/FormatSettings.h"

#include "DutSimulator.h"

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

TEST(JsonValueTest, NumbersAtTheirLimits)
{
    struct
    {
        const char* sJson;
        std::optional<std::int64_t> iInteger;
        std::optional<double> rFloat;
        const char* sText;
    } const cases[] = {
        {"9223372036854775807", INT64_MAX, 9223372036854775807.0, "9223372036854775807"},
        {"-9223372036854775808", INT64_MIN, -9223372036854775808.0, "-9223372036854775808"},
        // Beyond 64 bits a number is no integer, but still a number.
        {"18446744073709551616", std::nullopt, 18446744073709551616.0, "18446744073709552000"},
        {"1e3", 1000, 1000.0, "1000"},
        {"-0.5", std::nullopt, -0.5, "-0.5"},
        {R"("9223372036854775807")", INT64_MAX, 9223372036854775807.0, "9223372036854775807"},
        {R"(" 12 ")", 12, 12.0, " 12 "},
        {R"("1e3")", std::nullopt, 1000.0, "1e3"},
        {R"("nan")", std::nullopt, std::nullopt, "nan"},
        {R"("12 V")", std::nullopt, std::nullopt, "12 V"},
        {"true", std::nullopt, std::nullopt, "true"},
        {"null", std::nullopt, std::nullopt, ""},
        {"[1]", std::nullopt, std::nullopt, "-"},
    };
    for (const auto& c : cases) {
        const auto value = TJsonValue::Parse(QString::fromUtf8(c.sJson));
        ASSERT_TRUE(value) << c.sJson;
        EXPECT_EQ(value->ToInteger(), c.iInteger) << c.sJson;
        EXPECT_EQ(value->ToFloat(), c.rFloat) << c.sJson;
        const auto text = value->ToText();
        EXPECT_EQ(text ? text->toStdString() : std::string("-"), c.sText) << c.sJson;
    }
    // The text conversions stop at a NUL character: a string holding one is no number, or
    // "12\u0000 V" would read as 12.
    for (const char* sJson : {R"("12\u0000 V")", R"("1\u0000")", R"("1.5\u0000")"}) {
        const auto withNul = TJsonValue::Parse(QString::fromUtf8(sJson));
        ASSERT_TRUE(withNul) << sJson;
        EXPECT_FALSE(withNul->ToInteger()) << sJson;
        EXPECT_FALSE(withNul->ToFloat()) << sJson;
    }
    // A root array is reached by index; nesting too deep for the parser is invalid, not a crash.
    EXPECT_EQ(
        TJsonValue::Parse(QStringLiteral(R"([{"a":[5]}])"))->Find(QStringLiteral("[0].a[0]"))->ToInteger(),
        5);
    EXPECT_FALSE(TJsonValue::Parse(QString(100000, QLatin1Char('[')) + QString(100000, QLatin1Char(']'))));
}

class JsonCommandTest : public FakePortTest
{
protected:
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
        // Failures without a comparison name their cause as the step's error text too.
        {"name:*", R"({"other":1})", crFailed, "Response \"name\" no found!",
         "Error: Response \"name\" no found!"},
        {"count:InRange(a..5)", R"({"count":3})", crFailed,
         "Invalid range definition: \"InRange(a..5)\" - 'a' is not a valid floating point value!", ""},
        {"v:InRange(0..1e39)", R"({"v":3})", crFailed,
         "Invalid range definition: \"InRange(0..1e39)\" - '1e39' is out of range!", ""},
        {"nested:*", R"({"nested":{"a":1}})", crFailed, "Response \"nested\" no found!", ""},
        {"ok:InRange(0..1)", R"({"ok":true})", crFailed, "Invalid number in \"ok\"", ""},
        {"gone:InRange(0..1)", R"({"ok":true})", crFailed, "Invalid number in \"gone\"", ""},
        // Blanks before ":" belong to the path.
        {R"(state :"ready")", R"({"state":"ready"})", crFailed, "Response \"state \" no found!", ""},
        // Numbers, literals and null are texts for a pattern.
        {R"(temp:"23.5", flag:true, none:*, big:9007199254740993)",
         R"({"temp":23.5,"flag":true,"none":null,"big":9007199254740993})", crOk, "", ""},
        // A quoted term may hold "," and a doubled quote.
        {R"("say:a,""b""")", R"({"say":"a,\"b\""})", crOk, "", ""},
        // A 64-bit integer is compared exactly with the bounds, not rounded onto one.
        {"big:InRange(0..9007199254740992)", R"({"big":9007199254740993})", crFailed,
         "big: 0 <= 9.007E015 <= 9.00719925474099E015", ""},
        {"big:InRange(0..9007199254740992)", R"({"big":9007199254740992})", crOk, "", ""},
        // JSON is UTF-8; a response that is not UTF-8 is read one character per byte.
        {"unit:\"\u00B0C\"",
         "{\"unit\":\"\xC2\xB0"
         "C\"}",
         crOk, "", ""},
        {"unit:\"\u00B0C\"",
         "{\"unit\":\"\xB0"
         "C\"}",
         crOk, "", ""},
        {"unit:\"\u00B0C\"", R"({"unit":"\u00b0C"})", crOk, "", ""},
        {"unit:\"?C\"",
         "{\"unit\":\"\xC2\xB0"
         "C\"}",
         crOk, "", ""},
        {"v:InRange(0..20)", R"({"v":"12\u0000 V"})", crFailed, "Invalid number in \"v\"", ""},
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

TEST_F(JsonCommandTest, LogValueOfTheLastExaminedTerm)
{
    struct
    {
        const char* sTerms;
        const char* sResponse;
        const char* sLogValue;
        bool bCountExamined;
    } const cases[] = {
        {R"(state:"ready", count:InRange(1..5))", R"({"state":"ready","count":3})", "3", true},
        // The first failing term ends the checks: the count is not looked at.
        {R"(state:"ready", count:InRange(1..5))", R"({"state":"busy","count":3})", "busy", false},
        {"v:InRange(0.5..1.5)", R"({"v":"1.25"})", "1.25", false},
        {"v:InRange(0..1)", R"({"v":0.5})", "0.5", false},
        {"", R"({"any":1})", "Empty String", false},
    };
    int iLine = 0;
    for (const auto& c : cases) {
        const QString sColumn = QStringLiteral("Json%1").arg(++iLine);
        fPort->OnWrite = [&](const QByteArray&) { fPort->FeedLater({QByteArray(c.sResponse) + "\n"}, 1); };
        const int iCountLines = LoggedCount(QStringLiteral("Response \"count\" passed: 1 <= 3 <= 5"));
        Run(Line("SendJson",
                 QStringLiteral("\"j\"§%1;{};;\\n;%2").arg(sColumn, QString::fromUtf8(c.sTerms))));
        EXPECT_EQ(TValueLog::Instance().Value(sColumn).toStdString(), c.sLogValue) << c.sTerms << c.sResponse;
        EXPECT_EQ(LoggedCount(QStringLiteral("Response \"count\" passed: 1 <= 3 <= 5")) - iCountLines,
                  c.bCountExamined ? 1 : 0)
            << c.sTerms << c.sResponse;
    }

    // Numbers of range terms are written with the application's decimal separator; a bound with
    // a decimal comma needs its term in quotes, because "," separates the terms.
    TFormatSettings::App().cDecimalSeparator = QLatin1Char(',');
    fPort->OnWrite = [&](const QByteArray&) {
        fPort->FeedLater({R"({"v":"1.25"})"
                          "\n"},
                         1);
    };
    TCommand* comma = Line("SendJson", R"x("j"§Comma;{};;\n;"v:InRange(0,5..1,5)")x");
    EXPECT_EQ(Run(comma), crOk) << comma->ErrorText().toStdString();
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("Comma")), QStringLiteral("1,25"));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Response \"v\" passed: 0,5 <= 1,25 <= 1,5")));
    TFormatSettings::ResetApp();
}

TEST_F(JsonCommandTest, TimeoutPortErrorBusyAndCancel)
{
    // Nothing arrives: the response time runs out.
    TCommand* silent = Line("WaitForJson", R"("w";;\n;a:*)");
    EXPECT_EQ(Run(silent), crFailed);
    EXPECT_EQ(silent->ErrorText(), QStringLiteral("Timeout!"));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Timeout at port \"%1\"!").arg(fPort->PortId())));

    // While one waits, the other JSON functions are refused with their own identifiers.
    TCommand* waiting = Line("WaitForJson", R"("w";;\n;a:*)");
    Start(waiting);
    Idle(20);
    EXPECT_EQ(Conclusions(waiting), 0);
    TCommand* send = Line("SendJson", R"("j";{};;\n;a:*)");
    EXPECT_EQ(Run(send), crFailed);
    EXPECT_EQ(send->ErrorText(), QStringLiteral("Command execution not finished last time!\r\nID: 20260A:0"));
    TCommand* wait = Line("WaitForJson", R"("w";;\n;a:*)");
    EXPECT_EQ(Run(wait), crFailed);
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("Command execution not finished last time!\r\nID: 20280A:0"));
    EXPECT_EQ(Conclusions(waiting), 0) << "the refused steps leave the waiting one alone";

    // A cancel frees the port without concluding; what arrives later reaches the next step.
    fPort->Feed("{\"a\":");
    waiting->Cancel();
    EXPECT_EQ(waiting->CmdResult(), crCancelled);
    EXPECT_FALSE(fPort->Busy());
    EXPECT_TRUE(fPort->RxData().isEmpty());
    Idle(400);
    EXPECT_EQ(Conclusions(waiting), 0);
    fPort->Feed("{\"a\":\"x\"}\n");
    EXPECT_EQ(Run(wait), crOk);

    // A channel error while waiting concludes with the port's text.
    TCommand* broken = Line("SendJson", R"("j";{};;\n;a:*)");
    Start(broken);
    fPort->InjectError(QStringLiteral("Line broken!"));
    ASSERT_TRUE(WaitConcluded(broken));
    EXPECT_EQ(broken->CmdResult(), crFailed);
    EXPECT_EQ(broken->ErrorText(), QStringLiteral("Line broken!"));

    // The error stays the port's until the next send: a wait after it fails at once.
    EXPECT_EQ(Run(wait), crFailed);
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("Line broken!"));

    // A port that is not open fails the send at once.
    fPort->Close();
    TCommand* closed = Line("SendJson", R"("j";{};;\n;a:*)");
    Start(closed);
    EXPECT_EQ(Conclusions(closed), 1);
    EXPECT_EQ(closed->ErrorText(), QStringLiteral("Port is not open!"));
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

// The JSON functions against a simulated device under test over a real TCP connection.
class JsonTcpTest : public PortTest
{
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        fuPort = fSim.ListenTcp();
        ASSERT_NE(fuPort, 0);
        fTcp = &Device<TDevicePortTcp>(QStringLiteral("TCP.Client; Dut; 1000; 127.0.0.1:%1").arg(fuPort));
        ASSERT_EQ(Run(Make(*fTcp, "Open", "\"o\"")), crOk);
    }
    TCommand* Line(const QString& sFunction, const QString& sParameter)
    {
        return Make(*fTcp, sFunction, sParameter);
    }

    TDutSimulator fSim;
    quint16 fuPort = 0;
    TDevicePortTcp* fTcp = nullptr;
};

TEST_F(JsonTcpTest, FramedResponsesInChunks)
{
    // The status arrives in three reads; the line feed closes it. A report follows in the same
    // answer and waits in the receive buffer for WaitForJson.
    fSim.AddRule({"{\"get\":\"status\"}\n",
                  {R"({"state":"ready","temp":)", R"(23.5,"unit":{"sn":"A1234","ch":[1,2,3]}})",
                   "\n{\"event\":\"report\",\"count\":9007199254740993}\n"},
                  20,
                  false});
    TVariableManager::Instance().SetValue(QStringLiteral("sSerial"), QStringLiteral(""));
    TVariableManager::Instance().SetValue(QStringLiteral("sCount"), QStringLiteral(""));
    TCommand* status =
        Line("SendJson", R"("s";{"get":"status"}\0A;;\0A;state:"ready", temp:InRange(20..30), )"
                         R"(unit.ch[2]:InRange(3..3), unit.sn:"A*";sSerial)");
    EXPECT_EQ(Run(status), crOk) << status->ErrorText().toStdString();
    EXPECT_EQ(fSim.Received(), QByteArray("{\"get\":\"status\"}\n"));
    EXPECT_EQ(TVariableManager::Instance().GetAsStr(QStringLiteral("sSerial")), QStringLiteral("A1234"));
    EXPECT_TRUE(Logged("Info: Response \"temp\" passed: 20 <= 23.5 <= 30"));

    TCommand* report = Line("WaitForJson", R"("r";;\0A;event:"report", count:*;sCount)");
    ASSERT_TRUE(RunEventsUntil([&] { return fTcp->RxData().endsWith('\n'); }));
    EXPECT_EQ(Run(report), crOk) << report->ErrorText().toStdString();
    EXPECT_EQ(TVariableManager::Instance().GetAsStr(QStringLiteral("sCount")),
              QStringLiteral("9007199254740993"))
        << "a 64-bit integer arrives exactly";
}

TEST_F(JsonTcpTest, TaggedFrameAfterNoise)
{
    fSim.AddRule({"GET\n", {"boot noise\x02{\"v\":", "\"1.25\"}\x03"}, 20, false});
    TCommand* value = Line("SendJson", R"("v";GET\0A;\02;\03;v:InRange(1.2..1.3))");
    EXPECT_EQ(Run(value), crOk) << value->ErrorText().toStdString();
    EXPECT_TRUE(fTcp->RxData().isEmpty()) << "the frame and the noise before it are consumed";
}

TEST_F(JsonTcpTest, OpenFramingFailsOnTheFirstIncompleteChunk)
{
    // Without an end tag every read is a whole response: the first half is no valid JSON, and the
    // step fails at once instead of waiting for the rest.
    fSim.AddRule({"GET\n", {R"({"state":)", R"("ready"})"}, 200, false});
    TCommand* get = Line("SendJson", R"("g";GET\0A;;;state:"ready")");
    EXPECT_EQ(Run(get), crFailed);
    EXPECT_EQ(get->ErrorText(), QStringLiteral("No valid JSON response!")) << "not the timeout";
    EXPECT_TRUE(Logged(R"(Error: No valid JSON response: "{"state":"!)"));
}

TEST_F(JsonTcpTest, EscapedTextOutUtf8In)
{
    // "\\" writes the backslash of a JSON escape; the device answers in UTF-8.
    fSim.AddRule({"{\"unit\":\"\\u00B0C\"}\n",
                  {"{\"unit\":\"\xC2\xB0"
                   "C\"}\n"},
                  0,
                  false});
    TCommand* unit = Line("SendJson", QStringLiteral(R"("u";{"unit":"\\u00B0C"}\0A;;\0A;unit:"°C")"));
    EXPECT_EQ(Run(unit), crOk) << unit->ErrorText().toStdString();
    EXPECT_EQ(fSim.Received(), QByteArray(R"({"unit":"\u00B0C"})"
                                          "\n"));
}

} // namespace
