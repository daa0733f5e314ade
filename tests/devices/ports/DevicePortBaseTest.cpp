#include "PortTestFixture.h"

#include <QElapsedTimer>

using namespace ports;

namespace {

class DevicePortBaseTest : public FakePortTest
{};

QByteArray B(const char* s)
{
    return QByteArray(s);
}

TEST_F(DevicePortBaseTest, FunctionTableAndFactory)
{
    const QStringList functions = fPort->FunctionNames();
    EXPECT_EQ(functions, QStringList({"Open", "Close", "Timeout", "Monitor.Initialize", "Instruct", "Send",
                                      "WaitForResponse", "Evaluate.Value", "SendJson", "WaitForJson"}));
    // Every Open line runs the same object; every data line gets its own.
    EXPECT_EQ(Line("Open", "\"a\""), Line("Open", "\"b\""));
    EXPECT_NE(Line("Send", "\"a\";x;;;OK"), Line("Send", "\"b\";x;;;OK"));
    const EMsg unknown = RaisedMsg([&] { fPort->Command("Send")->Init("Receive", ";x"); });
    EXPECT_EQ(unknown.Text(), QStringLiteral("Unknown function \"Receive\" found!"));
    EXPECT_EQ(unknown.Id().Value, 0x201114u);
    EXPECT_EQ(RaisedMsg([&] { fPort->Command("Send")->Execute(QString()); }).MsgNo(),
              QStringLiteral("20120A:0"));
}

TEST_F(DevicePortBaseTest, LoadErrors)
{
    TVariableManager::Instance().SetValue(QStringLiteral("sAnswer"), QStringLiteral(""));
    TVariableManager::Instance().SetValue(QStringLiteral("rValue"), 0.0);
    struct
    {
        const char* sFunction;
        const char* sParameter;
        const char* sError;
    } const cases[] = {
        {"Send", "\"s\";abc;;", "Invalid csv index 4 to list count 4!"},
        {"Send", "\"s\";abc;;;OK;sNothing", "Variable \"sNothing\" is not defined!\r\nID: 20210A:0"},
        {"Send", "\"s\";abc;;;OK;sAnswer", "no error"},
        {"Send", "\"s\";\\XYZ;;;OK", "Unknown tag in string \"\\XYZ\"!"},
        {"WaitForResponse", "\"w\";;", "Number of parameters found: 3 < 4 needed parameters!"},
        {"WaitForResponse", "\"w\";;;OK;sNothing", "Variable \"sNothing\" is not defined!\r\nID: 20230A:0"},
        {"WaitForResponse", "\"w\";\\STX;\\ETX;NoResponse", "no error"},
        {"Evaluate.Value", "\"e\";V?;;;1", "Invalid csv index 5 to list count 5!"},
        {"Evaluate.Value", "\"e\";V?;;;1;2;sAnswer",
         "Variable \"sAnswer\" is not defined or wrong type!\r\nID: 10060A:0"},
        {"Evaluate.Value", "\"e\";V?;;;1;2;rValue", "no error"},
        {"Timeout", "\"t\";fast", "'fast' is not a valid integer value"},
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
}

// GetRxDataEx on chunks fed one after the other: what each extraction returns and what stays.
TEST_F(DevicePortBaseTest, Framing)
{
    struct
    {
        const char* sCase;
        QByteArray start, end;
        std::vector<QByteArray> chunks; // one extraction after each chunk
        std::vector<QByteArray> results;
        QByteArray rest;
    } const cases[] = {
        {"open framing returns the buffer and keeps it", "", "", {"ab", "c"}, {"ab", "abc"}, "abc"},
        {"start and end tag",
         "\x02",
         "\x03",
         {"xx\x02"
          "abc\x02"
          "def\x03"},
         {"def"},
         ""},
        {"text after the end tag stays", "<", ">", {"<a>rest"}, {"a"}, "rest"},
        {"garbage before the start tag is dropped", "<<", ">", {"garbage<"}, {""}, "e<"},
        {"a start tag split across chunks", "<<", ">", {"junk<", "<val>"}, {"", "val"}, ""},
        {"an end tag split across chunks", "", "\r\n", {"OK\r", "\nnext"}, {"", "OK"}, "next"},
        {"an incomplete frame waits", "<", ">", {"<abc"}, {""}, "<abc"},
        {"an empty frame is consumed as no response", "<", ">", {"<>"}, {""}, ""},
        {"only an end tag", "", ";", {"a;b;"}, {"a"}, "b;"},
        {"only a start tag takes the rest", "=", "", {"V=12"}, {"12"}, "V=12"},
    };
    for (const auto& c : cases) {
        fPort->ClearRxData();
        std::vector<QByteArray> results;
        for (const QByteArray& chunk : c.chunks) {
            fPort->Feed(chunk);
            results.push_back(fPort->GetRxDataEx(c.start, c.end));
        }
        EXPECT_EQ(results, c.results) << c.sCase;
        EXPECT_EQ(fPort->RxData(), c.rest) << c.sCase;
    }
}

TEST_F(DevicePortBaseTest, SendConcludesOnTheResponse)
{
    struct
    {
        const char* sCase;
        const char* sLine;
        std::vector<QByteArray> chunks;
        ECmdResult eResult;
        int iChunksUsed; // the conclusion comes with this chunk (0: with the timer)
        const char* sError;
    } const cases[] = {
        {"open framing passes on the second chunk", ";Q;;;OK", {"O", "K"}, crOk, 2, ""},
        {"a longer response fails at once",
         ";Q;;;OK",
         {"OK\r\n", "x"},
         crFailed,
         1,
         "\"OK\"<>\"OK\\0D\\0A\""},
        {"a wildcard waits until it matches", ";Q;;;V=*V", {"V=1", "2", "V"}, crOk, 3, ""},
        {"a wildcard that never matches times out", ";Q;;;V=*V", {"V=1", "2"}, crFailed, 0, "Timeout!"},
        {"a tagged frame fails at once",
         ";Q;\\STX;\\ETX;A?",
         {"\x02"
          "B1\x03",
          "\x02"
          "A1\x03"},
         crFailed,
         1,
         "\"A?\"<>\"B1\""},
        {"the last start tag counts",
         ";Q;\\STX;\\ETX;def",
         {"xx\x02"
          "abc\x02",
          "def\x03"},
         crOk,
         2,
         ""},
        {"an empty frame is no response", ";Q;<;>;A", {"<>"}, crFailed, 0, "Timeout!"},
        {"a split end tag", ";Q;;\\r\\n;OK", {"OK\r", "\n"}, crOk, 2, ""},
    };
    for (const auto& c : cases) {
        fPort->written.clear();
        TCommand* cmd = Line("Send", QString::fromUtf8(c.sLine));
        Start(cmd);
        EXPECT_EQ(fPort->written, std::vector<QByteArray>{B("Q")}) << c.sCase;
        int iUsed = 0;
        for (const QByteArray& chunk : c.chunks) {
            if (Conclusions(cmd) > 0)
                break;
            fPort->Feed(chunk);
            ++iUsed;
        }
        if (Conclusions(cmd) == 0)
            iUsed = 0;
        ASSERT_TRUE(WaitConcluded(cmd)) << c.sCase;
        EXPECT_EQ(cmd->CmdResult(), c.eResult) << c.sCase;
        EXPECT_EQ(iUsed, c.iChunksUsed) << c.sCase;
        EXPECT_EQ(cmd->ErrorText().toStdString(), c.sError) << c.sCase;
        EXPECT_EQ(Conclusions(cmd), 1) << c.sCase;
        EXPECT_FALSE(fPort->Busy()) << c.sCase;
        EXPECT_FALSE(fPort->IsTimeoutTimerEnable()) << c.sCase;
    }
    EXPECT_TRUE(Logged("Response Passed: Expected= \"OK\" = \"OK\""));
    EXPECT_TRUE(Logged("Error: Response Failed: Expected= \"OK\" <> \"OK\\0D\\0A\""));
    EXPECT_TRUE(Logged("Response received \"V=1\" wait for expected \"V=*V\""));
    EXPECT_TRUE(Logged("Error: Timeout at port \"FAKE\"!"));
}

TEST_F(DevicePortBaseTest, SendWithoutExpectationAndEmptyData)
{
    TCommand* plain = Line("Send", "\"p\";Hello\\r;;;");
    EXPECT_EQ(Run(plain), crDone);
    EXPECT_EQ(fPort->written.back(), B("Hello\r"));
    EXPECT_FALSE(fPort->IsTimeoutTimerEnable()) << "a send without expectation starts no timer";

    // No data but an expectation: nothing is written, the port waits for data only.
    TCommand* waitOnly = Line("Send", "\"w\";;;;OK");
    const size_t iWritten = fPort->written.size();
    Start(waitOnly);
    EXPECT_EQ(fPort->written.size(), iWritten);
    EXPECT_TRUE(Logged("FAKE: No command wait for data only"));
    EXPECT_TRUE(fPort->IsTimeoutTimerEnable());
    fPort->Feed("OK");
    EXPECT_EQ(waitOnly->CmdResult(), crOk);

    // Variables go into the data when it is sent and into the expectation when data arrives.
    TVariableManager::Instance().SetValue(QStringLiteral("iCh"), 3);
    TCommand* withVars = Line("Send", "\"v\";CH%iCh;;;CH%iCh=ON");
    Start(withVars);
    EXPECT_EQ(fPort->written.back(), B("CH3"));
    TVariableManager::Instance().SetValue(QStringLiteral("iCh"), 4);
    fPort->Feed("CH4=ON");
    EXPECT_EQ(withVars->CmdResult(), crOk);

    // A character above 255 cannot be sent.
    TVariableManager::Instance().SetValue(QStringLiteral("sWide"), QString(QChar(0x20AC)));
    TCommand* wide = Line("Send", "\"x\";ab%sWide;;;OK");
    EXPECT_EQ(Run(wide), crFailed);
    EXPECT_EQ(wide->ErrorText(),
              QString("Invalid char at position 3 in string \"ab") + QChar(0x20AC) + "\"\r\nID: 200100:-3");
    EXPECT_FALSE(fPort->Busy());
}

TEST_F(DevicePortBaseTest, NoResponse)
{
    TCommand* quiet = Line("Send", "\"q\";Q;;;NoResponse");
    Start(quiet);
    Idle(100);
    EXPECT_EQ(Conclusions(quiet), 0) << "silence passes only after the whole timeout";
    ASSERT_TRUE(WaitConcluded(quiet));
    EXPECT_EQ(quiet->CmdResult(), crOk);
    EXPECT_TRUE(Logged("No response expected = No response received"));

    TVariableManager::Instance().SetValue(QStringLiteral("sGot"), QStringLiteral(""));
    TCommand* talked = Line("Send", "\"t\";Q;;;noresponse;sGot");
    Start(talked);
    fPort->Feed("ERR");
    EXPECT_EQ(talked->CmdResult(), crFailed);
    EXPECT_EQ(talked->ErrorText(), QStringLiteral("No response <> \"ERR\""));
    EXPECT_EQ(TVariableManager::Instance().GetAsStr(QStringLiteral("sGot")), QStringLiteral("ERR"));
    EXPECT_TRUE(fPort->RxData().isEmpty());

    // The same word between quotes is an ordinary expectation.
    TCommand* quoted = Line("Send", "\"n\";Q;;;\"NoResponse\"");
    Start(quoted);
    fPort->Feed("NoResponse");
    EXPECT_EQ(quoted->CmdResult(), crOk);
}

TEST_F(DevicePortBaseTest, WaitForResponseUsesWhatIsAlreadyThere)
{
    fPort->Feed("<early>");
    TCommand* wait = Line("WaitForResponse", "\"w\";<;>;early");
    Start(wait);
    EXPECT_EQ(wait->CmdResult(), crOk) << "evaluated at once";
    EXPECT_TRUE(fPort->written.empty());

    TCommand* later = Line("WaitForResponse", "\"l\";<;>;late");
    Start(later);
    EXPECT_EQ(Conclusions(later), 0);
    fPort->FeedLater({"<la", "te>"}, 10);
    ASSERT_TRUE(WaitConcluded(later));
    EXPECT_EQ(later->CmdResult(), crOk);
}

TEST_F(DevicePortBaseTest, TimerSemantics)
{
    // A timeout of 0 never fires: only data or a cancel ends the wait.
    TCommand* timeout0 = Line("Timeout", "\"t\";0");
    EXPECT_EQ(Run(timeout0), crDone);
    TCommand* wait = Line("Send", "\"s\";Q;;;OK");
    Start(wait);
    Idle(50);
    EXPECT_EQ(Conclusions(wait), 0);
    EXPECT_TRUE(fPort->IsTimeoutTimerEnable());
    fPort->Feed("OK");
    EXPECT_EQ(wait->CmdResult(), crOk);

    // The absolute value is taken, and applies to later waits.
    EXPECT_EQ(Run(Line("Timeout", "\"t\";-40")), crDone);
    EXPECT_EQ(fPort->TimerInterval(), 40);
    // Open framing leaves the "OK" of the wait before in the buffer, so this one waits for a frame.
    TCommand* timed = Line("WaitForResponse", "\"w\";<;>;OK");
    EXPECT_EQ(Run(timed), crFailed);
    EXPECT_EQ(timed->ErrorText(), QStringLiteral("Timeout!"));
    EXPECT_TRUE(Logged("Timer event at port \"FAKE\""));
}

TEST_F(DevicePortBaseTest, ReleasingTheDevicesConcludesTheWaitingCommandOnce)
{
    const struct
    {
        const char* sFunction;
        const char* sParameter;
    } cases[] = {
        {"Send", "\"s\";A;;;OK"}, {"WaitForResponse", "\"w\";;;OK"}, {"Evaluate.Value", "\"v\";V?;;;1;2"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sFunction);
        TCommand* cmd = Line(c.sFunction, c.sParameter);
        int iConclusions = 0;
        ECmdResult eResult = crUnknown;
        cmd->SetOnResult([&](TCommand* aSender) {
            ++iConclusions;
            eResult = aSender->CmdResult();
        });
        cmd->Execute(QString());
        ASSERT_TRUE(fPort->Busy());
        TestDeviceList().Clear();
        EXPECT_EQ(iConclusions, 1);
        EXPECT_EQ(eResult, crCancelled);
        // The response time (300 ms) runs out with nobody left to reach.
        EXPECT_FALSE(RunEventsUntil([&iConclusions] { return iConclusions > 1; }, 500));
        fPort = &Device<TFakePort>(QStringLiteral("FakePort; Port1; 300"));
        fPort->Open();
    }
}

TEST_F(DevicePortBaseTest, BusyPortAndCancel)
{
    TCommand* first = Line("Send", "\"1\";A;;;OK");
    TCommand* second = Line("Send", "\"2\";B;;;OK");
    TCommand* wait = Line("WaitForResponse", "\"3\";;;OK");
    TCommand* value = Line("Evaluate.Value", "\"4\";V?;;;1;2");
    Start(first);
    EXPECT_EQ(Run(second), crFailed);
    EXPECT_EQ(second->ErrorText(),
              QStringLiteral("Command execution not finished last time!\r\nID: 20220A:0"));
    EXPECT_EQ(Run(wait), crFailed);
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("Command execution not finished last time!\r\nID: 20240A:0"));
    EXPECT_EQ(Run(value), crFailed);
    EXPECT_EQ(value->ErrorText(),
              QStringLiteral("Command execution not finished last time!\r\nID: 20320A:0"));
    EXPECT_EQ(fPort->written, std::vector<QByteArray>{B("A")}) << "the refused commands sent nothing";

    // The waiting one is untouched by the refusals, and a cancel makes the port idle.
    EXPECT_TRUE(fPort->Busy());
    EXPECT_TRUE(fPort->IsTimeoutTimerEnable());
    fPort->Feed("O");
    first->Cancel();
    EXPECT_EQ(first->CmdResult(), crCancelled);
    EXPECT_EQ(Conclusions(first), 0) << "a cancel does not conclude";
    EXPECT_FALSE(fPort->Busy());
    EXPECT_FALSE(fPort->IsTimeoutTimerEnable());
    EXPECT_TRUE(fPort->RxData().isEmpty());
    fPort->Feed("K");
    EXPECT_EQ(Conclusions(first), 0);

    Start(value);
    value->Cancel();
    EXPECT_EQ(value->CmdResult(), crCancelled);
    EXPECT_FALSE(fPort->Busy());
    fPort->Feed("1.5");
    EXPECT_EQ(Conclusions(value), 0);
    EXPECT_EQ(Run(second), crFailed) << "Timeout after the cancel: the port takes commands again";
    EXPECT_EQ(second->ErrorText(), QStringLiteral("Timeout!"));
}

TEST_F(DevicePortBaseTest, PortErrorsAndTheTimerAfterThem)
{
    TCommand* wait = Line("Send", "\"s\";Q;;;OK");
    Start(wait);
    fPort->InjectError(QStringLiteral("FAKE error: 5!"));
    EXPECT_EQ(Conclusions(wait), 0) << "the error concludes from the timer";
    ASSERT_TRUE(WaitConcluded(wait, 1000));
    EXPECT_EQ(wait->CmdResult(), crFailed);
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("FAKE error: 5!"));
    EXPECT_TRUE(Logged("Error: FAKE error: 5!"));

