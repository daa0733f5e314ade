#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QObject;

// The way from any thread to the main thread for one owner. What is posted runs on the main
// thread, in order, unless the owner closed the post meanwhile: then it is dropped, so that no late
// call reaches an owner that stopped listening or is gone. Copies share one channel; make it and
// close it on the main thread (the destructor of the last copy does not close it: its owner does).
class TMainThreadPost
{
public:
    TMainThreadPost();

    // Any thread: queues aWork for the main thread; false when the post is closed. An exception of
    // aWork is logged, it never ends the program from the event loop.
    bool Post(std::function<void()> aWork) const;
    // Main thread: drops what is queued and everything posted from now on. Safe from inside a
    // delivered call of this post.
    void Close() const;
    bool IsOpen() const;

private:
    struct TShared;
    std::shared_ptr<TShared> fShared;
};

// One worker thread at a time for an owner on the main thread: the thread's body waits only
// through its link, so that a stop wakes every wait, and it reaches the main thread only through
// the link's post, which is closed when the owner stops the thread. An exception that leaves the
// body is handed to the main thread as a failure with its text. Destroying the object stops the
// thread and waits for it.
//
// Transports use it directly (they build on core only); devices use TDeviceWorker.
class TWorkerThread
{
public:
    // What the thread's body holds. Copies are cheap; every call is safe on any thread.
    class TLink
    {
    public:
        // True once a stop was asked for (by the owner or by the body itself).
        bool Stopping() const;
        // Asks the body to end, as the owner's RequestStop does.
        void RequestStop() const;
        // Waits aTimeout or until a stop is asked for; true when stopping.
        bool WaitFor(std::chrono::milliseconds aTimeout) const;
        // Waits until aReady holds (checked under the worker's lock, see TWorkerThread::Update) or
        // a stop is asked for; false when stopping.
        bool WaitUntil(const std::function<bool()>& aReady) const;
        // Queues aWork for the main thread; dropped once the owner stopped the thread.
        bool PostToMain(std::function<void()> aWork) const;

    private:
        friend class TWorkerThread;
        struct TState;
        explicit TLink(std::shared_ptr<TState> aState) : fState(std::move(aState)) {}
        std::shared_ptr<TState> fState;
    };

    using TBody = std::function<void(const TLink& aLink)>;
    using TFailedEvent = std::function<void(const QString& sText)>;

    // sName names the thread (at most 15 characters), so that it can be told apart in a debugger
    // or in /proc.
    explicit TWorkerThread(const char* sName = "tzk-worker");
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Main thread: runs aBody on a new thread (a thread still running is stopped first). After
    // everything the body posted, on the main thread: aFailed with the text of an exception that
    // left the body (without aFailed, ReportFailure), then aEnded. Nothing of it runs once the
    // owner stopped the thread.
    void Start(TBody aBody, std::function<void()> aEnded = {}, TFailedEvent aFailed = {});
    bool Running() const { return fThread.joinable(); }
    // Asks the running body to end and wakes its waits; its end is reported as usual. False when
    // no thread runs.
    bool RequestStop();
    // Runs aChange under the lock WaitUntil checks its condition with, then wakes the waits.
    void Update(const std::function<void()>& aChange);
    // Closes the post (what the body posted and was not yet delivered is dropped, with its end),
    // asks the body to end, wakes every wait and joins the thread.
    void Stop();
    // Main thread: posts for the running body, as its link does; false when none runs.
    bool PostToMain(std::function<void()> aWork) const;

protected:
    // The failure of a body without its own handler.
    virtual void ReportFailure(const QString& sText);

private:
    void Ended();

    const char* const fsName;
    std::thread fThread;
    std::shared_ptr<TLink::TState> fState;
};
