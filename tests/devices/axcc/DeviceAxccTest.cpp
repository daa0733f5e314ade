#include "devices/axcc/DeviceAxcc.h"
#include "TestContext.h"

#include "AxcsTestBus.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"

#include "FakeOperatorDialogs.h"
#include "TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <memory>

using namespace axcc;

namespace {

// The members of an interface in introspection XML: "method Name(in)(out)" or "signal Name(args)".
QStringList Members(const QString& sXml, const QString& sInterface)
{
    QStringList members;
    QXmlStreamReader xml(sXml);
    bool bInside = false;
    QString sMember, sIn, sOut;
    while (!xml.atEnd()) {
        xml.readNext();
        const auto attribute = [&xml](const char* sName) {
            return xml.attributes().value(QLatin1String(sName));
        };
        if (xml.isStartElement() && xml.name() == QLatin1String("interface"))
            bInside = attribute("name") == sInterface;
        else if (!bInside)
            continue;
        if (xml.isStartElement() && xml.name() == QLatin1String("arg")) {
            (attribute("direction") == QLatin1String("in") ? sIn : sOut) += attribute("type");
        } else if (xml.isStartElement() &&
                   (xml.name() == QLatin1String("method") || xml.name() == QLatin1String("signal"))) {
            sMember = attribute("name").toString();
            sIn.clear();
            sOut.clear();
        } else if (xml.isEndElement() &&
                   (xml.name() == QLatin1String("method") || xml.name() == QLatin1String("signal"))) {
            members.append(QStringLiteral("%1 %2(%3)(%4)").arg(xml.name(), sMember, sIn, sOut));
        }
    }
    members.sort();
    return members;
}

class DeviceAxccTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { fBus = std::make_unique<TAxcsTestBus>(); }
    static void TearDownTestSuite() { fBus.reset(); }

