#pragma once

#include "ResultRun.h"
#include "ResultSender.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

class QThread;
class TResultSpool;

// The station's result-database settings: the user settings file's group "ResultDatabase".
struct TResultDatabaseSettings
{
    bool bEnabled = true; // "Enabled": 0 switches the database off without forgetting it
    QString sConnection;  // "Connection": a libpq connection string or a postgresql:// URL
    QString sStationName; // "StationName": stored beside the host name
    QString sSpoolFolder; // "SpoolFolder": where runs wait; beside the settings file by default

    // On, with a connection to send to.
    bool Configured() const { return bEnabled && !sConnection.trimmed().isEmpty(); }

    // Reads the group from the settings file sUserFile; the spool folder defaults to
    // "TZK2-results-spool" beside it.
    static TResultDatabaseSettings Load(const QString& sUserFile);
};

// Where the station's results stand.
enum class EResultDbState
{
    Connecting,  // nothing sent yet
    Connected,   // the last batch was stored
    Unreachable, // no connection: runs wait in the spool and are sent when it is back
    Refused      // the database refused the runs (password, rights, schema): they wait in the spool
};

// Every finished run of the station goes first into the spool, flushed to disk, and from there to
// the database, in order, on a worker thread: a run never waits for the network and never fails
// because the database is down. A run leaves the spool only after the database committed it; the
// run id is the key, so a run sent twice is stored once. A problem is logged once when it appears
// (not per run or per attempt) and again only when it changes or ends.
//
// Lives on the main thread; the worker hands back through queued calls only.
class TResultDatabase : public QObject
{
    Q_OBJECT

public:
    explicit TResultDatabase(const TResultDatabaseSettings& aSettings, QObject* aParent = nullptr);
    ~TResultDatabase() override;

    // Opens the spool (adopting the runs of programs that ended) and starts sending. False, with
    // the reason logged, when the spool cannot be opened: then nothing is sent or kept.
    bool Start();
    bool Started() const { return bool(fSpool); }

    // Writes the run to the spool and queues it; false (logged) when the spool could not take it.
    bool Submit(const TResultRun& aRun);

    int QueuedRuns() const;
    // The queued runs' size, and the spool files' (which may still hold stored runs).
    qint64 QueuedBytes() const;
    qint64 SpoolBytes() const;
    EResultDbState State() const { return feState; }
    // The last problem's text, empty while connected.
    const QString& Problem() const { return fsProblem; }
    // One line for the operator: the state and the queued runs.
    QString StateText() const;
    const TResultDatabaseSettings& Settings() const { return fSettings; }

    // Runs the event loop until the spool is empty, a send attempt fails or iTimeoutMs passed;
    // a database that failed before is tried again at once. True when the spool is empty.
    bool Drain(int iTimeoutMs);

    // The pause after a failed attempt: iFirstMs, doubled after every further failure up to
    // iMaxMs.
    void SetRetryDelays(int iFirstMs, int iMaxMs);
    // At most iRuns runs and about iBytes bytes go in one transaction.
    void SetBatchLimits(int iRuns, qint64 iBytes);

Q_SIGNALS:
    void StateChanged();
    // iCount runs left the spool, stored.
    void RunsStored(int iCount);

private:
    void SendNext();
    void Sent(quint64 iBatch, ESendOutcome eOutcome, int iStored, const QString& sText);
    // Logs a problem when it is new, and tries again after a pause.
    void ReportProblem(EResultDbState eState, const QString& sText);
    void SetState(EResultDbState eState, const QString& sProblem);

    TResultDatabaseSettings fSettings;
    std::unique_ptr<TResultSpool> fSpool;
    std::atomic_bool fbStop{false};
    std::unique_ptr<QThread> fThread;
    std::unique_ptr<TResultSender> fSender;
    QTimer fRetryTimer;

    EResultDbState feState = EResultDbState::Connecting;
    QString fsProblem;
    QString fsServer;
    quint64 fiBatch = 0;
    int fiInFlight = 0;
    int fiFailures = 0;
    int fiFirstRetryMs = 500;
    int fiMaxRetryMs = 5000;
    int fiRetryMs = 500;
    int fiBatchRuns = 50;
    qint64 fiBatchBytes = 4 * 1024 * 1024;
};