    // A wait without a send sees the stale error of the port at once.
    TCommand* stale = Line("WaitForResponse", "\"w\";;;OK");
    Start(stale);
    EXPECT_EQ(stale->CmdResult(), crFailed);
    EXPECT_EQ(stale->ErrorText(), QStringLiteral("FAKE error: 5!"));

    // The next send clears the error and gets the configured response time again.
    EXPECT_EQ(fPort->TimerInterval(), 300);
    TCommand* next = Line("Send", "\"n\";Q;;;OK");
    Start(next);
    Idle(60);
    EXPECT_EQ(Conclusions(next), 0) << "no leftover 1 ms interval";
    fPort->Feed("OK");
    EXPECT_EQ(next->CmdResult(), crOk);
}

TEST_F(DevicePortBaseTest, ClosedPortAndOpenClose)
{
    TCommand* close = Line("Close", "\"c\"");
    EXPECT_EQ(Run(close), crOk);
    for (const char* sLine : {"\"a\";Q;;;OK", "\"b\";Q;;;"}) {
        TCommand* send = Line("Send", sLine);
        EXPECT_EQ(Run(send), crFailed) << sLine;
        EXPECT_EQ(send->ErrorText(), QStringLiteral("Port is not open!")) << sLine;
    }
    EXPECT_FALSE(fPort->Busy());

    fPort->bFailOpen = true;
    TCommand* open = Line("Open", "\"o\"");
    EXPECT_EQ(Run(open), crFailed);
    EXPECT_EQ(open->ErrorText(), QStringLiteral("Cannot open port!"));
    EXPECT_TRUE(Logged("Error: Cannot open port \"FAKE\"!"));
    EXPECT_TRUE(Logged("the fake port refuses to open"));
    fPort->bFailOpen = false;
    EXPECT_EQ(Run(open), crOk);

    TCommand* instruct = Line("Instruct", "\"i\";10.0.0.1:80");
    EXPECT_EQ(Run(instruct), crFailed);
    EXPECT_EQ(instruct->ErrorText(), QStringLiteral("Instructions not supported!"));
}

