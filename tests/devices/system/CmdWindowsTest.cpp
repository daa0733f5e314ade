// Windows and keys on a private X server (Xvfb) with a real client whose title the test sets, and
// the same functions without any display; the OpenTZD line.

#include "SysCommandFixture.h"
#include "TestContext.h"

#include "devices/system/CmdWindows.h"
#include "execution/DefinitionOpener.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

#include <vector>

// The X headers define short macro names (None, Status, ...): they come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace sys;

// Sets an environment variable for the test's lifetime and puts back what was there.
class TScopedEnv
{
public:
    TScopedEnv(const char* sName, const QByteArray& aValue, bool bSet = true)
        : fsName(sName), fbHad(qEnvironmentVariableIsSet(sName)), fOld(qgetenv(sName))
    {
        if (bSet)
            qputenv(sName, aValue);
        else
            qunsetenv(sName);
    }
    ~TScopedEnv()
    {
        if (fbHad)
            qputenv(fsName, fOld);
        else
            qunsetenv(fsName);
    }

private:
    const char* fsName;
    bool fbHad;
    QByteArray fOld;
};

// A private X server and one client window titled as the test says, which prints the keys it
// gets. Both end with the fixture.
class WindowsTest : public SysCommandFixture
{
protected:
    void SetUp() override
    {
        SysCommandFixture::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xev")).isEmpty())
            GTEST_SKIP() << "Xvfb and xev (packages xvfb, x11-utils) are needed";
        // A display number of this test program's own (Xvfb's -displayfd lets two servers that
        // start at the same moment report the same number); a number in use makes the server end,
        // and the next one is tried.
        for (int iAttempt = 0; iAttempt < 5 && fDisplay.isEmpty(); ++iAttempt) {
            const QByteArray display =
                ":" + QByteArray::number(1000 + (::getpid() + iAttempt * 7919) % 50000);
            fServer.setProcessChannelMode(QProcess::SeparateChannels);
            EndWithTestProgram(fServer);
            // -noreset: a server that resets when its last client goes (the probe, every look for a
            // window) drops the clients that connect meanwhile.
            fServer.start(QStringLiteral("Xvfb"),
                          {QString::fromLatin1(display), QStringLiteral("-noreset"),
                           QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                           QStringLiteral("0"), QStringLiteral("640x480x24")});
            ASSERT_TRUE(fServer.waitForStarted(5000));
            const auto Serves = [&] {
                QProcess probe;
                probe.start(QStringLiteral("xdpyinfo"),
                            {QStringLiteral("-display"), QString::fromLatin1(display)});
                return probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit &&
                       probe.exitCode() == 0;
            };
            RunEventsUntil([&] { return fServer.state() == QProcess::NotRunning || Serves(); }, 10000);
            if (fServer.state() == QProcess::Running && Serves())
                fDisplay = display;
            else if (fServer.state() != QProcess::NotRunning) {
                fServer.kill();
                fServer.waitForFinished(5000);
            }
        }
        ASSERT_FALSE(fDisplay.isEmpty()) << "no Xvfb display could be opened";
        fEnv = std::make_unique<TScopedEnv>("DISPLAY", fDisplay);
    }
    void TearDown() override
    {
        for (QProcess* process : {&fClient, &fServer}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        fEnv.reset();
        SysCommandFixture::TearDown();
    }

    // Opens the client window with that title and waits until it is mapped.
    void OpenWindow(const QString& sTitle)
    {
        fClient.start(QStringLiteral("xev"),
                      {QStringLiteral("-display"), QString::fromLatin1(fDisplay), QStringLiteral("-name"),
                       sTitle, QStringLiteral("-event"), QStringLiteral("keyboard")});
        ASSERT_TRUE(fClient.waitForStarted(5000));
        ASSERT_TRUE(RunEventsUntil(
            [&] {
                return Run(Make(QStringLiteral("ExistWindow"), QStringLiteral("\"x\";") + sTitle)) == crOk;
            },
            10000))
            << "the window did not appear on " << fDisplay.constData() << ": "
            << fClient.readAllStandardError().constData() << "; server state " << int(fServer.state())
            << ", exit " << fServer.exitCode() << ": " << fServer.readAllStandardError().constData();
    }
    // What the client printed so far.
    QString ClientOutput()
    {
        fsClientOutput += QString::fromLocal8Bit(fClient.readAllStandardOutput());
        return fsClientOutput;
    }

    QProcess fServer;
    QProcess fClient;
    QByteArray fDisplay;
    QString fsClientOutput;
    std::unique_ptr<TScopedEnv> fEnv;
};

// One test with one server: two X servers of concurrent tests have been seen to lose their
// clients' connections.
TEST_F(WindowsTest, FindsWindowsByTheirExactTitleAndSendsThemKeys)
{
    OpenWindow(QStringLiteral("Flash Tool"));
    struct
    {
        const char* sParameter;
        ECmdResult eResult;
    } const cases[] = {
        {"\"x\";Flash Tool", crOk},      {"\"x\";flash Tool", crFailed}, {"\"x\";Flash", crFailed},
        {"\"x\"; Flash Tool", crFailed}, {"\"x\";", crFailed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(Make(QStringLiteral("ExistWindow"), QString::fromUtf8(c.sParameter))), c.eResult)
            << c.sParameter;

    EXPECT_EQ(Run(Make(QStringLiteral("SendKey"), QStringLiteral("\"x\";13;Flash Tool;Monitored"))), crOk);
    EXPECT_TRUE(RunEventsUntil([&] {
        return ClientOutput().contains(QStringLiteral("(keysym 0xff0d, Return)"));
    })) << ClientOutput().toStdString();
    EXPECT_TRUE(ClientOutput().contains(QStringLiteral("synthetic YES")));
    // The low 8 bits of the code count: 0x141 is "A", the shifted level of the a key.
    EXPECT_EQ(Run(Make(QStringLiteral("SendKey"), QStringLiteral("\"x\";$141;Flash Tool;monitored"))), crOk);
    EXPECT_TRUE(RunEventsUntil([&] { return ClientOutput().contains(QStringLiteral("(keysym 0x41, A)")); }))
        << ClientOutput().toStdString();

    EXPECT_EQ(Run(Make(QStringLiteral("SendKey"), QStringLiteral("\"x\";13;flash tool;Monitored"))),
              crFailed);
    EXPECT_EQ(Run(Make(QStringLiteral("SendKey"), QStringLiteral("\"x\";13;flash tool"))), crDone);

    // Without a title the key is typed into the focused window.
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Flash Tool$"),
                       QStringLiteral("windowfocus"), QStringLiteral("--sync")});
    EXPECT_EQ(Run(Make(QStringLiteral("SendKey"), QStringLiteral("\"x\";$1B;;Monitored"))), crOk);
    EXPECT_TRUE(RunEventsUntil([&] {
        return ClientOutput().contains(QStringLiteral("(keysym 0xff1b, Escape)"));
    })) << ClientOutput().toStdString();
}