    void SetUp() override
    {
        ASSERT_FALSE(fBus->Address().isEmpty()) << fBus->Error().toStdString();
        axcc::RegisterDevices(TestDeviceTypes());
        fLog.SetShowTrace(true);
        fLog.SetShowDebug(true);
        fLog.Attach();
        fContext.SetDialogs(&fDialogs);
        SetTestContext(&fContext);
    }
    void TearDown() override
    {
        ReleaseTestDeviceList();
        fBus->StopServer();
        SetTestContext(nullptr);
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    // The device on the test bus, its server started. The default limit is generous: on a loaded
    // machine a bus round trip has been seen to take over a second; Run waits 5 s.
    TDeviceAxcc& Device(int iTimeout = 4000)
    {
        EXPECT_TRUE(fBus->StartServer()) << fBus->Error().toStdString();
        return Declare(QStringLiteral("AXCC; Axcs; %1; \"%2\"").arg(iTimeout).arg(fBus->Address()));
    }
    TDeviceAxcc& Declare(const QString& sDefinition)
    {
        fDevice = static_cast<TDeviceAxcc*>(TestDeviceList().Append(sDefinition));
        return *fDevice;
    }
    TCommand* Make(const QString& sFunction, const QString& sParameter)
    {
        return fDevice->Command(sFunction)->Init(sFunction, sParameter);
    }
    TCommand* Execute(const QString& sCall, const QString& sExpected, const QString& sVariable = QString())
    {
        return Make(QStringLiteral("Execute"),
                    QStringLiteral("\"step\";\"%1\";\"%2\"%3")
                        .arg(sCall, sExpected, sVariable.isEmpty() ? QString() : ";" + sVariable));
    }
    // Executes the command and waits for its conclusion.
    static ECmdResult Run(TCommand* aCommand, int iTimeoutMs = 5000)
    {
        bool bDone = false;
        aCommand->SetOnResult([&bDone](TCommand*) { bDone = true; });
        aCommand->Execute(QStringLiteral("1. step"));
        EXPECT_TRUE(RunEventsUntil([&] { return bDone; }, iTimeoutMs)) << "the step did not conclude";
        aCommand->SetOnResult(nullptr);
        return aCommand->CmdResult();
    }
    ECmdResult Open() { return Run(fDevice->Command(QStringLiteral("Open"))); }
    bool Logged(const QString& sText) const { return LogHas(fLog, sText); }
    bool LoggedContaining(const QString& sText) const
    {
        for (const TLogLine& line : fLog.Lines()) {
            if (line.sText.contains(sText))
                return true;
        }
        return false;
    }

    static inline std::unique_ptr<TAxcsTestBus> fBus;
    TMsgLog fLog;
    TFakeOperatorDialogs fDialogs;
    TTestDeviceContext fContext;
    TDeviceAxcc* fDevice = nullptr;
};

TEST_F(DeviceAxccTest, FunctionTableAndDeclaration)
{
    TDeviceAxcc& device = Declare(QStringLiteral("AXCC; Axcs; -3000"));
    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("AXCC"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
    EXPECT_EQ(sName, QStringLiteral("AXCC - Automation Exchange COM Client"));
    EXPECT_EQ(sVersion, QStringLiteral("V1.01.01"));
    EXPECT_EQ(device.FunctionNames(), QStringList({"Open", "Close", "Timeout", "Execute"}));
    EXPECT_EQ(Make(QStringLiteral("Open"), QString()), device.Command(QStringLiteral("Open")));
    EXPECT_NE(Execute(QStringLiteral("Echo"), QString()), Execute(QStringLiteral("Echo"), QString()));
    EXPECT_EQ(device.AxcsTimeout(), 3000);
    EXPECT_EQ(device.WatchdogInterval(), 5000) << "the server's limit and two seconds";
    EXPECT_TRUE(device.Bus().isEmpty()) << "the session bus by default";

    const EMsg unknown =
        RaisedMsg([&] { device.Command(QStringLiteral("Execute"))->Init(QStringLiteral("Run"), QString()); });
    EXPECT_EQ(unknown.Id().Value, 0x291114u);
    EXPECT_EQ(unknown.Text(), QStringLiteral("Unknown function \"Run\" found!"));

    TVariableManager::Instance().SetValue(QStringLiteral("Answer"), QStringLiteral(""));
    struct
    {
        const char* sFunction;
        const char* sParameter;
        const char* sError;
    } const cases[] = {
        {"Execute", "\"x\";\"Echo\"", "Number of parameters found: 2 < 3 needed parameters!"},
        {"Execute", "\"x\";\"Echo\";\"*\";Missing", "Variable \"Missing\" is not defined!\r\nID: 29210A:0"},
        {"Execute", "\"x\";\"Echo\";\"*\";Answer", ""},
        {"Timeout", "\"x\"", "Number of parameters found: 1 < 2 needed parameters!"},
        {"Timeout", "\"x\";soon", "'soon' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        QString sError;
        try {
            Make(QString::fromUtf8(c.sFunction), QString::fromUtf8(c.sParameter));
        } catch (const std::exception& e) {
            sError = ExceptionText(e);
        }
        EXPECT_EQ(sError.toStdString(), c.sError) << c.sFunction << "(" << c.sParameter << ")";
    }
    EXPECT_EQ(RaisedText([] { TestDeviceList().Append(QStringLiteral("AXCC; NoTimeout")); }),
              QStringLiteral("Number of parameters found: 2 < 3 needed parameters!"));
}

TEST_F(DeviceAxccTest, FunctionsConcludeAsTheServerAnswers)
{
    Device();
    TVariableManager::Instance().SetValue(QStringLiteral("Want"), QStringLiteral("DONE"));
    TVariableManager::Instance().SetValue(QStringLiteral("Answer"), QStringLiteral(""));
    TVariableManager::Instance().SetValue(QStringLiteral("Count"), std::int64_t(0));
    ASSERT_EQ(Open(), crOk);
    EXPECT_TRUE(Logged(QStringLiteral("Info: AXCC Server opened: AXCS stand-in server V1.0")));
    EXPECT_EQ(Open(), crOk) << "opening an open device only warns";
    EXPECT_TRUE(Logged(QStringLiteral("Warning: AXCC already open")));

    struct
    {
        const char* sCall;
        const char* sExpected;
        const char* sVariable;
        ECmdResult eResult;
        const char* sError;
    } const cases[] = {
        {"Echo PASS 12", "PASS*", "Answer", crOk, ""},
        {"Later 30 DONE", "%Want", "", crOk, ""},
        {"Later 0 done", "DONE", "", crFailed, "\"DONE\"<>\"done\""},
        {"Echo 12", "1?", "Count", crOk, ""},
        {"Echo twelve", "*", "Count", crFailed, "Update Count with \"twelve\" failed!"},
        {"Fail -7 Sensor broken", "*", "", crFailed, "Function error -7: Sensor broken!"},
        {"Fail -7", "*", "", crFailed, "Function error -7!"},
        {"Launch", "*", "", crFailed, "Function error -1: Unknown function \"Launch\"!"},
    };
    for (const auto& c : cases) {
        TCommand* pCommand = Execute(QString::fromUtf8(c.sCall), QString::fromUtf8(c.sExpected),
                                     QString::fromUtf8(c.sVariable));
        EXPECT_EQ(Run(pCommand), c.eResult) << c.sCall;
        EXPECT_EQ(pCommand->ErrorText().toStdString(), c.sError) << c.sCall;
    }
    EXPECT_EQ(TVariableManager::Instance().GetAsStr(QStringLiteral("Answer")), QStringLiteral("PASS 12"));
    EXPECT_EQ(TVariableManager::Instance().GetAsInt(QStringLiteral("Count")), 12);
    EXPECT_TRUE(Logged(QStringLiteral("Trace: AXCC call: Later 30 DONE")));
    EXPECT_TRUE(Logged(QStringLiteral("Debug: TDeviceAxcc.ExecFunction: Return code 1")));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Response Passed: Expected= \"DONE\" = \"DONE\"")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Response Failed: Expected= \"DONE\" <> \"done\"")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Response Failed: Invalid data type for variable Count")));

    EXPECT_EQ(Run(fDevice->Command(QStringLiteral("Close"))), crOk);
    TCommand* pClosed = Execute(QStringLiteral("Echo x"), QStringLiteral("x"));
    EXPECT_EQ(Run(pClosed), crFailed);
    EXPECT_EQ(pClosed->ErrorText(), QStringLiteral("AXCC error!"));
    EXPECT_TRUE(Logged(QStringLiteral("Error: AXCC error: AXCC not open!")));
}

TEST_F(DeviceAxccTest, ResultGoesToTheValueLogColumn)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    TCommand* pCommand =
        Make(QStringLiteral("Execute"), QStringLiteral("\"Read\"§Serial;\"Echo SN-42\";\"SN-*\""));
    EXPECT_EQ(pCommand->LogValName(), QStringLiteral("Serial"));
    EXPECT_EQ(Run(pCommand), crOk);
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("Serial")), QStringLiteral("SN-42"));
}