TEST_F(DevicePortBaseTest, ResponseIntoVariable)
{
    TVariableManager::Instance().SetValue(QStringLiteral("iCount"), 0);
    TCommand* number = Line("Send", "\"n\";N?;<;>;*;iCount");
    Start(number);
    fPort->Feed("<42>");
    EXPECT_EQ(number->CmdResult(), crOk);
    EXPECT_EQ(TVariableManager::Instance().GetAsInt(QStringLiteral("iCount")), 42);

    TCommand* text = Line("Send", "\"t\";N?;<;>;*;iCount");
    Start(text);
    fPort->Feed("<many>");
    EXPECT_EQ(text->CmdResult(), crFailed);
    EXPECT_EQ(text->ErrorText(), QStringLiteral("Update iCount with \"many\" failed!"));
    EXPECT_TRUE(Logged("Response Failed: Invalid data type for variable iCount"));
}

TEST_F(DevicePortBaseTest, EvaluateValue)
{
    TVariableManager::Instance().SetValue(QStringLiteral("rU"), 0.0);
    TVariableManager::Instance().SetValue(QStringLiteral("rRef"), 12.0);
    struct
    {
        QByteArray response;
        ECmdResult eResult;
        const char* sError;
        double rStored; // -1: not stored
    } const cases[] = {
        {" 12.5", crOk, "", 12.5},
        {"12", crOk, "", 12},
        {"13.5", crFailed, "12 <= 13.5 <= 13", 13.5},
        {"12,5", crFailed, "Inv. Rsp: \"12,5\"", -1},
        {"12.5 V", crFailed, "Inv. Rsp: \"12.5 V\"", -1},
    };
    for (const auto& c : cases) {
        TVariableManager::Instance().SetValue(QStringLiteral("rU"), -1.0);
        TCommand* cmd = Line("Evaluate.Value", "\"e\";U?;=;\\r;rRef;rRef+1;rU");
        Start(cmd);
        EXPECT_EQ(fPort->written.back(), B("U?"));
        fPort->Feed("U=" + c.response + "\r");
        EXPECT_EQ(cmd->CmdResult(), c.eResult) << c.response.constData();
        EXPECT_EQ(cmd->ErrorText().toStdString(), c.sError) << c.response.constData();
        EXPECT_DOUBLE_EQ(TVariableManager::Instance().GetAsReal(QStringLiteral("rU")), c.rStored);
        // The number and its limits for the result database; a text that is no number has none.
        ASSERT_EQ(cmd->Measurement().has_value(), c.rStored >= 0) << c.response.constData();
        if (cmd->Measurement()) {
            EXPECT_DOUBLE_EQ(cmd->Measurement()->rValue, c.rStored);
            EXPECT_DOUBLE_EQ(cmd->Measurement()->rLow, 12.0);
            EXPECT_DOUBLE_EQ(cmd->Measurement()->rHigh, 13.0);
        }
        EXPECT_TRUE(fPort->RxData().isEmpty());
    }
    EXPECT_TRUE(Logged("Response Passed: 12 <= 12.5 <= 13"));
    EXPECT_TRUE(Logged("Error: Response Failed: 12 <= 13.5 <= 13!"));
    EXPECT_TRUE(Logged("Error: Invalid response: \"12,5\""));

    TCommand* silent = Line("Evaluate.Value", "\"s\";U?;;;1;2");
    EXPECT_EQ(Run(silent), crFailed);
    EXPECT_EQ(silent->ErrorText(), QStringLiteral("Timeout!"));
}