// Stands in for a window manager on a connection of the test's own: it records what is asked of
// the root window (minimise, activate) and, when told to, activates each newly shown window as
// window managers do. Its own window stands for the window that had the focus before.
class TFakeWindowManager
{
public:
    struct TRequest
    {
        QByteArray sType;
        Window window;
        long iValue;
    };

    explicit TFakeWindowManager(const QByteArray& aDisplay) : fDisplay(XOpenDisplay(aDisplay.constData()))
    {
        if (!fDisplay)
            return;
        fRoot = DefaultRootWindow(fDisplay);
        XSelectInput(fDisplay, fRoot, SubstructureNotifyMask);
        fOwn = XCreateSimpleWindow(fDisplay, fRoot, 0, 0, 10, 10, 0, 0, 0);
        SetActive(fOwn);
    }
    ~TFakeWindowManager()
    {
        if (fDisplay)
            XCloseDisplay(fDisplay);
    }
    TFakeWindowManager(const TFakeWindowManager&) = delete;
    TFakeWindowManager& operator=(const TFakeWindowManager&) = delete;

    bool Valid() const { return fDisplay != nullptr; }
    Window Own() const { return fOwn; }
    void ActivateNewWindows() { fbActivateNew = true; }

    // Takes the events that arrived so far.
    void Pump()
    {
        while (XPending(fDisplay)) {
            XEvent event{};
            XNextEvent(fDisplay, &event);
            if (event.type == MapNotify && fbActivateNew && event.xmap.window != fOwn)
                SetActive(event.xmap.window);
            if (event.type == ClientMessage) {
                char* pName = XGetAtomName(fDisplay, event.xclient.message_type);
                fRequests.push_back({QByteArray(pName), event.xclient.window, event.xclient.data.l[0]});
                XFree(pName);
            }
        }
    }
    // The first request of that type, after waiting for it up to iTimeoutMs.
    const TRequest* WaitForRequest(const char* sType, int iTimeoutMs = 10000)
    {
        const auto find = [&]() -> const TRequest* {
            for (const TRequest& request : fRequests)
                if (request.sType == sType)
                    return &request;
            return nullptr;
        };
        RunEventsUntil(
            [&] {
                Pump();
                return find() != nullptr;
            },
            iTimeoutMs);
        return find();
    }
    const std::vector<TRequest>& Requests() const { return fRequests; }
    QString Title(Window aWindow) const
    {
        char* pName = nullptr;
        if (!XFetchName(fDisplay, aWindow, &pName) || !pName)
            return {};
        const QString sTitle = QString::fromLocal8Bit(pName);
        XFree(pName);
        return sTitle;
    }

private:
    void SetActive(Window aWindow)
    {
        XChangeProperty(fDisplay, fRoot, XInternAtom(fDisplay, "_NET_ACTIVE_WINDOW", False), XA_WINDOW, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&aWindow), 1);
        XSync(fDisplay, False);
    }

    Display* fDisplay;
    Window fRoot = 0;
    Window fOwn = 0;
    bool fbActivateNew = false;
    std::vector<TRequest> fRequests;
};

