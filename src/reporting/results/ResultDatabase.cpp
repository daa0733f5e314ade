#include "ResultDatabase.h"

#include "ResultSpool.h"

#include "core/MsgClasses.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSettings>
#include <QThread>

namespace {

bool SettingOn(const QVariant& aValue)
{
    const QString s = aValue.toString().trimmed().toLower();
    return !(s == QLatin1String("0") || s == QLatin1String("false") || s == QLatin1String("no") ||
             s == QLatin1String("off"));
}

} // namespace

TResultDatabaseSettings TResultDatabaseSettings::Load(const QString& sUserFile)
{
    TResultDatabaseSettings settings;
    if (QFileInfo(sUserFile).isFile()) {
        const QSettings file(sUserFile, QSettings::IniFormat);
        const QString sGroup = QStringLiteral("ResultDatabase/");
        settings.bEnabled = SettingOn(file.value(sGroup + QStringLiteral("Enabled"), QStringLiteral("1")));
        settings.sConnection = file.value(sGroup + QStringLiteral("Connection")).toString().trimmed();
        settings.sStationName = file.value(sGroup + QStringLiteral("StationName")).toString().trimmed();
        settings.sSpoolFolder = file.value(sGroup + QStringLiteral("SpoolFolder")).toString().trimmed();
    }
    if (settings.sSpoolFolder.isEmpty())
        settings.sSpoolFolder =
            QFileInfo(sUserFile).absoluteDir().filePath(QStringLiteral("TZK2-results-spool"));
    return settings;
}

TResultDatabase::TResultDatabase(const TResultDatabaseSettings& aSettings, QObject* aParent)
    : QObject(aParent), fSettings(aSettings)
{
    qRegisterMetaType<ESendOutcome>();
    fRetryTimer.setSingleShot(true);
    connect(&fRetryTimer, &QTimer::timeout, this, &TResultDatabase::SendNext);
}

TResultDatabase::~TResultDatabase()
{
    fRetryTimer.stop();
    // A statement or connection under way gives up within a poll slice.
    fbStop = true;
    if (fThread) {
        fThread->quit();
        fThread->wait();
    }
    // The thread has ended: the connection can go from here.
    fSender.reset();
}

bool TResultDatabase::Start()
{
    if (fSpool)
        return true;
    auto spool = std::make_unique<TResultSpool>(fSettings.sSpoolFolder);
    const bool bOpened = spool->Open();
    for (const QString& sWarning : spool->Warnings())
        TMsg::Warning(QStringLiteral("Result database: %s"), {sWarning});
    if (!bOpened) {
        TMsg::Error(QStringLiteral("Result database off, its spool cannot be opened: %s"), {spool->Error()});
        return false;
    }
    fSpool = std::move(spool);
    if (fSpool->PendingCount() > 0)
        TMsg::Info(QStringLiteral("Result database: %d run(s) from the spool to send"),
                   {fSpool->PendingCount()});

    fThread = std::make_unique<QThread>();
    fThread->setObjectName(QStringLiteral("result database"));
    fSender = std::make_unique<TResultSender>(fSettings.sConnection, fbStop);
    fSender->moveToThread(fThread.get());
    connect(fSender.get(), &TResultSender::Sent, this, &TResultDatabase::Sent, Qt::QueuedConnection);
    fThread->start();
    SendNext();
    return true;
}

bool TResultDatabase::Submit(const TResultRun& aRun)
{
    if (!fSpool)
        return false;
    const int iBefore = fSpool->PendingCount();
    const bool bStored = fSpool->Append(aRun.RunId, aRun.ToJson());
    if (!bStored)
        TMsg::Error(QStringLiteral("Run %s not safely queued for the result database: %s"),
                    {RunIdText(aRun.RunId), fSpool->Error()});
    else
        TMsg::Debug(QStringLiteral("Run %s queued for the result database"), {RunIdText(aRun.RunId)});
    if (fSpool->PendingCount() > iBefore) {
        Q_EMIT StateChanged();
        SendNext();
    }
    return bStored;
}

int TResultDatabase::QueuedRuns() const
{
    return fSpool ? fSpool->PendingCount() : 0;
}

qint64 TResultDatabase::QueuedBytes() const
{
    return fSpool ? fSpool->PendingBytes() : 0;
}

qint64 TResultDatabase::SpoolBytes() const
{
    return fSpool ? fSpool->BytesOnDisk() : 0;
}

void TResultDatabase::SetRetryDelays(int iFirstMs, int iMaxMs)
{
    fiFirstRetryMs = std::max(1, iFirstMs);
    fiMaxRetryMs = std::max(fiFirstRetryMs, iMaxMs);
    fiRetryMs = fiFirstRetryMs;
}