TEST_F(DevicePortBaseTest, DisplayFormAndTraces)
{
    // The blank after ";" and the blank before every byte make two before the first byte.
    EXPECT_EQ(TDevicePortBase::DisplayForm(QByteArray("A\x02\\\xFF", 4)),
              QStringLiteral("\"A\\02\\5C\xFF\";  41 02 5C FF"));
    TCommand* send = Line("Send", "\"s\";\\STXgo;;;");
    EXPECT_EQ(Run(send), crDone);
    EXPECT_TRUE(Logged("Trace: FAKE: >\"\\02go\";  02 67 6F"));
    fPort->Feed("ok\r");
    EXPECT_TRUE(Logged("Trace: FAKE: <\"ok\\0D\";  6F 6B 0D"));
}

TEST_F(DevicePortBaseTest, DumpsOfLongBlocksShowTheirHeadAndTheRest)
{
    struct
    {
        int iSize;
        const char* sRest;
    } const cases[] = {
        {0, ""},
        {ciDumpHeadBytes, ""},
        {ciDumpHeadBytes + 1, " ... (+1 bytes)"},
        {4 * 1024 * 1024, " ... (+4193792 bytes)"},
    };
    for (const auto& c : cases) {
        const QByteArray data(c.iSize, 'a');
        const QString sForm = TDevicePortBase::DisplayForm(data);
        const int iShown = std::min(c.iSize, ciDumpHeadBytes);
        EXPECT_EQ(sForm, QLatin1Char('"') + QString(iShown, QLatin1Char('a')) + QStringLiteral("\"; ") +
                             QStringLiteral(" 61").repeated(iShown) + QLatin1String(c.sRest))
            << c.iSize;
    }

    // A long response in the step's messages: its head and the count of the rest.
    TCommand* wait = Line("WaitForResponse", "\"w\";;\\0A;short");
    Start(wait);
    fPort->Feed(QByteArray(3000, 'b') + "\n");
    EXPECT_EQ(wait->CmdResult(), crFailed);
    const QString sShown = QString(ciDumpHeadBytes, QLatin1Char('b')) + QStringLiteral(" ... (+2488 bytes)");
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("\"short\"<>\"") + sShown + QLatin1Char('"'));
    EXPECT_TRUE(Logged("Error: Response Failed: Expected= \"short\" <> \"" + sShown + "\""));
    EXPECT_TRUE(Logged("Debug: DevicePortBase TCmdData.Conclusion: \"" + sShown + "\""));
    for (const auto& line : fLog.Lines())
        EXPECT_LT(line.sText.size(), 4 * ciDumpHeadBytes + 200) << line.sText.left(80).toStdString();
}

