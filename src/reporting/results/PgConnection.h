#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

struct pg_conn;

// What one statement returned: its rows as texts (a SQL NULL as a null QString), or the error
// with its SQLSTATE. bConnectionLost says the connection is gone (or timed out and was dropped).
struct TPgResult
{
    bool bOk = false;
    QString sError;
    QString sSqlState;
    bool bConnectionLost = false;
    std::vector<QStringList> Rows;

    QString Value(int iRow = 0, int iColumn = 0) const
    {
        return iRow < int(Rows.size()) && iColumn < Rows[std::size_t(iRow)].size()
                   ? Rows[std::size_t(iRow)][iColumn]
                   : QString();
    }
};

// One libpq connection whose waits never block for long: every wait polls the socket in short
// slices and gives up when the stop flag rises or its time is up. Used by one thread.
class TPgConnection
{
public:
    explicit TPgConnection(const std::atomic_bool& aStop);
    ~TPgConnection();
    TPgConnection(const TPgConnection&) = delete;
    TPgConnection& operator=(const TPgConnection&) = delete;

    // sConnection is a libpq connection string or URI (or a database name); passwords come from
    // it, the environment or the password file as libpq finds them. False with Error().
    bool Connect(const QString& sConnection, int iTimeoutMs);
    bool Connected() const;
    void Close();
    const QString& Error() const { return fsError; }
    // The last Connect failed because the server wanted a password it did not get or did not
    // accept: trying again will not help until somebody mends the password.
    bool PasswordRefused() const { return fbPasswordRefused; }
    // "database on host" for the log.
    QString Description() const;

    // Runs sSql: with parameters (texts, $1 ...) one statement, without them any number of
    // statements; the rows are those of the last result.
    TPgResult Exec(const QByteArray& sSql, const QList<QByteArray>& aParams = {}, int iTimeoutMs = 60000);

private:
    // Waits for the socket; 1 ready, 0 time up or stopped, -1 error.
    int Wait(bool bRead, bool bWrite, qint64 iDeadline);
    TPgResult Lost(const QString& sError);

    const std::atomic_bool& fStop;
    pg_conn* fConn = nullptr;
    QString fsError;
    bool fbPasswordRefused = false;
};
