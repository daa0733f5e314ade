#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class TPgConnection;

// How sending a batch of runs went.
enum class ESendOutcome
{
    Stored,      // committed (runs already in the database included)
    Unreachable, // no connection, or it broke: nothing is known to be committed
    Refused      // the database refused the password or answered with an error (rights, schema)
};

// The worker side of the result database: lives on its own thread, owns the connection, brings the
// schema up to date after every new connection and stores batches of runs. It touches nothing of
// the main thread; its only way back is the Sent signal, delivered there as a queued call.
class TResultSender : public QObject
{
    Q_OBJECT

public:
    TResultSender(const QString& sConnection, const std::atomic_bool& aStop);
    ~TResultSender() override;

    // Stores the runs (JSON objects) in one transaction; answers with Sent.
    void Send(quint64 iBatch, const QList<QByteArray>& aRuns);
    // Closes the connection (on the worker thread, before it ends).
    void Close();

Q_SIGNALS:
    // iStored: runs the batch added (the others were there already). sText: the database's name
    // when stored, else what went wrong.
    void Sent(quint64 iBatch, ESendOutcome eOutcome, int iStored, const QString& sText);

private:
    bool EnsureConnected(ESendOutcome& eOutcome, QString& sError);

    QString fsConnection;
    const std::atomic_bool& fStop;
    std::unique_ptr<TPgConnection> fConnection;
    bool fbSchemaChecked = false;
};

Q_DECLARE_METATYPE(ESendOutcome)