void TResultDatabase::SetBatchLimits(int iRuns, qint64 iBytes)
{
    fiBatchRuns = std::max(1, iRuns);
    fiBatchBytes = std::max<qint64>(1, iBytes);
}

void TResultDatabase::SendNext()
{
    if (!fSpool || fiInFlight > 0 || fRetryTimer.isActive() || fSpool->PendingCount() == 0)
        return;
    QList<QByteArray> runs;
    qint64 iBytes = 0;
    const int iCount = std::min(fSpool->PendingCount(), fiBatchRuns);
    for (int i = 0; i < iCount; ++i) {
        if (i > 0 && iBytes + fSpool->PendingBytes(i) > fiBatchBytes)
            break;
        QByteArray aRun = fSpool->PendingPayload(i);
        if (aRun.isEmpty()) {
            ReportProblem(EResultDbState::Refused,
                          QStringLiteral("the spool cannot be read in \"%1\"").arg(fSpool->Folder()));
            return;
        }
        iBytes += aRun.size();
        runs.append(std::move(aRun));
    }
    fiInFlight = int(runs.size());
    const quint64 iBatch = ++fiBatch;
    TResultSender* pSender = fSender.get();
    QMetaObject::invokeMethod(
        pSender, [pSender, iBatch, runs] { pSender->Send(iBatch, runs); }, Qt::QueuedConnection);
}

void TResultDatabase::Sent(quint64 iBatch, ESendOutcome eOutcome, int iStored, const QString& sText)
{
    if (iBatch != fiBatch || fiInFlight == 0)
        return;
    const int iSent = fiInFlight;
    fiInFlight = 0;
    if (eOutcome == ESendOutcome::Stored) {
        fSpool->Acknowledge(iSent);
        fiRetryMs = fiFirstRetryMs;
        TMsg::Debug(QStringLiteral("Result database: %d run(s) stored, %d already there"),
                    {iStored, iSent - iStored});
        if (feState != EResultDbState::Connected || fsServer != sText) {
            fsServer = sText;
            TMsg::Info(QStringLiteral("Result database %s connected, %d run(s) queued"),
                       {sText, QueuedRuns()});
        }
        SetState(EResultDbState::Connected, QString());
        Q_EMIT RunsStored(iSent);
        SendNext();
        return;
    }

    ReportProblem(eOutcome == ESendOutcome::Refused ? EResultDbState::Refused : EResultDbState::Unreachable,
                  sText);
}

void TResultDatabase::ReportProblem(EResultDbState eState, const QString& sText)
{
    ++fiFailures;
    if (eState != feState || sText != fsProblem) {
        // Once per problem, not per run or attempt.
        if (eState == EResultDbState::Refused)
            TMsg::Error(QStringLiteral("Result database refused the runs, %d run(s) kept in the spool: %s"),
                        {QueuedRuns(), sText});
        else
            TMsg::Warning(QStringLiteral("Result database not reachable, %d run(s) kept in the spool: %s"),
                          {QueuedRuns(), sText});
    }
    SetState(eState, sText);
    fRetryTimer.start(fiRetryMs);
    fiRetryMs = std::min(fiMaxRetryMs, fiRetryMs * 2);
}

void TResultDatabase::SetState(EResultDbState eState, const QString& sProblem)
{
    feState = eState;
    fsProblem = sProblem;
    Q_EMIT StateChanged();
}

QString TResultDatabase::StateText() const
{
    if (!fSpool)
        return QStringLiteral("Off: the spool could not be opened");
    const int iQueued = QueuedRuns();
    switch (feState) {
    case EResultDbState::Connecting:
        return QStringLiteral("Connecting; %1 run(s) queued").arg(iQueued);
    case EResultDbState::Connected:
        return QStringLiteral("Connected to %1; %2 run(s) queued").arg(fsServer).arg(iQueued);
    case EResultDbState::Unreachable:
        return QStringLiteral("Not reachable; %1 run(s) queued: %2").arg(iQueued).arg(fsProblem);
    case EResultDbState::Refused:
        return QStringLiteral("Refused; %1 run(s) queued: %2").arg(iQueued).arg(fsProblem);
    }
    return QString();
}

bool TResultDatabase::Drain(int iTimeoutMs)
{
    if (!fSpool)
        return false;
    const int iFailures = fiFailures;
    if (fRetryTimer.isActive()) {
        fRetryTimer.stop();
        SendNext();
    }
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto Check = [&] {
        if (QueuedRuns() == 0 || fiFailures > iFailures)
            loop.quit();
    };
    connect(this, &TResultDatabase::StateChanged, &loop, Check);
    if (QueuedRuns() > 0) {
        timeout.start(iTimeoutMs);
        loop.exec();
    }
    return QueuedRuns() == 0;
}
