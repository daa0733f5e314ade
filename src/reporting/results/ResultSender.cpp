#include "ResultSender.h"

#include "PgConnection.h"
#include "ResultSchema.h"

namespace {

constexpr int ciConnectTimeoutMs = 10000;
constexpr int ciStatementTimeoutMs = 60000;

} // namespace

TResultSender::TResultSender(const QString& sConnection, const std::atomic_bool& aStop)
    : fsConnection(sConnection), fStop(aStop), fConnection(std::make_unique<TPgConnection>(aStop))
{}

TResultSender::~TResultSender() = default;

void TResultSender::Close()
{
    fConnection->Close();
    fbSchemaChecked = false;
}

bool TResultSender::EnsureConnected(ESendOutcome& eOutcome, QString& sError)
{
    if (fConnection->Connected() && fbSchemaChecked)
        return true;
    if (!fConnection->Connected()) {
        fbSchemaChecked = false;
        if (!fConnection->Connect(fsConnection, ciConnectTimeoutMs)) {
            eOutcome = fConnection->PasswordRefused() ? ESendOutcome::Refused : ESendOutcome::Unreachable;
            sError = fConnection->Error();
            return false;
        }
    }
    int iVersion = 0;
    bool bLost = false;
    if (!TResultSchema::Migrate(*fConnection, iVersion, sError, bLost)) {
        eOutcome = bLost ? ESendOutcome::Unreachable : ESendOutcome::Refused;
        return false;
    }
    fbSchemaChecked = true;
    return true;
}

void TResultSender::Send(quint64 iBatch, const QList<QByteArray>& aRuns)
{
    ESendOutcome eOutcome = ESendOutcome::Unreachable;
    QString sError;
    const bool bReused = fConnection->Connected();
    if (!EnsureConnected(eOutcome, sError)) {
        Q_EMIT Sent(iBatch, eOutcome, 0, sError);
        return;
    }
    qsizetype iSize = 2;
    for (const QByteArray& aRun : aRuns)
        iSize += aRun.size() + 1;
    QByteArray aBatch;
    aBatch.reserve(iSize);
    aBatch += '[';
    for (int i = 0; i < aRuns.size(); ++i) {
        if (i > 0)
            aBatch += ',';
        aBatch += aRuns.at(i);
    }
    aBatch += ']';
    TPgResult result = fConnection->Exec(TResultSchema::InsertRuns(), {aBatch}, ciStatementTimeoutMs);
    // A connection that waited since the last runs may have been closed by the server (a restart)
    // or the network: one new connection is tried before anybody is told.
    if (!result.bOk && result.bConnectionLost && bReused && !fStop.load()) {
        if (!EnsureConnected(eOutcome, sError)) {
            Q_EMIT Sent(iBatch, eOutcome, 0, sError);
            return;
        }
        result = fConnection->Exec(TResultSchema::InsertRuns(), {aBatch}, ciStatementTimeoutMs);
    }
    if (!result.bOk) {
        // A schema changed under a connected station shows here: check it again next time.
        fbSchemaChecked = false;
        Q_EMIT Sent(iBatch, result.bConnectionLost ? ESendOutcome::Unreachable : ESendOutcome::Refused, 0,
                    result.sError);
        return;
    }
    Q_EMIT Sent(iBatch, ESendOutcome::Stored, result.Value().toInt(), fConnection->Description());
}