TEST_F(DeviceAxccTest, OpenFailsWithoutServerOrBus)
{
    // No server on the bus: the bus's own message names the missing name.
    Declare(QStringLiteral("AXCC; Axcs; 1000; \"%1\"").arg(fBus->Address()));
    TCommand* pOpen = fDevice->Command(QStringLiteral("Open"));
    EXPECT_EQ(Run(pOpen), crFailed);
    EXPECT_EQ(pOpen->ErrorText(), QStringLiteral("Cannot open AXCC!"));
    EXPECT_TRUE(LoggedContaining(QStringLiteral("Error: Cannot open AXCC: Error \"")));
    EXPECT_TRUE(LoggedContaining(QStringLiteral("org.tzk.Axcs")));
    EXPECT_FALSE(LoggedContaining(QStringLiteral("ID: 29010A"))) << "only the first line is logged";
    EXPECT_TRUE(LoggedContaining(QStringLiteral("Debug: AXCC open exception: ")));
    EXPECT_FALSE(fDevice->Connected());

    fLog.Clear();
    Declare(QStringLiteral("AXCC; NoBus; 1000; \"unix:path=/nonexistent/tzk-test-bus\""));
    EXPECT_EQ(Run(fDevice->Command(QStringLiteral("Open"))), crFailed);
    EXPECT_TRUE(LoggedContaining(QStringLiteral("Error: Cannot open AXCC: Error \"")));
}

