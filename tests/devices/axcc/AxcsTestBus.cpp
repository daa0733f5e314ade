#include "AxcsTestBus.h"

#include "TestEnvironment.h"

namespace {

constexpr int ciStartMs = 10000;

// Reads the first line a starting process writes.
QString FirstLine(QProcess& aProcess)
{
    while (!aProcess.canReadLine()) {
        if (!aProcess.waitForReadyRead(ciStartMs))
            return QString();
    }
    return QString::fromUtf8(aProcess.readLine()).trimmed();
}

} // namespace

TAxcsTestBus::TAxcsTestBus()
{
    fDaemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    EndWithTestProgram(fDaemon);
    fDaemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
    if (!fDaemon.waitForStarted(ciStartMs)) {
        fsError = QStringLiteral("dbus-daemon does not start: ") + fDaemon.errorString();
        return;
    }
    fsAddress = FirstLine(fDaemon);
    if (fsAddress.isEmpty())
        fsError = QStringLiteral("dbus-daemon printed no address");
}

TAxcsTestBus::~TAxcsTestBus()
{
    End(fServer);
    End(fDaemon);
}

bool TAxcsTestBus::StartServer()
{
    End(fServer);
    fServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    EndWithTestProgram(fServer);
    fServer.start(QStringLiteral(TZK_AXCS_STANDIN_PATH), {QStringLiteral("--bus"), fsAddress});
    if (FirstLine(fServer) != QLatin1String("ready")) {
        fsError = QStringLiteral("the stand-in server did not start");
        End(fServer);
        return false;
    }
    return true;
}

void TAxcsTestBus::KillServer()
{
    fServer.kill();
    fServer.waitForFinished(ciStartMs);
}

void TAxcsTestBus::End(QProcess& aProcess)
{
    if (aProcess.state() == QProcess::NotRunning)
        return;
    aProcess.terminate();
    if (!aProcess.waitForFinished(ciStartMs)) {
        aProcess.kill();
        aProcess.waitForFinished(ciStartMs);
    }
}