// The window modes reach the first window of the started program, here shown by a program that a
// launcher script started (so the window's client is a child of the started process).
TEST_F(WindowsTest, WindowModesAreAppliedToTheFirstWindowOfTheProgram)
{
    TFakeWindowManager manager(fDisplay);
    ASSERT_TRUE(manager.Valid());
    TTestDir dir;
    const QString sTool =
        dir.Write(QStringLiteral("tool.sh"), "#!/bin/sh\nxev -name \"$1\" -event keyboard >/dev/null 2>&1\n");
    QFile::setPermissions(sTool, QFile::permissions(sTool) | QFileDevice::ExeOwner);
    const auto execute = [&](const char* sTitle, const char* sMode) {
        return Run(Make(
            QStringLiteral("Execute"),
            QStringLiteral("\"x\";%1;\"%2\";%3;-1").arg(sTool, QLatin1String(sTitle), QLatin1String(sMode))));
    };

    ASSERT_EQ(execute("Plain Tool", "Normal"), crOk);
    ASSERT_TRUE(RunEventsUntil(
        [&] { return Run(Make(QStringLiteral("ExistWindow"), QStringLiteral("\"x\";Plain Tool"))) == crOk; },
        10000));

    ASSERT_EQ(execute("Small Tool", "Minimized"), crOk);
    const TFakeWindowManager::TRequest* minimise = manager.WaitForRequest("WM_CHANGE_STATE");
    ASSERT_NE(minimise, nullptr) << "the window was not minimised";
    EXPECT_EQ(manager.Title(minimise->window), QStringLiteral("Small Tool"));
    EXPECT_EQ(minimise->iValue, IconicState);

    // The window manager activates the new window; it is asked to give the focus back.
    manager.ActivateNewWindows();
    ASSERT_EQ(execute("Quiet Tool", "NotActivated"), crOk);
    const TFakeWindowManager::TRequest* activate = manager.WaitForRequest("_NET_ACTIVE_WINDOW");
    ASSERT_NE(activate, nullptr) << "the focus was not handed back";
    EXPECT_EQ(activate->window, manager.Own());

    // Only those two requests: the normal window was left as it came.
    EXPECT_EQ(manager.Requests().size(), 2U);
}

TEST(WindowsHeadlessTest, WithoutDisplayWindowsAreNotFound)
{
    TMsgLog log;
    log.SetShowDebug(false);
    log.Attach();
    {
        const TScopedEnv noDisplay("DISPLAY", QByteArray(), false);
        TTestDeviceContext context;
        TDeviceSys sys(context);
        const auto run = [&sys](const QString& sFunction, const QString& sParameter) {
            TCommand* cmd = sys.Command(sFunction)->Init(sFunction, sParameter);
            ECmdResult eResult = crUnknown;
            cmd->SetOnResult([&eResult](TCommand* pSender) { eResult = pSender->CmdResult(); });
            cmd->Execute(QString());
            return eResult;
        };
        EXPECT_EQ(run(QStringLiteral("ExistWindow"), QStringLiteral("\"x\";Flash Tool")), crFailed);
        EXPECT_EQ(run(QStringLiteral("SendKey"), QStringLiteral("\"x\";13;Flash Tool;Monitored")), crFailed);
        EXPECT_EQ(run(QStringLiteral("SendKey"), QStringLiteral("\"x\";13;;Monitored")), crFailed);
        EXPECT_EQ(run(QStringLiteral("SendKey"), QStringLiteral("\"x\";13")), crDone);
        EXPECT_TRUE(
            LogHas(log, QStringLiteral("Windows cannot be reached: no X display (DISPLAY is not set)")));
    }
    log.Detach();
    TMsgClass::ReleaseSingleton();
}

// Records the hand-over instead of loading.
class TFakeOpener : public IDefinitionOpener
{
public:
    void InitNewDefFile(const QString& sFileName, bool bAutoStart) override
    {
        sFile = sFileName;
        bStart = bAutoStart;
        ++iCalls;
    }
    QString sFile;
    bool bStart = false;
    int iCalls = 0;
};