TEST_F(DeviceAxccTest, TimeoutBeforeOpenFailsButAppliesAtOpen)
{
    Device(5000);
    TCommand* pTimeout = Make(QStringLiteral("Timeout"), QStringLiteral("\"limit\";-100"));
    EXPECT_EQ(Run(pTimeout), crFailed);
    EXPECT_EQ(pTimeout->ErrorText(), QStringLiteral("Cannot set timeout!"));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Missing open device to set timeout!")));
    EXPECT_EQ(fDevice->AxcsTimeout(), 100);
    EXPECT_EQ(fDevice->WatchdogInterval(), 2100);

    ASSERT_EQ(Open(), crOk);
    // The server's own limit of 100 ms ends the function long before its 3 s.
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Run(Execute(QStringLiteral("Later 3000 DONE"), QStringLiteral("Timeout"))), crOk);
    EXPECT_LT(timer.elapsed(), 2000);

    EXPECT_EQ(Run(Make(QStringLiteral("Timeout"), QStringLiteral("\"limit\";5000"))), crOk);
    EXPECT_EQ(Run(Execute(QStringLiteral("Later 200 DONE"), QStringLiteral("DONE"))), crOk);
}

TEST_F(DeviceAxccTest, WatchdogEndsAFunctionThatNeverAnswers)
{
    Device(50);
    ASSERT_EQ(Open(), crOk);
    TCommand* pHang = Execute(QStringLiteral("Hang"), QStringLiteral("*"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Run(pHang), crFailed);
    EXPECT_GE(timer.elapsed(), 2000);
    EXPECT_EQ(pHang->ErrorText(), QStringLiteral("Timeout!"));
    EXPECT_TRUE(Logged(QStringLiteral("Error: AXCC timeout event!")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: AXCC timeout!")));
    // The server was told to stop: it takes the next call instead of being busy.
    EXPECT_EQ(Run(Execute(QStringLiteral("Echo next"), QStringLiteral("next"))), crOk);
}

TEST_F(DeviceAxccTest, OperatorAnswersTheServersQuestions)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    struct
    {
        const char* sButtons;
        TDialogAnswer eAnswer;
        TDialogButtons eShown;
        const char* sResponse;
    } const cases[] = {
        {"OK,Cancel", TDialogAnswer::Ok, TDialogButtons::OkCancel, "AGREED"},
        {"OK,Cancel", TDialogAnswer::Cancel, TDialogButtons::OkCancel, "REJECTED"},
        {"Yes,No", TDialogAnswer::Yes, TDialogButtons::YesNo, "AGREED"},
        {"Yes,No", TDialogAnswer::No, TDialogButtons::YesNo, "REJECTED"},
        {"OK", TDialogAnswer::Ok, TDialogButtons::Ok, "AGREED"},
    };
    for (const auto& c : cases) {
        fDialogs.questions.clear();
        fDialogs.AnswerButton(c.eAnswer, 10);
        const QString sCall =
            QStringLiteral("Ask ShowMsgDlg:Text=Insert card;Button=[%1]").arg(QString::fromUtf8(c.sButtons));
        TCommand* pAsk = Execute(sCall, QString::fromUtf8(c.sResponse));
        EXPECT_EQ(Run(pAsk), crOk) << c.sButtons << ": " << pAsk->ErrorText().toStdString();
        ASSERT_EQ(fDialogs.questions.size(), 1u);
        EXPECT_EQ(fDialogs.questions[0].sCaption, QStringLiteral("Axcs"));
        EXPECT_EQ(fDialogs.questions[0].sText, QStringLiteral("Insert card"));
        EXPECT_EQ(fDialogs.questions[0].eButtons, c.eShown);
        EXPECT_TRUE(Logged(QStringLiteral("Trace: Response:") + QString::fromUtf8(c.sResponse)));
    }
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Notification:ShowMsgDlg:Text=Insert card;Button=[OK]")));
}

TEST_F(DeviceAxccTest, ResultWhileTheDialogIsOpenWithdrawsIt)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    // The operator would click OK only after 3 s; the function ends after 100 ms.
    fDialogs.AnswerButton(TDialogAnswer::Ok, 3000);
    TCommand* pAsk = Execute(QStringLiteral("AskLimited 100 ShowMsgDlg:Text=Confirm;Button=[OK]"),
                             QStringLiteral("Expired"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Run(pAsk), crOk) << pAsk->ErrorText().toStdString();
    EXPECT_TRUE(RunEventsUntil([this] { return Logged(QStringLiteral("Trace: Response:REJECTED")); }));
    EXPECT_LT(timer.elapsed(), 2500);
    EXPECT_EQ(fDialogs.iWithdrawn, 1);
}

TEST_F(DeviceAxccTest, RequestTheClientCannotServeCancelsTheFunction)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    struct
    {
        const char* sRequest;
        bool bAnswer; // whether the operator answers
        const char* sLog;
    } const cases[] = {
        {"Hello", true, "Error: AXCC fatal error in notification: Invalid request -1: Hello"},
        {"ShowMsgDlg:Text=Nobody there", false,
         "Error: AXCC fatal error in notification: Invalid request -2: ShowMsgDlg:Text=Nobody there"},
    };
    for (const auto& c : cases) {
        if (c.bAnswer)
            fDialogs.AnswerButton(TDialogAnswer::Ok);
        TCommand* pAsk = Execute(QStringLiteral("Ask ") + QString::fromUtf8(c.sRequest), QStringLiteral("*"));
        EXPECT_EQ(Run(pAsk), crFailed);
        EXPECT_EQ(pAsk->ErrorText(), QStringLiteral("AXCC fatal error!"));
        EXPECT_TRUE(Logged(QString::fromUtf8(c.sLog))) << c.sRequest;
        EXPECT_TRUE(Logged(QStringLiteral("Trace: AXCC result: Cancelled"))) << "the server cancelled it";
        fDialogs = TFakeOperatorDialogs();
    }
    EXPECT_TRUE(Logged(QStringLiteral("Error: No operator answer available")));
}

TEST_F(DeviceAxccTest, CancelStopsTheServersFunction)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    TCommand* pHang = Execute(QStringLiteral("Hang"), QStringLiteral("*"));
    bool bConcluded = false;
    pHang->SetOnResult([&bConcluded](TCommand*) { bConcluded = true; });
    pHang->Execute(QStringLiteral("1. step"));
    RunEventsUntil([] { return false; }, 100);
    // As the job does: unassign, then cancel.
    pHang->SetOnResult(nullptr);
    pHang->Cancel();
    EXPECT_EQ(pHang->CmdResult(), crCancelled);
    EXPECT_TRUE(Logged(QStringLiteral("Error: Cancelled by user!")));
    EXPECT_EQ(fDevice->OnResult(), nullptr);
    // The server's report of the cancelled function changes nothing, and the server is free again.
    EXPECT_EQ(Run(Execute(QStringLiteral("Echo again"), QStringLiteral("again"))), crOk);
    EXPECT_FALSE(bConcluded);
}

