#include "PgConnection.h"

#include <QElapsedTimer>

#include <libpq-fe.h>

#include <cerrno>
#include <poll.h>

namespace {

constexpr int ciSliceMs = 100;

QString Trimmed(const char* sText)
{
    return QString::fromUtf8(sText).trimmed();
}

qint64 NowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

} // namespace

TPgConnection::TPgConnection(const std::atomic_bool& aStop) : fStop(aStop) {}

TPgConnection::~TPgConnection()
{
    Close();
}

void TPgConnection::Close()
{
    if (fConn) {
        PQfinish(fConn);
        fConn = nullptr;
    }
}

bool TPgConnection::Connected() const
{
    return fConn && PQstatus(fConn) == CONNECTION_OK;
}

QString TPgConnection::Description() const
{
    if (!fConn)
        return QString();
    const QString sHost = QString::fromUtf8(PQhost(fConn));
    return QStringLiteral("%1 on %2")
        .arg(QString::fromUtf8(PQdb(fConn)), sHost.isEmpty() ? QStringLiteral("localhost") : sHost);
}

int TPgConnection::Wait(bool bRead, bool bWrite, qint64 iDeadline)
{
    for (;;) {
        if (fStop.load())
            return 0;
        const qint64 iLeft = iDeadline - NowMs();
        if (iLeft <= 0)
            return 0;
        pollfd fd = {PQsocket(fConn), short((bRead ? POLLIN : 0) | (bWrite ? POLLOUT : 0)), 0};
        if (fd.fd < 0)
            return -1;
        const int n = ::poll(&fd, 1, int(std::min<qint64>(iLeft, ciSliceMs)));
        if (n > 0)
            return 1;
        if (n < 0 && errno != EINTR)
            return -1;
    }
}

bool TPgConnection::Connect(const QString& sConnection, int iTimeoutMs)
{
    Close();
    fsError.clear();
    fbPasswordRefused = false;
    const QByteArray aConnection = sConnection.toUtf8();
    // The program's name may be overridden by the connection text; the encoding may not: the
    // runs are sent as UTF-8.
    const char* const keywords[] = {"application_name", "dbname", "client_encoding", nullptr};
    const char* const values[] = {"tzk", aConnection.constData(), "UTF8", nullptr};
    fConn = PQconnectStartParams(keywords, values, 1);
    if (!fConn) {
        fsError = QStringLiteral("out of memory");
        return false;
    }
    const qint64 iDeadline = NowMs() + iTimeoutMs;
    PostgresPollingStatusType eStatus =
        PQstatus(fConn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (eStatus != PGRES_POLLING_OK && eStatus != PGRES_POLLING_FAILED) {
        const int iReady =
            Wait(eStatus == PGRES_POLLING_READING, eStatus == PGRES_POLLING_WRITING, iDeadline);
        if (iReady <= 0) {
            fsError = fStop.load() ? QStringLiteral("stopped") : QStringLiteral("connection timed out");
            Close();
            return false;
        }
        eStatus = PQconnectPoll(fConn);
    }
    if (eStatus == PGRES_POLLING_FAILED) {
        fsError = Trimmed(PQerrorMessage(fConn));
        fbPasswordRefused = PQconnectionNeedsPassword(fConn) || PQconnectionUsedPassword(fConn);
        Close();
        return false;
    }
    // The server's notices ("already exists, skipping") would go to standard error.
    PQsetNoticeProcessor(
        fConn, [](void*, const char*) {}, nullptr);
    if (PQsetnonblocking(fConn, 1) != 0) {
        fsError = Trimmed(PQerrorMessage(fConn));
        Close();
        return false;
    }
    return true;
}

TPgResult TPgConnection::Lost(const QString& sError)
{
    TPgResult result;
    result.sError = sError;
    result.bConnectionLost = true;
    Close();
    return result;
}

TPgResult TPgConnection::Exec(const QByteArray& sSql, const QList<QByteArray>& aParams, int iTimeoutMs)
{
    if (!Connected())
        return Lost(QStringLiteral("not connected"));
    const qint64 iDeadline = NowMs() + iTimeoutMs;
    int iSent = 0;
    if (aParams.isEmpty()) {
        iSent = PQsendQuery(fConn, sSql.constData());
    } else {
        std::vector<const char*> values;
        std::vector<int> lengths;
        for (const QByteArray& aParam : aParams) {
            values.push_back(aParam.isNull() ? nullptr : aParam.constData());
            lengths.push_back(int(aParam.size()));
        }
        iSent = PQsendQueryParams(fConn, sSql.constData(), int(aParams.size()), nullptr, values.data(),
                                  lengths.data(), nullptr, 0);
    }
    if (!iSent)
        return Lost(Trimmed(PQerrorMessage(fConn)));

    // The statement may be larger than the socket takes at once.
    for (;;) {
        const int iFlush = PQflush(fConn);
        if (iFlush == 0)
            break;
        if (iFlush < 0)
            return Lost(Trimmed(PQerrorMessage(fConn)));
        const int iReady = Wait(true, true, iDeadline);
        if (iReady == 0) {
            return Lost(fStop.load() ? QStringLiteral("stopped")
                                     : QStringLiteral("no answer from the database"));
        }
        if (iReady < 0 || !PQconsumeInput(fConn))
            return Lost(Trimmed(PQerrorMessage(fConn)));
    }

    TPgResult result;
    result.bOk = true;
    for (;;) {
        while (PQisBusy(fConn)) {
            const int iReady = Wait(true, false, iDeadline);
            if (iReady == 0) {
                // Asks the server to give up the statement; the connection goes either way.
                if (PGcancel* pCancel = PQgetCancel(fConn)) {
                    char sBuffer[256];
                    PQcancel(pCancel, sBuffer, int(sizeof sBuffer));
                    PQfreeCancel(pCancel);
                }
                return Lost(fStop.load() ? QStringLiteral("stopped")
                                         : QStringLiteral("no answer from the database"));
            }
            if (iReady < 0 || !PQconsumeInput(fConn))
                return Lost(Trimmed(PQerrorMessage(fConn)));
        }
        PGresult* pResult = PQgetResult(fConn);
        if (!pResult)
            break;
        switch (PQresultStatus(pResult)) {
        case PGRES_TUPLES_OK: {
            result.Rows.clear();
            const int iRows = PQntuples(pResult);
            const int iColumns = PQnfields(pResult);
            for (int r = 0; r < iRows; ++r) {
                QStringList row;
                for (int c = 0; c < iColumns; ++c)
                    row.append(PQgetisnull(pResult, r, c) ? QString()
                                                          : QString::fromUtf8(PQgetvalue(pResult, r, c)));
                result.Rows.push_back(row);
            }
            break;
        }
        case PGRES_COMMAND_OK:
        case PGRES_EMPTY_QUERY:
            break;
        default:
            // The first error counts; the server skips the rest of the statements.
            if (result.bOk) {
                result.bOk = false;
                result.sError = Trimmed(PQresultErrorMessage(pResult));
                result.sSqlState = QString::fromLatin1(PQresultErrorField(pResult, PG_DIAG_SQLSTATE));
                if (result.sError.isEmpty())
                    result.sError = Trimmed(PQerrorMessage(fConn));
            }
            break;
        }
        PQclear(pResult);
    }
    if (PQstatus(fConn) == CONNECTION_BAD) {
        const QString sError = result.sError.isEmpty() ? Trimmed(PQerrorMessage(fConn)) : result.sError;
        return Lost(sError);
    }
    return result;
}
