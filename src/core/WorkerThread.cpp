#include "WorkerThread.h"

#include "MsgClasses.h"
#include "MsgExceptions.h"

#include <QMetaObject>
#include <QObject>

#include <exception>

#include <pthread.h>

// ---------------------------------------------------------------------------------------------
// TMainThreadPost

// The receiver lives on the main thread until the post is closed under the lock, so a queued call
// never meets a destroyed receiver; one queued before the closing is dropped by the check.
struct TMainThreadPost::TShared
{
    std::mutex Lock;
    bool bOpen = true;
    std::unique_ptr<QObject> Receiver = std::make_unique<QObject>();
    int iDelivering = 0; // main thread only: calls of this post under way

    ~TShared()
    {
        // Never closed: the last copy may go on another thread than the receiver's.
        if (Receiver)
            Receiver.release()->deleteLater();
    }
};

TMainThreadPost::TMainThreadPost() : fShared(std::make_shared<TShared>()) {}

bool TMainThreadPost::Post(std::function<void()> aWork) const
{
    const std::lock_guard<std::mutex> lock(fShared->Lock);
    if (!fShared->bOpen)
        return false;
    QMetaObject::invokeMethod(
        fShared->Receiver.get(),
        [shared = fShared, work = std::move(aWork)] {
            {
                const std::lock_guard<std::mutex> runLock(shared->Lock);
                if (!shared->bOpen)
                    return;
            }
            ++shared->iDelivering;
            try {
                work();
            } catch (const std::exception& e) {
                TMsg::Error(ExceptionText(e));
            } catch (...) {
                TMsg::Error(QStringLiteral("Unknown exception"));
            }
            --shared->iDelivering;
        },
        Qt::QueuedConnection);
    return true;
}

void TMainThreadPost::Close() const
{
    std::unique_ptr<QObject> receiver;
    {
        const std::lock_guard<std::mutex> lock(fShared->Lock);
        fShared->bOpen = false;
        receiver = std::move(fShared->Receiver);
    }
    // Deleting the receiver discards the calls still queued for it; from inside one of its calls it
    // goes once that call has returned.
    if (receiver && fShared->iDelivering > 0)
        receiver.release()->deleteLater();
}

bool TMainThreadPost::IsOpen() const
{
    const std::lock_guard<std::mutex> lock(fShared->Lock);
    return fShared->bOpen;
}

// ---------------------------------------------------------------------------------------------
// TWorkerThread

struct TWorkerThread::TLink::TState
{
    std::mutex Lock;
    std::condition_variable Wake;
    bool bStop = false; // under Lock
    TMainThreadPost Post;
};

bool TWorkerThread::TLink::Stopping() const
{
    const std::lock_guard<std::mutex> lock(fState->Lock);
    return fState->bStop;
}

void TWorkerThread::TLink::RequestStop() const
{
    {
        const std::lock_guard<std::mutex> lock(fState->Lock);
        fState->bStop = true;
    }
    fState->Wake.notify_all();
}

bool TWorkerThread::TLink::WaitFor(std::chrono::milliseconds aTimeout) const
{
    std::unique_lock<std::mutex> lock(fState->Lock);
    return fState->Wake.wait_for(lock, aTimeout, [this] { return fState->bStop; });
}

bool TWorkerThread::TLink::WaitUntil(const std::function<bool()>& aReady) const
{
    std::unique_lock<std::mutex> lock(fState->Lock);
    fState->Wake.wait(lock, [&] { return fState->bStop || aReady(); });
    return !fState->bStop;
}

bool TWorkerThread::TLink::PostToMain(std::function<void()> aWork) const
{
    return fState->Post.Post(std::move(aWork));
}

TWorkerThread::TWorkerThread(const char* sName) : fsName(sName) {}

TWorkerThread::~TWorkerThread()
{
    Stop();
}

void TWorkerThread::Start(TBody aBody, std::function<void()> aEnded, TFailedEvent aFailed)
{
    Stop();
    fState = std::make_shared<TLink::TState>();
    fThread = std::thread([this, link = TLink(fState), body = std::move(aBody), ended = std::move(aEnded),
                           failed = std::move(aFailed)] {
        QString sFailure;
        bool bFailed = false;
        try {
            body(link);
        } catch (const std::exception& e) {
            bFailed = true;
            sFailure = ExceptionText(e);
        } catch (...) {
            bFailed = true;
            sFailure = QStringLiteral("Unknown exception");
        }
        // The post is closed before this object goes (Stop), so the call never meets it destroyed.
        link.PostToMain([this, bFailed, sFailure, ended, failed] {
            Ended();
            if (bFailed) {
                if (failed)
                    failed(sFailure);
                else
                    ReportFailure(sFailure);
            }
            if (ended)
                ended();
        });
    });
    // Named from here, so that the name is there as soon as Start returns.
    pthread_setname_np(fThread.native_handle(), fsName);
}

bool TWorkerThread::RequestStop()
{
    if (!Running())
        return false;
    TLink(fState).RequestStop();
    return true;
}

void TWorkerThread::Update(const std::function<void()>& aChange)
{
    if (!fState) {
        aChange();
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(fState->Lock);
        aChange();
    }
    fState->Wake.notify_all();
}

void TWorkerThread::Stop()
{
    if (fState) {
        fState->Post.Close();
        TLink(fState).RequestStop();
    }
    if (fThread.joinable())
        fThread.join();
}

bool TWorkerThread::PostToMain(std::function<void()> aWork) const
{
    return Running() && fState->Post.Post(std::move(aWork));
}

void TWorkerThread::ReportFailure(const QString& sText)
{
    TMsg::Error(sText);
}

void TWorkerThread::Ended()
{
    if (fThread.joinable())
        fThread.join();
}
