#include "CupsTestServer.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>
#include <vector>

namespace {

bool WriteText(const QString& sPath, const QString& sText)
{
    QFile file(sPath);
    return file.open(QIODevice::WriteOnly) && file.write(sText.toUtf8()) >= 0;
}

} // namespace

TCupsTestServer::TCupsTestServer()
{
    const QString d = fDir.path();
    for (const char* sub : {"cache", "log", "spool", "state", "out"})
        QDir(d).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(d + QStringLiteral("/out"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString sConf = QStringLiteral("Listen %1/cups.sock\n"
                                         "LogLevel warn\n"
                                         "WebInterface No\n"
                                         "Browsing Off\n"
                                         "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                         "<Policy default>\n  <Limit All>\n    Order allow,deny\n"
                                         "    Allow all\n  </Limit>\n</Policy>\n")
                              .arg(d);
    const QString sFiles = QStringLiteral("CacheDir %1/cache\nStateDir %1/state\nRequestRoot %1/spool\n"
                                          "ServerRoot %1\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                          "TempDir %1/spool\nFileDevice Yes\nErrorLog %1/log/error_log\n"
                                          "AccessLog %1/log/access_log\nPageLog %1/log/page_log\n")
                               .arg(d);
    if (!WriteText(d + QStringLiteral("/cupsd.conf"), sConf) ||
        !WriteText(d + QStringLiteral("/cups-files.conf"), sFiles)) {
        fsError = QStringLiteral("cannot write the scheduler's configuration");
        return;
    }
    const QByteArray aSocket = SocketPath().toUtf8();
    qputenv("CUPS_SERVER", aSocket);
    cupsSetServer(aSocket.constData());

    fDaemon.setProcessChannelMode(QProcess::MergedChannels);
    EndWithTestProgram(fDaemon);
    fDaemon.start(QStringLiteral("/usr/sbin/cupsd"),
                  {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/cupsd.conf"),
                   QStringLiteral("-s"), d + QStringLiteral("/cups-files.conf")});
    if (!fDaemon.waitForStarted(5000)) {
        fsError = QStringLiteral("cupsd did not start: ") + fDaemon.errorString();
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (fDaemon.state() != QProcess::Running) {
            fsError = QStringLiteral("cupsd ended: ") + QString::fromUtf8(fDaemon.readAll());
            return;
        }
        if (QFile::exists(SocketPath()) && Run(QStringLiteral("lpstat"), {QStringLiteral("-r")})) {
            fbRunning = true;
            return;
        }
        QThread::msleep(50);
    }
    fsError = QStringLiteral("cupsd did not answer within 10 s");
}

TCupsTestServer::~TCupsTestServer()
{
    if (fDaemon.state() != QProcess::NotRunning) {
        fDaemon.terminate();
        if (!fDaemon.waitForFinished(5000)) {
            fDaemon.kill();
            fDaemon.waitForFinished(2000);
        }
    }
    qunsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
}

QString TCupsTestServer::SocketPath() const
{
    return fDir.path() + QStringLiteral("/cups.sock");
}

QString TCupsTestServer::OutputFile(const QString& sName) const
{
    return fDir.path() + QStringLiteral("/out/") + sName + QStringLiteral(".prn");
}

bool TCupsTestServer::Run(const QString& sProgram, const QStringList& args)
{
    QProcess process;
    process.start(sProgram, args);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool TCupsTestServer::AddQueue(const QString& sName)
{
    // A queue without a driver sends nothing to a file; the generic PDF printer's driver passes
    // the PDF jobs through its PDF filter.
    return Run(QStringLiteral("lpadmin"),
               {QStringLiteral("-p"), sName, QStringLiteral("-E"), QStringLiteral("-v"),
                QStringLiteral("file://") + OutputFile(sName), QStringLiteral("-P"),
                QStringLiteral("/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd")});
}

bool TCupsTestServer::Disable(const QString& sName)
{
    return Run(QStringLiteral("cupsdisable"), {sName});
}

bool TCupsTestServer::Reject(const QString& sName)
{
    return Run(QStringLiteral("cupsreject"), {sName});
}

bool TCupsTestServer::Remove(const QString& sName)
{
    return Run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), sName});
}

QStringList TCupsTestServer::JobTitles(const QString& sName) const
{
    cups_job_t* jobs = nullptr;
    const int iCount =
        cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, sName.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    std::vector<std::pair<int, QString>> byId;
    for (int i = 0; i < iCount; ++i)
        byId.emplace_back(jobs[i].id, QString::fromUtf8(jobs[i].title));
    cupsFreeJobs(iCount, jobs);
    std::sort(byId.begin(), byId.end());
    QStringList titles;
    for (const auto& job : byId)
        titles << job.second;
    return titles;
}

bool TCupsTestServer::WaitForCompletedJobs(const QString& sName, int iCount) const
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        cups_job_t* jobs = nullptr;
        const int iDone =
            cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, sName.toUtf8().constData(), 0, CUPS_WHICHJOBS_COMPLETED);
        cupsFreeJobs(iDone, jobs);
        if (iDone >= iCount)
            return true;
        QThread::msleep(50);
    }
    return false;
}
