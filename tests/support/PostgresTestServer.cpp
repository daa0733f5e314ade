#include "PostgresTestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QUrl>

#include <libpq-fe.h>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString csBin = QStringLiteral("/usr/lib/postgresql/15/bin/");

QString Quoted(const QString& s)
{
    QString sQuoted = s;
    sQuoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + sQuoted + QLatin1Char('\'');
}

} // namespace

TPostgresTestServer::TPostgresTestServer(bool bDurable) : fbDurable(bDurable)
{
    // Unique per program, so that two programs' servers never meet, not even in shared memory keys.
    fiPort = 30000 + int(::getpid() % 20000);
    if (::geteuid() == 0) {
        if (const passwd* pUser = ::getpwnam("postgres")) {
            fiUid = int(pUser->pw_uid);
            fiGid = int(pUser->pw_gid);
            if (::chown(QFile::encodeName(fDir.path()).constData(), pUser->pw_uid, pUser->pw_gid) != 0)
                fsError = QStringLiteral("cannot hand the server folder to the postgres user");
        } else {
            fsError = QStringLiteral("running as root, and there is no postgres user to run the server");
        }
    }
}

TPostgresTestServer::~TPostgresTestServer()
{
    Stop();
}

void TPostgresTestServer::AsServerUser(QProcess& aProcess) const
{
    const int iUid = fiUid;
    const int iGid = fiGid;
    aProcess.setChildProcessModifier([iUid, iGid] {
        if (iUid >= 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(iGid)) != 0 || ::setuid(uid_t(iUid)) != 0)
                ::_exit(126);
        }
        // After the change of user, which clears it: the server ends with the program.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
}

bool TPostgresTestServer::RunTool(const QString& sTool, const QStringList& slArgs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    AsServerUser(process);
    process.start(csBin + sTool, slArgs);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(2000);
        fsError = sTool + QStringLiteral(" did not finish");
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        fsError = sTool + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}

bool TPostgresTestServer::Start()
{
    if (!fDir.isValid())
        fsError = QStringLiteral("no temporary folder");
    if (!fsError.isEmpty())
        return false;
    if (Running())
        return true;
    const QString sData = fDir.filePath(QStringLiteral("data"));
    if (!fbInitialised) {
        if (!RunTool(QStringLiteral("initdb"),
                     {QStringLiteral("-D"), sData, QStringLiteral("-U"), QStringLiteral("tzk"),
                      QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                      QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync"),
                      QStringLiteral("--no-instructions")}))
            return false;
        fbInitialised = true;
    }
    QStringList slArgs{QStringLiteral("-D"), sData,
                       QStringLiteral("-k"), fDir.path(),
                       QStringLiteral("-p"), QString::number(fiPort),
                       QStringLiteral("-c"), QStringLiteral("listen_addresses="),
                       QStringLiteral("-c"), QStringLiteral("unix_socket_permissions=0777"),
                       QStringLiteral("-c"), QStringLiteral("max_connections=120"),
                       QStringLiteral("-c"), QStringLiteral("logging_collector=off")};
    if (!fbDurable) {
        slArgs << QStringLiteral("-c") << QStringLiteral("fsync=off") << QStringLiteral("-c")
               << QStringLiteral("synchronous_commit=off") << QStringLiteral("-c")
               << QStringLiteral("full_page_writes=off");
    }
    fServer.setProcessChannelMode(QProcess::MergedChannels);
    AsServerUser(fServer);
    fServer.start(csBin + QStringLiteral("postgres"), slArgs);
    if (!fServer.waitForStarted(10000)) {
        fsError = QStringLiteral("postgres did not start: ") + fServer.errorString();
        return false;
    }
    const QByteArray aPing = Connection().toUtf8();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        if (fServer.state() != QProcess::Running) {
            fsError = QStringLiteral("postgres ended: ") + QString::fromLocal8Bit(fServer.readAll());
            return false;
        }
        if (PQping(aPing.constData()) == PQPING_OK)
            return true;
        QThread::msleep(50);
    }
    fsError =
        QStringLiteral("postgres did not answer within 30 s: ") + QString::fromLocal8Bit(fServer.readAll());
    return false;
}