TEST_F(DeviceAxccTest, UnloadingWhileAFunctionRunsCancelsIt)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    fDialogs.AnswerButton(TDialogAnswer::Ok, 3000);
    TCommand* pAsk = Execute(QStringLiteral("Ask ShowMsgDlg:Text=Still there?"), QStringLiteral("*"));
    // The definition goes while the operator still looks at the question.
    QTimer::singleShot(200, [this] {
        EXPECT_EQ(fDialogs.questions.size(), 1u);
        ReleaseTestDeviceList();
    });
    pAsk->Execute(QStringLiteral("1. step"));
    EXPECT_TRUE(RunEventsUntil([this] { return fDialogs.iWithdrawn == 1; }));
    EXPECT_EQ(TestDeviceList().Count(), 0);
    EXPECT_TRUE(Logged(QStringLiteral("Error: Cancelled by user!")));
}

TEST_F(DeviceAxccTest, SecondExecuteWhileOneRunsIsRefused)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    TCommand* pFirst = Execute(QStringLiteral("Later 100 one"), QStringLiteral("one"));
    TCommand* pSecond = Execute(QStringLiteral("Echo two"), QStringLiteral("two"));
    bool bFirst = false;
    pFirst->SetOnResult([&bFirst](TCommand*) { bFirst = true; });
    pFirst->Execute(QStringLiteral("1. first"));
    EXPECT_EQ(Run(pSecond), crFailed);
    EXPECT_EQ(pSecond->ErrorText(),
              QStringLiteral("Command execution not finished last time!\r\nID: 29210A:0"));
    EXPECT_TRUE(RunEventsUntil([&bFirst] { return bFirst; }));
    EXPECT_EQ(pFirst->CmdResult(), crOk) << "the running call is not disturbed";
}

