#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <vector>

// A private PostgreSQL server from the Debian packages for one test program (or benchmark): a
// cluster made by initdb in a temporary folder, listening only on a Unix socket in that folder on
// a port of its own, stopped and removed with the object. Should the program die, the server gets
// SIGKILL with it. Run as root, the server runs as the "postgres" user (it refuses root).
//
// Every role is trusted on the socket until RequirePassword names one that must give its
// password.
class TPostgresTestServer
{
public:
    // bDurable: keep the server's flushes to disk (a benchmark's figures); tests go without.
    explicit TPostgresTestServer(bool bDurable = false);
    ~TPostgresTestServer();
    TPostgresTestServer(const TPostgresTestServer&) = delete;
    TPostgresTestServer& operator=(const TPostgresTestServer&) = delete;

    // initdb (once) and the server; waits (at most 30 s) until it answers. False with Error().
    bool Start();
    // Fast shutdown: open connections end at once.
    bool Stop();
    bool Running() const { return fServer.state() == QProcess::Running; }
    const QString& Error() const { return fsError; }

    QString SocketFolder() const { return fDir.path(); }
    int Port() const { return fiPort; }
    // A libpq connection string for sDatabase as sUser (the superuser by default).
    QString Connection(const QString& sDatabase = QStringLiteral("postgres"),
                       const QString& sUser = QStringLiteral("tzk")) const;
    // The same as a postgresql:// URL.
    QString Url(const QString& sDatabase = QStringLiteral("postgres")) const;

    // Runs sSql as the superuser; the rows of the last statement as texts (NULL as a null
    // QString), none with Error() on failure.
    std::optional<std::vector<QStringList>> Query(const QString& sSql,
                                                  const QString& sDatabase = QStringLiteral("postgres"));
    // The single value of a query that returns one; empty on failure.
    QString Value(const QString& sSql, const QString& sDatabase = QStringLiteral("postgres"));
    bool CreateDatabase(const QString& sName);
    // From now on sRole logs in on the socket with its password (SCRAM); the others stay trusted.
    bool RequirePassword(const QString& sRole);

private:
    bool RunTool(const QString& sTool, const QStringList& slArgs);
    void AsServerUser(QProcess& aProcess) const;

    QTemporaryDir fDir;
    QProcess fServer;
    QString fsError;
    QStringList fslPasswordRoles;
    int fiPort = 0;
    bool fbDurable = false;
    bool fbInitialised = false;
    int fiUid = -1;
    int fiGid = -1;
};
