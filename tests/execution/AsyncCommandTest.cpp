#include "TestDevices.h"

#include "core/MsgClasses.h"
#include "core/MsgLog.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// One asynchronous command, executed the way a job does it: OnResult set before Execute.
class AsyncCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fLog.Attach();
        fCmd = std::make_unique<TTestAsyncCmd>(&fDevice);
        fCmd->SetOnResult([this](TCommand*) {
            ++fiResults;
            pConcludedOn = QThread::currentThread();
        });
    }
    void TearDown() override
    {
        fCmd.reset();
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    // Lets the event loop run until nothing more happens for this command.
    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    TMsgLog fLog;
    TTestDevice fDevice;
    std::unique_ptr<TTestAsyncCmd> fCmd;
    int fiResults = 0;
    QThread* pConcludedOn = nullptr;
};

TEST_F(AsyncCommandTest, ExceptionFromASlotFailsTheStepWithItsText)
{
    fCmd->fOnTimer = [](TTestAsyncCmd&) { throw EError(QStringLiteral("device gone")); };
    fCmd->Execute(QString());
    EXPECT_TRUE(fCmd->Pending());
    ASSERT_TRUE(RunEventsUntil([this] { return fiResults > 0; }));
    Settle();
    EXPECT_EQ(fiResults, 1);
    EXPECT_EQ(fCmd->CmdResult(), crFailed);
    EXPECT_EQ(fCmd->ErrorText(), QStringLiteral("device gone"));
    EXPECT_EQ(fCmd->fiStops, 1) << "the pending work is stopped before the step fails";
    EXPECT_FALSE(fCmd->Pending());
}

TEST_F(AsyncCommandTest, ConcludesOnceHoweverOftenItIsFinished)
{
    fCmd->fOnTimer = [](TTestAsyncCmd& aCmd) {
        aCmd.Finish(crOk);
        aCmd.Finish(crFailed);
    };
    fCmd->Execute(QString());
    ASSERT_TRUE(RunEventsUntil([this] { return fiResults > 0; }));
    Settle();
    EXPECT_EQ(fiResults, 1);
    EXPECT_EQ(fCmd->CmdResult(), crOk);

    // The next execution concludes again, once.
    fCmd->Execute(QString());
    ASSERT_TRUE(RunEventsUntil([this] { return fiResults > 1; }));
    Settle();
    EXPECT_EQ(fiResults, 2);
}

TEST_F(AsyncCommandTest, AnExceptionAfterTheConclusionIsLoggedNotLost)
{
    fCmd->SetOnResult([this](TCommand*) {
        ++fiResults;
        throw EError(QStringLiteral("handler failed"));
    });
    fCmd->fOnTimer = [](TTestAsyncCmd& aCmd) { aCmd.Finish(crDone); };
    fCmd->Execute(QString());
    ASSERT_TRUE(RunEventsUntil([this] { return fiResults > 0; }));
    Settle();
    EXPECT_EQ(fiResults, 1);
    EXPECT_EQ(fCmd->CmdResult(), crDone);
    EXPECT_TRUE(LogHas(fLog, QStringLiteral("handler failed")));
}

TEST_F(AsyncCommandTest, CancelStopsThePendingWork)
{
    bool bRan = false;
    fCmd->fOnTimer = [&bRan](TTestAsyncCmd& aCmd) {
        bRan = true;
        aCmd.Finish(crDone);
    };
    fCmd->Execute(QString());
    fCmd->Cancel();
    Settle();
    EXPECT_FALSE(bRan);
    EXPECT_EQ(fiResults, 0);
    EXPECT_EQ(fCmd->fiStops, 1);
    EXPECT_EQ(fCmd->CmdResult(), crCancelled);
    fCmd->Cancel();
    EXPECT_EQ(fCmd->fiStops, 1) << "nothing is pending any more";
}

TEST_F(AsyncCommandTest, WorkerThreadConcludesOnTheMainThread)
{
    fCmd->fbUseThread = true;
    fCmd->fThreadResult = crOk;
    fCmd->Execute(QString());
    // The worker records Post's answer after posting: the main thread may conclude first.
    ASSERT_TRUE(RunEventsUntil([this] { return fiResults > 0 && fCmd->fbPosted; }));
    EXPECT_EQ(fCmd->CmdResult(), crOk);
    EXPECT_EQ(pConcludedOn, QCoreApplication::instance()->thread());
}

TEST_F(AsyncCommandTest, HandOverOfACancelledOrDestroyedCommandIsDropped)
{
    // Cancelled before the worker's hand-over arrives: the step stays cancelled.
    fCmd->fbUseThread = true;
    fCmd->Execute(QString());
    fCmd->Cancel();
    Settle();
    EXPECT_EQ(fiResults, 0);
    EXPECT_EQ(fCmd->CmdResult(), crCancelled);

    // Destroyed: a worker that still holds the hand-over cannot reach it.
    fCmd->Execute(QString());
    const TMainThreadHandOver handOver = fCmd->HandOver();
    fCmd.reset();
    EXPECT_FALSE(handOver.Post([] { ADD_FAILURE() << "reached a destroyed command"; }));
    Settle();
}

} // namespace
