#include "AsyncCommand.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

TMainThreadHandOver::TMainThreadHandOver(TAsyncCommand& aCommand, TMainThreadPost aPost,
                                         std::uint64_t iExecution)
    : fCommand(&aCommand), fPost(std::move(aPost)), fiExecution(iExecution)
{}

bool TMainThreadHandOver::Post(std::function<void()> aWork) const
{
    // The command closes the post before it goes: a delivered call always meets it.
    return fPost.Post([pCommand = fCommand, iExecution = fiExecution, work = std::move(aWork)] {
        pCommand->Deliver(iExecution, work);
    });
}

TAsyncCommand::TAsyncCommand(TDevice* aOwner) : TCommand(aOwner), fContext(std::make_unique<QObject>()) {}

TAsyncCommand::~TAsyncCommand()
{
    if (fbPending) {
        fbPending = false;
        StopPendingWork();
    }
    fPost.Close();
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
    return TMainThreadHandOver(const_cast<TAsyncCommand&>(*this), fPost, fiExecution);
}

void TAsyncCommand::Deliver(std::uint64_t iExecution, const std::function<void()>& aWork)
{
    if (iExecution == fiExecution)
        Guarded(aWork);
}

void TAsyncCommand::RunOnWorker(TWorkerThread& aWorker, TWorkerThread::TBody aWork,
                                std::function<void()> aDone)
{
    const TMainThreadHandOver handOver = HandOver();
    aWorker.Start(
        std::move(aWork),
        [handOver, done = std::move(aDone)] {
            if (done)
                handOver.Post(done);
        },
        [handOver, this](const QString& sText) { handOver.Post([this, sText] { Fail(sText); }); });
}