TEST_F(DeviceAxccTest, ServerLeavingWhileAFunctionRunsFailsItAtOnce)
{
    Device(30000);
    ASSERT_EQ(Open(), crOk);
    TCommand* pHang = Execute(QStringLiteral("Hang"), QStringLiteral("*"));
    bool bDone = false;
    pHang->SetOnResult([&bDone](TCommand*) { bDone = true; });
    pHang->Execute(QStringLiteral("1. step"));
    RunEventsUntil([] { return false; }, 100);
    QElapsedTimer timer;
    timer.start();
    fBus->KillServer();
    EXPECT_TRUE(RunEventsUntil([&bDone] { return bDone; }));
    EXPECT_LT(timer.elapsed(), 3000) << "not only after the watchdog";
    EXPECT_EQ(pHang->CmdResult(), crFailed);
    EXPECT_EQ(pHang->ErrorText(), QStringLiteral("AXCC server lost!"));
    EXPECT_TRUE(LoggedContaining(QStringLiteral("left the bus while a function ran")));
    EXPECT_FALSE(fDevice->Connected()) << "a new server needs a new Open";

    ASSERT_TRUE(fBus->StartServer());
    EXPECT_EQ(Run(Execute(QStringLiteral("Echo x"), QStringLiteral("x"))), crFailed);
    EXPECT_EQ(Open(), crOk);
    EXPECT_EQ(Run(Execute(QStringLiteral("Echo x"), QStringLiteral("x"))), crOk);
}

TEST_F(DeviceAxccTest, OnlyTheConnectedServerMayAskTheOperator)
{
    Device();
    ASSERT_EQ(Open(), crOk);
    TCommand* pHang = Execute(QStringLiteral("Hang"), QStringLiteral("*"));
    pHang->Execute(QStringLiteral("1. step"));

    // Another program on the bus asks every client it finds.
    QDBusConnection stranger = QDBusConnection::connectToBus(fBus->Address(), QStringLiteral("stranger"));
    ASSERT_TRUE(stranger.isConnected());
    int iDenied = 0;
    for (const QString& sName : stranger.interface()->registeredServiceNames().value()) {
        if (!sName.startsWith(QLatin1Char(':')) || sName == stranger.baseService())
            continue;
        QDBusMessage call =
            QDBusMessage::createMethodCall(sName, QStringLiteral("/org/tzk/AxccClient"),
                                           QStringLiteral("org.tzk.AxccClient"), QStringLiteral("Notify"));
        call << QStringLiteral("ShowMsgDlg:Text=Format the disk?;Button=[Yes,No]");
        QDBusPendingCallWatcher watcher(stranger.asyncCall(call, 5000));
        ASSERT_TRUE(RunEventsUntil([&watcher] { return watcher.isFinished(); }));
        if (watcher.reply().errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
            ++iDenied;
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("stranger"));
    EXPECT_EQ(iDenied, 1) << "the device's connection refuses";
    EXPECT_TRUE(fDialogs.questions.empty());
    pHang->Cancel();
}

// The interface as documented is the interface the stand-in server serves.
TEST_F(DeviceAxccTest, DocumentedInterfaceIsTheServedOne)
{
    QFile doc(QStringLiteral(TZK_AXCS_INTERFACE_XML));
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly));
    const QString sDocumented = QString::fromUtf8(doc.readAll());

    ASSERT_TRUE(fBus->StartServer());
    QDBusConnection probe = QDBusConnection::connectToBus(fBus->Address(), QStringLiteral("probe"));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.tzk.Axcs"), QStringLiteral("/org/tzk/Axcs"),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    QDBusPendingCallWatcher watcher(probe.asyncCall(call, 5000));
    ASSERT_TRUE(RunEventsUntil([&watcher] { return watcher.isFinished(); }));
    QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
    ASSERT_EQ(watcher.reply().type(), QDBusMessage::ReplyMessage)
        << watcher.reply().errorMessage().toStdString();
    const QString sServed = watcher.reply().arguments().value(0).toString();

    const QStringList documented = Members(sDocumented, QStringLiteral("org.tzk.Axcs"));
    EXPECT_EQ(documented.size(), 8);
    EXPECT_TRUE(documented.contains(QStringLiteral("method ExecuteFunction(s)(is)")));
    EXPECT_EQ(documented, Members(sServed, QStringLiteral("org.tzk.Axcs")));
    EXPECT_EQ(Members(sDocumented, QStringLiteral("org.tzk.AxccClient")),
              QStringList({QStringLiteral("method Notify(s)(s)")}));
}

} // namespace