TEST_F(SysCommandFixture, OpenTzdHandsOverOrFails)
{
    TTestDir dir;
    const QString sNext = dir.Write(QStringLiteral("next.TZD"), "Device.Create(SystemControl; Sys)\r\n");
    const QString sLine = QStringLiteral("\"x\";\"") + sNext + QStringLiteral("\";");
    EXPECT_TRUE(InitError(QStringLiteral("OpenTZD"), sLine + QStringLiteral("Start"))
                    .startsWith(QStringLiteral("Invalid action \"Start\"!")));
    EXPECT_TRUE(InitError(QStringLiteral("OpenTZD"), QStringLiteral("\"x\";\"") +
                                                         dir.FilePath(QStringLiteral("none.TZD")) +
                                                         QStringLiteral("\";OpenOnly"))
                    .startsWith(QStringLiteral("File not found: ")));

    TFakeOpener opener;
    fContext.SetDefinitionOpener(&opener);
    TCommand* open = Make(QStringLiteral("OpenTZD"), sLine + QStringLiteral("autostart"));
    int iConclusions = 0;
    open->SetOnResult([&iConclusions](TCommand*) { ++iConclusions; });
    open->Execute(QString());
    EXPECT_EQ(opener.iCalls, 1);
    EXPECT_EQ(opener.sFile, sNext);
    EXPECT_TRUE(opener.bStart);
    EXPECT_EQ(iConclusions, 0) << "the step waits for its definition to be released";

    TCommand* gone = Make(QStringLiteral("OpenTZD"), sLine + QStringLiteral("OpenOnly"));
    QFile::remove(sNext);
    EXPECT_EQ(Run(gone), crFailed);
    EXPECT_EQ(opener.iCalls, 1);
    fContext.SetDefinitionOpener(nullptr);
}

} // namespace

namespace {

// The headless runner hands over to the named definition: the first run ends, the second one runs
// in a fresh session, and its result is the exit status.
TEST(OpenTzdRunTest, HeadlessRunGoesOnWithTheNextDefinition)
{
    TTestDir dir;
    const auto script = [&dir](const QString& sName, const QByteArray& aBody) {
        const QString sPath = dir.Write(sName, "#!/bin/sh\n" + aBody + "\n");
        QFile::setPermissions(sPath, QFile::permissions(sPath) | QFileDevice::ExeOwner);
    };
    script(QStringLiteral("mark.sh"), "echo \"$1\" >> marks.txt");
    const auto run = [&dir](const QString& sDefinition) {
        QFile::remove(dir.FilePath(QStringLiteral("marks.txt")));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), dir.Path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.FilePath(QStringLiteral(".config")));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(TZK_RUN_PATH),
                      {QStringLiteral("--operator"), QStringLiteral("ci"), sDefinition});
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << process.readAll().toStdString();
        return process.exitCode();
    };
    const auto marks = [&dir] { return ReadFileBytes(dir.FilePath(QStringLiteral("marks.txt"))); };
    dir.Write(QStringLiteral("second.TZD"), "Set(Integer; Passes)\r\n"
                                            "Device.Create(SystemControl; Sys)\r\n"
                                            "Test.Case(\"Second definition\")\r\n{\r\n"
                                            "Sys.Evaluate(\"Fresh variables\"; %Passes < 1)\r\n"
                                            "Sys.Execute(\"Mark\"; \"TZD:mark.sh\"; second; ; 10)\r\n"
                                            "}\r\n");
    dir.Write(QStringLiteral("failing.TZD"), "Device.Create(SystemControl; Sys)\r\n"
                                             "Test.Case(\"Failing definition\")\r\n{\r\n"
                                             "Sys.Execute(\"Mark\"; \"TZD:mark.sh\"; failing; ; 10)\r\n"
                                             "Sys.Evaluate(\"Never\"; 1 > 2)\r\n"
                                             "}\r\n");
    const auto first = [&dir](const char* sTarget, const char* sAction) {
        return dir.Write(QStringLiteral("first.TZD"),
                         QByteArray("Set(Integer; Passes)\r\n"
                                    "Device.Create(SystemControl; Sys)\r\n"
                                    "Test.Case(\"First definition\")\r\n{\r\n"
                                    "Sys.Calculate(\"Count\"; 1; Passes)\r\n"
                                    "Sys.OpenTZD(\"Hand over\"; \"TZD:") +
                             sTarget + "\"; " + sAction +
                             ")\r\n"
                             "Sys.Execute(\"Mark\"; \"TZD:mark.sh\"; first; ; 10)\r\n"
                             "}\r\n");
    };

    EXPECT_EQ(run(first("second.TZD", "AutoStart")), 0);
    EXPECT_EQ(marks(), QByteArray("second\n"));

    EXPECT_NE(run(first("failing.TZD", "autostart")), 0);
    EXPECT_EQ(marks(), QByteArray("failing\n"));

    // OpenOnly loads the next definition without running it.
    run(first("failing.TZD", "OpenOnly"));
    EXPECT_EQ(marks(), QByteArray());
}

} // namespace
