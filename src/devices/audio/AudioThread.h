#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace audio {

// What a capture or render thread holds of its owner: the stop request and the way to the main
// thread. Copies are cheap and safe on any thread.
class TAudioThreadLink
{
public:
    struct TShared
    {
        std::mutex mutex;
        bool bOpen = true;
        std::unique_ptr<QObject> receiver;
        std::atomic<bool> bTerminate{false};
    };

    explicit TAudioThreadLink(std::shared_ptr<TShared> aShared) : fShared(std::move(aShared)) {}

    bool Terminated() const { return fShared->bTerminate.load(); }
    void Terminate() const { fShared->bTerminate.store(true); }
    // Queues aWork for the main thread, in order, without waiting; dropped once the owner closed
    // the link (it stopped the thread or went away).
    bool Post(std::function<void()> aWork) const;

private:
    std::shared_ptr<TShared> fShared;
};

// One worker thread of an audio device at a time. The thread's end is handed to the main thread
// after everything it posted; stopping is a request the thread sees between packets. Destroying
// the object drops what was not yet delivered, stops the thread and waits for it, so that no
// thread outlives its device and no late call reaches it.
class TAudioThread
{
public:
    TAudioThread() = default;
    ~TAudioThread();
    TAudioThread(const TAudioThread&) = delete;
    TAudioThread& operator=(const TAudioThread&) = delete;

    bool Running() const { return fThread.joinable(); }
    // Runs aRun on a new thread; aEnded runs on the main thread when it has finished.
    void Start(std::function<void(const TAudioThreadLink&)> aRun, std::function<void()> aEnded);
    // Asks the running thread to end; false when none runs.
    bool Stop();
    // Drops what the thread has posted and not yet delivered, stops it and waits for it.
    void Shutdown();

private:
    void Ended();

    std::thread fThread;
    std::shared_ptr<TAudioThreadLink::TShared> fShared;
};

} // namespace audio
