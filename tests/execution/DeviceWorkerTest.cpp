// The device worker: a stop wakes every wait of its body, nothing it posted reaches the main thread
// once it was stopped, and an exception on its thread arrives on the main thread as a failure.

#include "TestDevices.h"

#include "execution/DeviceWorker.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A command whose execution runs fWork on the device's worker.
class TWorkerCmd : public TAsyncCommand
{
public:
    TWorkerCmd(TDevice* aOwner, TWorkerThread& aWorker) : TAsyncCommand(aOwner), fWorker(aWorker) {}

    TWorkerThread::TBody fWork;
    bool fbDone = false;

protected:
    void Start(const QString&) override
    {
        RunOnWorker(fWorker, fWork, [this] {
            fbDone = true;
            Finish(crOk);
        });
    }
    void StopPendingWork() override { fWorker.Stop(); }

private:
    TWorkerThread& fWorker;
};

class DeviceWorkerTest : public ::testing::Test
{
protected:
    void SetUp() override { fLog.Attach(); }
    void TearDown() override
    {
        fWorker.reset();
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }
    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    TMsgLog fLog;
    TTestDevice fDevice;
    std::unique_ptr<TDeviceWorker> fWorker = std::make_unique<TDeviceWorker>(fDevice.Msg(), "tzk-test");
};

TEST_F(DeviceWorkerTest, StopWakesEveryWaitOfTheBody)
{
    struct TCase
    {
        const char* sName;
        // The body's wait; true when it saw the stop.
        std::function<bool(const TWorkerThread::TLink&)> wait;
    };
    const TCase cases[] = {
        {"a long timed wait", [](const TWorkerThread::TLink& aLink) { return aLink.WaitFor(24h); }},
        {"a wait for a condition that never holds",
         [](const TWorkerThread::TLink& aLink) { return !aLink.WaitUntil([] { return false; }); }},
    };
    for (const TCase& c : cases) {
        std::atomic<bool> bWaiting{false};
        std::atomic<bool> bSawStop{false};
        fWorker->Start([&](const TWorkerThread::TLink& aLink) {
            bWaiting = true;
            bSawStop = c.wait(aLink);
        });
        ASSERT_TRUE(RunEventsUntil([&] { return bWaiting.load(); })) << c.sName;
        EXPECT_TRUE(fWorker->Running()) << c.sName;
        // Would hang here if the wait were not woken.
        fWorker->Stop();
        EXPECT_FALSE(fWorker->Running()) << c.sName;
        EXPECT_TRUE(bSawStop) << c.sName;
    }

    // A request to stop wakes the wait too, and the end is still reported on the main thread.
    bool bEnded = false;
    fWorker->Start([](const TWorkerThread::TLink& aLink) { aLink.WaitFor(24h); }, [&] { bEnded = true; });
    EXPECT_TRUE(fWorker->RequestStop());
    ASSERT_TRUE(RunEventsUntil([&] { return bEnded; }));
    EXPECT_FALSE(fWorker->Running());
    EXPECT_FALSE(fWorker->RequestStop()) << "nothing runs any more";
}

TEST_F(DeviceWorkerTest, WaitUntilTakesTheOwnersUpdate)
{
    bool bReady = false; // under the worker's lock
    std::atomic<bool> bPassed{false};
    fWorker->Start(
        [&](const TWorkerThread::TLink& aLink) { bPassed = aLink.WaitUntil([&] { return bReady; }); });
    fWorker->Update([&] { bReady = true; });
    ASSERT_TRUE(RunEventsUntil([&] { return bPassed.load(); }));
}

TEST_F(DeviceWorkerTest, PostsArriveInOrderOnTheMainThreadBeforeTheEnd)
{
    std::vector<int> delivered;
    std::vector<QThread*> threads;
    fWorker->Start(
        [&](const TWorkerThread::TLink& aLink) {
            for (int i = 1; i <= 3; ++i)
                aLink.PostToMain([&, i] {
                    delivered.push_back(i);
                    threads.push_back(QThread::currentThread());
                });
        },
        [&] { delivered.push_back(0); });
    ASSERT_TRUE(RunEventsUntil([&] { return delivered.size() == 4; }));
    EXPECT_EQ(delivered, (std::vector<int>{1, 2, 3, 0}));
    for (QThread* pThread : threads)
        EXPECT_EQ(pThread, QCoreApplication::instance()->thread());
}

