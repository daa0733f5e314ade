#include "PulseTestServer.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

TPulseTestServer::TPulseTestServer(const QList<TSink>& aSinks)
{
    const QString sProgram = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (sProgram.isEmpty() || !fDir.isValid()) {
        fsError = QStringLiteral("pulseaudio is not installed (scripts/setup installs it)");
        return;
    }
    const QString sRuntime = fDir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(sRuntime);
    QFile::setPermissions(sRuntime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString sSocket = fDir.filePath(QStringLiteral("native"));

    // The server runs in per-user mode in the foreground as our child, whoever we are: as root it
    // only warns ("not intended to be run as root") as long as --system is not given. Its own HOME,
    // runtime and state folders keep it apart from any desktop or system server and from its
    // cookie; -n skips the default script (no hardware, no D-Bus, no autospawned modules), and the
    // socket accepts clients without a cookie. Shared memory is off so that nothing outlives it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), fDir.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), sRuntime);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), fDir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), sRuntime);
    env.insert(QStringLiteral("PULSE_STATE_PATH"), fDir.filePath(QStringLiteral("state")));
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    fDaemon.setProcessEnvironment(env);
    fDaemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args = {
        QStringLiteral("--daemonize=no"),
        QStringLiteral("--system=no"),
        QStringLiteral("-n"),
        QStringLiteral("--exit-idle-time=-1"),
        QStringLiteral("--use-pid-file=no"),
        QStringLiteral("--disable-shm=yes"),
        QStringLiteral("--log-target=stderr"),
        QStringLiteral("--log-level=error"),
        QStringLiteral("-L"),
        QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(sSocket)};
    for (const TSink& sink : aSinks)
        args << QStringLiteral("-L") << QStringLiteral("module-null-sink ") + SinkArguments(sink);
    EndWithTestProgram(fDaemon);
    fDaemon.start(sProgram, args);
    if (!fDaemon.waitForStarted(5000)) {
        fsError = QStringLiteral("pulseaudio did not start: ") + fDaemon.errorString();
        return;
    }
    faPreviousServer = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:" + sSocket.toUtf8());
    // Bounded: a server that does not answer within 10 s fails the test instead of hanging it.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (fDaemon.state() != QProcess::Running) {
            fsError = QStringLiteral("pulseaudio ended at start (exit code %1)").arg(fDaemon.exitCode());
            return;
        }
        if (Pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")})
                .count(QLatin1Char('\n')) >= aSinks.size()) {
            fbRunning = true;
            return;
        }
        QThread::msleep(50);
    }
    fsError = QStringLiteral("pulseaudio did not answer within 10 s");
}

TPulseTestServer::~TPulseTestServer()
{
    if (fDaemon.state() != QProcess::NotRunning) {
        fDaemon.terminate();
        if (!fDaemon.waitForFinished(3000)) {
            fDaemon.kill();
            fDaemon.waitForFinished(3000);
        }
    }
    if (faPreviousServer.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", faPreviousServer);
}

QList<TPulseTestServer::TSink> TPulseTestServer::StandardSinks()
{
    return {{QStringLiteral("tzk_stereo"), QStringLiteral("TZK-Speakers-Stereo"), 2},
            {QStringLiteral("tzk_mono"), QStringLiteral("TZK-Speakers-Mono"), 1}};
}

QString TPulseTestServer::SinkArguments(const TSink& aSink)
{
    return QStringLiteral("sink_name=%1 rate=48000 channels=%2 sink_properties=device.description=%3")
        .arg(aSink.sName)
        .arg(aSink.iChannels)
        .arg(aSink.sDescription);
}

QString TPulseTestServer::Pactl(const QStringList& args) const
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), args);
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0) {
        pactl.kill();
        pactl.waitForFinished(1000);
        return QString();
    }
    return QString::fromUtf8(pactl.readAllStandardOutput());
}

int TPulseTestServer::AddSink(const TSink& aSink) const
{
    bool bOk = false;
    const int iModule = Pactl(QStringList{QStringLiteral("load-module"), QStringLiteral("module-null-sink")} +
                              SinkArguments(aSink).split(QLatin1Char(' ')))
                            .trimmed()
                            .toInt(&bOk);
    return bOk ? iModule : -1;
}

bool TPulseTestServer::RemoveModule(int iModule) const
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("unload-module"), QString::number(iModule)});
    return pactl.waitForFinished(5000) && pactl.exitCode() == 0;
}
