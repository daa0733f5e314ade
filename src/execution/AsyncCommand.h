#pragma once

#include "Command.h"

#include "core/WorkerThread.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

class TAsyncCommand;

// Hands work from any thread to the main thread for one execution of an asynchronous command.
// Worker threads keep a copy; once the command is cancelled, concluded or destroyed, what they
// post is dropped instead of reaching a command that no longer waits for it.
class TMainThreadHandOver
{
public:
    // Queues aWork for the main thread; false when the command no longer takes it.
    bool Post(std::function<void()> aWork) const;

private:
    friend class TAsyncCommand;
    TMainThreadHandOver(TAsyncCommand& aCommand, TMainThreadPost aPost, std::uint64_t iExecution);

    TAsyncCommand* fCommand;
    TMainThreadPost fPost;
    std::uint64_t fiExecution = 0;
};

// Base of commands that conclude later: from a timer, a signal, a key, an operator answer or a
// worker thread. Each execution concludes exactly once; Cancel stops the pending work; and every
// piece of work that runs for the execution (the start, a slot, a timer, a hand-over from a thread)
// runs guarded, so that an exception concludes the step crFailed with its text instead of ending
// the program or leaving the run waiting.
class TAsyncCommand : public TCommand
{
public:
    explicit TAsyncCommand(TDevice* aOwner);
    ~TAsyncCommand() override;

    void Execute(const QString& sParameter) final;
    void Cancel() override;

    // True from Execute until the execution concluded or was cancelled.
    bool Pending() const { return fbPending; }

protected:
    // Begins one execution; it may conclude at once or leave work pending.
    virtual void Start(const QString& sParameter) = 0;
    // Stops what a pending execution still does (timers, requests, hooks); called when it is
    // cancelled or the command is destroyed, not after it concluded.
    virtual void StopPendingWork() {}

    // Concludes the pending execution; calls for an execution that already concluded are ignored.
    void Finish(ECmdResult eResult);
    // Concludes crFailed with the error text.
    void Fail(const QString& sErrorText);

    // Runs aWork for the pending execution: an exception concludes it crFailed with its text.
    // Does nothing when no execution is pending.
    void Guarded(const std::function<void()>& aWork);

    // A slot for QObject::connect or QTimer that runs aWork guarded while an execution is pending
    // (and does nothing otherwise). Connect it with Receiver() as the context object.
    template <class TWork>
    auto Guard(TWork aWork)
    {
        return [this, aWork = std::move(aWork)](auto&&... args) mutable {
            Guarded([&] {
                // A slot that takes none of the signal's arguments (QTimer::timeout's private one
                // included) is called without them.
                if constexpr (std::is_invocable_v<TWork&, decltype(args)...>)
                    aWork(std::forward<decltype(args)>(args)...);
                else
                    aWork();
            });
        };
    }

    // The hand-over of the pending execution, for worker threads.
    TMainThreadHandOver HandOver() const;
    // Runs aWork for the pending execution on aWorker (a device's thread): aDone then runs on the
    // main thread, guarded; an exception that leaves aWork fails the step with its text. Both are
    // dropped when the execution is over meanwhile.
    void RunOnWorker(TWorkerThread& aWorker, TWorkerThread::TBody aWork, std::function<void()> aDone);

    // A main-thread object that lives exactly as long as the command: connections and queued calls
    // made with it as context end with the command.
    QObject* Receiver() const { return fContext.get(); }

private:
    friend class TDeviceClaim;        // tells the execution that claimed a device
    friend class TDeviceWaiter;       // delivers the device's result guarded, cancels the execution
    friend class TMainThreadHandOver; // delivers a worker's result
    using TCommand::Conclude;         // asynchronous commands conclude through Finish only

    // A hand-over arrived on the main thread: runs it when its execution is still pending.
    void Deliver(std::uint64_t iExecution, const std::function<void()>& aWork);

    std::unique_ptr<QObject> fContext;
    TMainThreadPost fPost; // closed when the command goes
    std::uint64_t fiExecution = 0;
    bool fbPending = false;
};