TEST_F(DeviceWorkerTest, APostAfterTheReleaseIsDropped)
{
    // Posted before the stop but not yet delivered: dropped, and so is the end.
    std::atomic<bool> bPosted{false};
    bool bDelivered = false;
    bool bEnded = false;
    std::optional<TWorkerThread::TLink> kept;
    fWorker->Start(
        [&](const TWorkerThread::TLink& aLink) {
            kept = aLink;
            aLink.PostToMain([&] { bDelivered = true; });
            bPosted = true;
            aLink.WaitFor(24h);
        },
        [&] { bEnded = true; });
    while (!bPosted)
        QThread::msleep(1);
    fWorker->Stop();
    Settle();
    EXPECT_FALSE(bDelivered);
    EXPECT_FALSE(bEnded);

    // After the stop, and after the device's worker is gone: refused.
    ASSERT_TRUE(kept.has_value());
    EXPECT_FALSE(kept->PostToMain([] { ADD_FAILURE() << "reached a stopped worker"; }));
    EXPECT_FALSE(fWorker->PostToMain([] { ADD_FAILURE() << "reached a stopped worker"; }));
    fWorker.reset();
    EXPECT_FALSE(kept->PostToMain([] { ADD_FAILURE() << "reached a destroyed worker"; }));
    Settle();

    // A worker destroyed while its body still waits: stopped, its post dropped.
    auto worker = std::make_unique<TDeviceWorker>(fDevice.Msg(), "tzk-test");
    bPosted = false;
    worker->Start([&](const TWorkerThread::TLink& aLink) {
        aLink.PostToMain([] { ADD_FAILURE() << "reached a destroyed worker"; });
        bPosted = true;
        aLink.WaitFor(24h);
    });
    while (!bPosted)
        QThread::msleep(1);
    worker.reset();
    Settle();
}

TEST_F(DeviceWorkerTest, APostClosedFromInsideItsOwnCallDropsTheRest)
{
    // As a converter that is found lost closes itself in its poller's notification.
    const TMainThreadPost post;
    bool bFirst = false;
    bool bSecond = false;
    ASSERT_TRUE(post.Post([&] {
        post.Close();
        bFirst = true;
    }));
    ASSERT_TRUE(post.Post([&] { bSecond = true; }));
    Settle();
    EXPECT_TRUE(bFirst);
    EXPECT_FALSE(bSecond);
    EXPECT_FALSE(post.IsOpen());
    EXPECT_FALSE(post.Post([] { ADD_FAILURE() << "reached a closed post"; }));
    Settle();
}

TEST_F(DeviceWorkerTest, AnExceptionOnTheThreadBecomesAFailureOnTheMainThread)
{
    // Without a handler: an error in the device's session.
    fWorker->Start([](const TWorkerThread::TLink&) { throw EError(QStringLiteral("converter gone")); });
    ASSERT_TRUE(RunEventsUntil([&] { return LogHas(fLog, QStringLiteral("converter gone")); }));
    EXPECT_FALSE(fWorker->Running());

    // With a handler: the text reaches it on the main thread, before the end.
    std::vector<QString> events;
    QThread* pFailedOn = nullptr;
    fWorker->Start([](const TWorkerThread::TLink&) { throw 42; },
                   [&] { events.push_back(QStringLiteral("end")); },
                   [&](const QString& sText) {
                       events.push_back(sText);
                       pFailedOn = QThread::currentThread();
                   });
    ASSERT_TRUE(RunEventsUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<QString>{QStringLiteral("Unknown exception"), QStringLiteral("end")}));
    EXPECT_EQ(pFailedOn, QCoreApplication::instance()->thread());
}

TEST_F(DeviceWorkerTest, ACommandOnTheWorkerConcludesOnce)
{
    TWorkerCmd cmd(&fDevice, *fWorker);
    int iResults = 0;
    cmd.SetOnResult([&](TCommand*) { ++iResults; });

    // The work fails on the thread: the step fails with the exception's text.
    cmd.fWork = [](const TWorkerThread::TLink&) { throw EError(QStringLiteral("no reply from the meter")); };
    cmd.Execute(QString());
    ASSERT_TRUE(RunEventsUntil([&] { return iResults > 0; }));
    Settle();
    EXPECT_EQ(iResults, 1);
    EXPECT_EQ(cmd.CmdResult(), crFailed);
    EXPECT_EQ(cmd.ErrorText(), QStringLiteral("no reply from the meter"));
    EXPECT_FALSE(cmd.fbDone) << "the end of a failed execution is not its success";

    // The work ends: the step concludes with what the main thread makes of it.
    cmd.fWork = [](const TWorkerThread::TLink&) {};
    cmd.Execute(QString());
    ASSERT_TRUE(RunEventsUntil([&] { return iResults > 1; }));
    EXPECT_EQ(cmd.CmdResult(), crOk);

    // Cancelled while the work waits: stopped, and nothing concludes the step afterwards.
    cmd.fbDone = false;
    cmd.fWork = [](const TWorkerThread::TLink& aLink) { aLink.WaitFor(24h); };
    cmd.Execute(QString());
    cmd.Cancel();
    Settle();
    EXPECT_EQ(iResults, 2);
    EXPECT_EQ(cmd.CmdResult(), crCancelled);
    EXPECT_FALSE(cmd.fbDone);
}

} // namespace