bool TPostgresTestServer::Stop()
{
    if (fServer.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(fServer.processId()), SIGINT);
    if (!fServer.waitForFinished(20000)) {
        fServer.kill();
        fServer.waitForFinished(5000);
        return false;
    }
    return true;
}

QString TPostgresTestServer::Connection(const QString& sDatabase, const QString& sUser) const
{
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 connect_timeout=5")
        .arg(Quoted(fDir.path()))
        .arg(fiPort)
        .arg(Quoted(sDatabase), Quoted(sUser));
}

QString TPostgresTestServer::Url(const QString& sDatabase) const
{
    // Concatenated: the encoded path's "%2F" must not meet arg().
    return QStringLiteral("postgresql://tzk@/") + sDatabase + QStringLiteral("?host=") +
           QString::fromLatin1(QUrl::toPercentEncoding(fDir.path())) + QStringLiteral("&port=") +
           QString::number(fiPort);
}

std::optional<std::vector<QStringList>> TPostgresTestServer::Query(const QString& sSql,
                                                                   const QString& sDatabase)
{
    PGconn* pConn = PQconnectdb(Connection(sDatabase).toUtf8().constData());
    if (PQstatus(pConn) != CONNECTION_OK) {
        fsError = QString::fromUtf8(PQerrorMessage(pConn)).trimmed();
        PQfinish(pConn);
        return std::nullopt;
    }
    PGresult* pResult = PQexec(pConn, sSql.toUtf8().constData());
    std::optional<std::vector<QStringList>> rows;
    const ExecStatusType eStatus = PQresultStatus(pResult);
    if (eStatus == PGRES_TUPLES_OK || eStatus == PGRES_COMMAND_OK) {
        rows.emplace();
        for (int r = 0; r < PQntuples(pResult); ++r) {
            QStringList row;
            for (int c = 0; c < PQnfields(pResult); ++c)
                row.append(PQgetisnull(pResult, r, c) ? QString()
                                                      : QString::fromUtf8(PQgetvalue(pResult, r, c)));
            rows->push_back(row);
        }
    } else {
        fsError = QString::fromUtf8(PQresultErrorMessage(pResult)).trimmed();
    }
    PQclear(pResult);
    PQfinish(pConn);
    return rows;
}

QString TPostgresTestServer::Value(const QString& sSql, const QString& sDatabase)
{
    const auto rows = Query(sSql, sDatabase);
    return rows && !rows->empty() && !rows->front().isEmpty() ? rows->front().front() : QString();
}

bool TPostgresTestServer::CreateDatabase(const QString& sName)
{
    return Query(QStringLiteral("CREATE DATABASE \"%1\"").arg(sName)).has_value();
}

bool TPostgresTestServer::RequirePassword(const QString& sRole)
{
    fslPasswordRoles.append(sRole);
    QByteArray aRules;
    for (const QString& sName : fslPasswordRoles)
        aRules += "local all \"" + sName.toUtf8() + "\" scram-sha-256\n";
    aRules += "local all all trust\n";
    QFile hba(fDir.filePath(QStringLiteral("data/pg_hba.conf")));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fsError = QStringLiteral("cannot write pg_hba.conf: ") + hba.errorString();
        return false;
    }
    hba.write(aRules);
    hba.close();
    if (!Query(QStringLiteral("SELECT pg_reload_conf()")))
        return false;
    // The server reads the file when it gets round to the signal: wait until the rule holds.
    const QByteArray aWithout = Connection(QStringLiteral("postgres"), sRole).toUtf8();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        PGconn* pConn = PQconnectdb(aWithout.constData());
        const bool bRefused = PQstatus(pConn) != CONNECTION_OK;
        PQfinish(pConn);
        if (bRefused)
            return true;
        QThread::msleep(20);
    }
    fsError = QStringLiteral("the server did not take the new pg_hba.conf");
    return false;
}