TEST_F(DevicePortBaseTest, ResponseTimeoutNeverConcludesEarly)
{
    for (const int iTimeout : {40, 170, 333}) {
        EXPECT_EQ(Run(Line("Timeout", QStringLiteral("\"t\";%1").arg(iTimeout))), crDone);
        TCommand* wait = Line("WaitForResponse", "\"w\";<;>;OK");
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(Run(wait), crFailed);
        EXPECT_GE(clock.elapsed(), iTimeout);
        EXPECT_EQ(wait->ErrorText(), QStringLiteral("Timeout!"));
    }
}

TEST_F(DevicePortBaseTest, ReceiveBufferIsBounded)
{
    const QByteArray chunk(64 * 1024, 'x');
    for (int i = 0; i < 20; ++i)
        fPort->Feed(chunk);
    fPort->Feed("tail");
    EXPECT_EQ(fPort->RxData().size(), TDevicePortBase::ciRxDataLimit);
    EXPECT_TRUE(fPort->RxData().endsWith("tail")) << "the oldest bytes go";
    EXPECT_EQ(LoggedCount("more than 1048576 bytes received without a response, oldest bytes dropped"), 1);
}

TEST_F(DevicePortBaseTest, MonitorInitialize)
{
    TCommand* bad = Line("Monitor.Initialize", "\"m\";TCP;127.0.0.1;9000");
    EXPECT_EQ(Run(bad), crFailed);
    EXPECT_EQ(bad->ErrorText(), QStringLiteral("Invalid configuration!"));
    EXPECT_TRUE(Logged("Error: Unknown monitor type \"TCP\"!"));
    TCommand* udp = Line("Monitor.Initialize", "\"m\";udp;127.0.0.1;9000");
    EXPECT_EQ(Run(udp), crOk);
    EXPECT_NE(fPort->Monitor(), nullptr);
    EXPECT_EQ(Run(udp), crDone);
    EXPECT_TRUE(Logged("Port monitor already initialized!"));

    // What the monitor injects goes out through the port.
    fPort->Monitor()->OnInject(QStringLiteral("PING"));
    EXPECT_EQ(fPort->written.back(), B("PING"));
}

} // namespace
