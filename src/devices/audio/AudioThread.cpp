#include "AudioThread.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

namespace audio {

bool TAudioThreadLink::Post(std::function<void()> aWork) const
{
    const std::lock_guard<std::mutex> lock(fShared->mutex);
    if (!fShared->bOpen)
        return false;
    // The receiver lives until the owner closed the link under this lock, so the queued call
    // never meets a destroyed receiver; a call queued before the closing is dropped by the check.
    QMetaObject::invokeMethod(
        fShared->receiver.get(),
        [shared = fShared, work = std::move(aWork)] {
            bool bOpen = false;
            {
                const std::lock_guard<std::mutex> runLock(shared->mutex);
                bOpen = shared->bOpen;
            }
            if (!bOpen)
                return;
            // Nothing a device does with a hand-over may end the program from the event loop.
            try {
                work();
            } catch (const std::exception& e) {
                TMsg::Error(ExceptionText(e));
            }
        },
        Qt::QueuedConnection);
    return true;
}

TAudioThread::~TAudioThread()
{
    Shutdown();
}

void TAudioThread::Start(std::function<void(const TAudioThreadLink&)> aRun, std::function<void()> aEnded)
{
    Shutdown();
    fShared = std::make_shared<TAudioThreadLink::TShared>();
    fShared->receiver = std::make_unique<QObject>();
    const TAudioThreadLink link(fShared);
    fThread = std::thread([link, run = std::move(aRun), ended = std::move(aEnded), this] {
        run(link);
        link.Post([this, ended] {
            Ended();
            ended();
        });
    });
}

bool TAudioThread::Stop()
{
    if (!Running())
        return false;
    fShared->bTerminate.store(true);
    return true;
}

void TAudioThread::Ended()
{
    if (fThread.joinable())
        fThread.join();
}

void TAudioThread::Shutdown()
{
    if (fShared) {
        {
            const std::lock_guard<std::mutex> lock(fShared->mutex);
            fShared->bOpen = false;
        }
        fShared->bTerminate.store(true);
    }
    if (fThread.joinable())
        fThread.join();
    // Deleting the receiver also discards the calls still queued for it.
    if (fShared)
        fShared->receiver.reset();
    fShared.reset();
}

} // namespace audio
