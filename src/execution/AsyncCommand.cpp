#include "AsyncCommand.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <QMetaObject>

// The link from worker threads to the command. The command closes it (under the lock) before its
// context object goes, so a post either reaches the event queue of a living object or is dropped.
struct TMainThreadHandOver::TChannel
{
    std::mutex Lock;
    QObject* pContext = nullptr;
    std::function<void(std::uint64_t, std::function<void()>)> Deliver;
};

TMainThreadHandOver::TMainThreadHandOver(std::shared_ptr<TChannel> aChannel, std::uint64_t iExecution)
    : fChannel(std::move(aChannel)), fiExecution(iExecution)
{}

bool TMainThreadHandOver::Post(std::function<void()> aWork) const
{
    const std::lock_guard<std::mutex> lock(fChannel->Lock);
    if (!fChannel->pContext)
        return false;
    QMetaObject::invokeMethod(
        fChannel->pContext,
        [channel = fChannel, iExecution = fiExecution, work = std::move(aWork)]() mutable {
            if (channel->Deliver)
                channel->Deliver(iExecution, std::move(work));
        },
        Qt::QueuedConnection);
    return true;
}

TAsyncCommand::TAsyncCommand(TDevice* aOwner)
    : TCommand(aOwner), fContext(std::make_unique<QObject>()),
      fChannel(std::make_shared<TMainThreadHandOver::TChannel>())
{
    fChannel->pContext = fContext.get();
    fChannel->Deliver = [this](std::uint64_t iExecution, std::function<void()> aWork) {
        if (iExecution == fiExecution)
            Guarded(aWork);
    };
}

TAsyncCommand::~TAsyncCommand()
{
    if (fbPending) {
        fbPending = false;
        StopPendingWork();
    }
    const std::lock_guard<std::mutex> lock(fChannel->Lock);
    fChannel->pContext = nullptr;
    fChannel->Deliver = nullptr;
}

void TAsyncCommand::Execute(const QString& sParameter)
{
    ++fiExecution;
    fbPending = true;
    FCmdResult = crUnknown;
    Guarded([&] { Start(sParameter); });
}

void TAsyncCommand::Cancel()
{
    if (fbPending) {
        fbPending = false;
        // Still this execution while its work stops (its device claim included); what is under
        // way for it after that is dropped.
        StopPendingWork();
        ++fiExecution;
    }
    TCommand::Cancel();
}

void TAsyncCommand::Finish(ECmdResult eResult)
{
    if (!fbPending)
        return;
    fbPending = false;
    ++fiExecution;
    Conclude(eResult);
}

void TAsyncCommand::Fail(const QString& sErrorText)
{
    if (!fbPending)
        return;
    SetErrorText(sErrorText);
    Finish(crFailed);
}

void TAsyncCommand::Guarded(const std::function<void()>& aWork)
{
    if (!fbPending)
        return;
    QString sError;
    try {
        aWork();
        return;
    } catch (const std::exception& e) {
        sError = ExceptionText(e);
    } catch (...) {
        sError = QStringLiteral("Unknown exception");
    }
    if (fbPending) {
        StopPendingWork();
        Fail(sError);
    } else {
        // Raised after the conclusion (by whoever handled it): no step waits any more, so say it.
        Msg().Error(sError);
    }
}

TMainThreadHandOver TAsyncCommand::HandOver() const
{
    return TMainThreadHandOver(fChannel, fiExecution);
}
