#include "TestContext.h"
#include "TestDevices.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/DeviceWaiter.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

// A command that waits for its device the way the device families do: it claims the device in
// Start, and each result of the device runs fOnResult (by default: conclude crOk).
class TWaitingCmd : public TAsyncCommand
{
public:
    explicit TWaitingCmd(TDevice* aOwner)
        : TAsyncCommand(aOwner),
          fClaim(*this, {QStringLiteral("Test \"Wait\" not finished last time!"), 0x7F1100})
    {}

    using TAsyncCommand::Finish;
    bool Release() { return fClaim.Release(); }
    bool Held() const { return fClaim.Held(); }

    std::function<void(TWaitingCmd&)> fOnResult = [](TWaitingCmd& aCmd) { aCmd.Finish(crOk); };
    bool fbClaim = true; // false: an execution that does not wait on the device (a plain send)
    int fiResults = 0;   // results of the device that reached this command
    int fiStops = 0;
    int fiResets = 0; // stops of an execution that held the device

protected:
    void Start(const QString&) override
    {
        if (!fbClaim)
            return;
        fClaim.Claim([this] {
            ++fiResults;
            fOnResult(*this);
        });
    }
    void StopPendingWork() override
    {
        ++fiStops;
        if (fClaim.Release())
            ++fiResets;
    }

private:
    TDeviceClaim fClaim;
};

class DeviceWaiterTest : public ::testing::Test
{
protected:
    void SetUp() override { TTestDevice::Register(); }
    void TearDown() override
    {
        TTestDevice::sOnReleased = nullptr;
        ReleaseTestDeviceList();
        TTestDevice::Unregister();
        TMsgClass::ReleaseSingleton();
    }

    // A waiting command owned by aDevice, whose conclusions are counted.
    TWaitingCmd& AddWaiting(TDevice& aDevice, int& iConclusions)
    {
        auto* pCmd = static_cast<TWaitingCmd*>(
            aDevice.AddCommand(QStringLiteral("Wait"), std::make_unique<TWaitingCmd>(&aDevice)));
        pCmd->SetOnResult([&iConclusions](TCommand*) { ++iConclusions; });
        return *pCmd;
    }

    TTestDevice fDevice;
};

TEST_F(DeviceWaiterTest, ResultReachesOnlyTheExecutionThatHoldsTheDevice)
{
    int iConclusions = 0;
    TWaitingCmd& cmd = AddWaiting(fDevice, iConclusions);
    TDeviceWaiter& waiter = fDevice.Waiter();
    EXPECT_FALSE(waiter.Busy());
    EXPECT_EQ(fDevice.OnResult(), nullptr);
    waiter.OnResult(); // nobody waits: nothing happens

    cmd.fOnResult = [](TWaitingCmd&) {}; // a partial response: keep waiting
    cmd.Execute(QString());
    EXPECT_TRUE(waiter.Busy());
    EXPECT_NE(fDevice.OnResult(), nullptr);
    waiter.OnResult();
    fDevice.OnResult()(&fDevice);
    EXPECT_EQ(cmd.fiResults, 2);
    EXPECT_EQ(iConclusions, 0);

    cmd.fOnResult = [](TWaitingCmd& aCmd) { aCmd.Finish(crOk); };
    waiter.OnResult();
    EXPECT_EQ(iConclusions, 1);
    EXPECT_EQ(cmd.CmdResult(), crOk);
    EXPECT_FALSE(waiter.Busy()) << "the conclusion releases the device";
    waiter.OnResult();
    EXPECT_EQ(cmd.fiResults, 3);

    // The next execution claims afresh; the results of the device reach it again.
    cmd.Execute(QString());
    waiter.OnResult();
    EXPECT_EQ(cmd.fiResults, 4);
    EXPECT_EQ(iConclusions, 2);
}

TEST_F(DeviceWaiterTest, NoResultReachesAnExecutionThatEnded)
{
    struct
    {
        const char* sCase;
        std::function<void(std::unique_ptr<TWaitingCmd>&)> End;
        int iStops;
    } const cases[] = {
        {"released", [](std::unique_ptr<TWaitingCmd>& aCmd) { EXPECT_TRUE(aCmd->Release()); }, 0},
        {"cancelled", [](std::unique_ptr<TWaitingCmd>& aCmd) { aCmd->Cancel(); }, 1},
        {"concluded", [](std::unique_ptr<TWaitingCmd>& aCmd) { aCmd->Finish(crFailed); }, 0},
        {"concluded, then executed without a claim",
         [](std::unique_ptr<TWaitingCmd>& aCmd) {
             aCmd->Finish(crOk);
             aCmd->fbClaim = false;
             aCmd->Execute(QString());
             EXPECT_TRUE(aCmd->Pending());
         },
         0},
        {"destroyed", [](std::unique_ptr<TWaitingCmd>& aCmd) { aCmd.reset(); }, 0},
    };
    for (const auto& c : cases) {
        auto cmd = std::make_unique<TWaitingCmd>(&fDevice);
        int iResults = 0;
        cmd->fOnResult = [&iResults](TWaitingCmd&) { ++iResults; };
        cmd->Execute(QString());
        ASSERT_TRUE(fDevice.Waiter().Busy()) << c.sCase;
        c.End(cmd);
        EXPECT_FALSE(fDevice.Waiter().Busy()) << c.sCase;
        EXPECT_EQ(fDevice.OnResult(), nullptr) << c.sCase;
        fDevice.Waiter().OnResult();
        EXPECT_EQ(iResults, 0) << c.sCase;
        if (cmd) {
            EXPECT_EQ(cmd->fiStops, c.iStops) << c.sCase;
            EXPECT_EQ(cmd->fiResets, c.iStops) << c.sCase << ": a cancel stops the holder's work";
        }
    }
}

TEST_F(DeviceWaiterTest, SecondClaimIsRefusedWithTheBusyMessageAndLeavesTheHolderAlone)
{
    int iFirst = 0;
    int iSecond = 0;
    TWaitingCmd& first = AddWaiting(fDevice, iFirst);
    TWaitingCmd& second = AddWaiting(fDevice, iSecond);
    first.Execute(QString());

    second.Execute(QString());
    EXPECT_EQ(iSecond, 1);
    EXPECT_EQ(second.CmdResult(), crFailed);
    EXPECT_EQ(second.ErrorText(), QStringLiteral("Test \"Wait\" not finished last time!\r\nID: 7F1100:0"));
    EXPECT_EQ(second.fiStops, 1);
    EXPECT_EQ(second.fiResets, 0) << "a refused command must not reset the device of the holder";

    EXPECT_TRUE(first.Held());
    fDevice.Waiter().OnResult();
    EXPECT_EQ(first.fiResults, 1);
    EXPECT_EQ(second.fiResults, 0);
    EXPECT_EQ(first.CmdResult(), crOk);
    EXPECT_EQ(iFirst, 1);

    // Once the device is free, the other command gets it.
    second.Execute(QString());
    EXPECT_TRUE(second.Held());
}

TEST_F(DeviceWaiterTest, ExceptionInTheRoutineFailsTheStepWithItsText)
{
    int iConclusions = 0;
    TWaitingCmd& cmd = AddWaiting(fDevice, iConclusions);
    cmd.fOnResult = [](TWaitingCmd&) { throw EError(QStringLiteral("garbled response")); };
    cmd.Execute(QString());
    fDevice.Waiter().OnResult();
    EXPECT_EQ(iConclusions, 1);
    EXPECT_EQ(cmd.CmdResult(), crFailed);
    EXPECT_EQ(cmd.ErrorText(), QStringLiteral("garbled response"));
    EXPECT_EQ(cmd.fiResets, 1) << "the holder's work is stopped before the step fails";
    EXPECT_FALSE(fDevice.Waiter().Busy());
}

TEST_F(DeviceWaiterTest, ClearingTheDeviceListConcludesAWaitingCommandOnce)
{
    TDevice* pFirst = TestDeviceList().Append(QStringLiteral("TestDevice;D1"));
    TDevice* pSecond = TestDeviceList().Append(QStringLiteral("TestDevice;D2"));
    int iWaiting = 0;
    int iIdle = 0;
    TWaitingCmd& waiting = AddWaiting(*pFirst, iWaiting);
    AddWaiting(*pSecond, iIdle);
    waiting.Execute(QString());

    // A device that still reports a result while it is released reaches nobody.
    TTestDevice::sOnReleased = [](TTestDevice& aDevice) { aDevice.Waiter().OnResult(); };
    const TDeviceLifeGuard life = pFirst->Waiter().LifeGuard();
    ASSERT_TRUE(life.Alive());
    TestDeviceList().Clear();

    EXPECT_FALSE(life.Alive());
    EXPECT_EQ(iWaiting, 1);
    EXPECT_EQ(iIdle, 0) << "a command that does not wait is not concluded";
}

TEST_F(DeviceWaiterTest, CancelWaitingStopsTheHolderAndConcludesItCancelled)
{
    int iConclusions = 0;
    TWaitingCmd& cmd = AddWaiting(fDevice, iConclusions);
    cmd.Execute(QString());
    fDevice.Waiter().CancelWaiting();
    EXPECT_EQ(iConclusions, 1);
    EXPECT_EQ(cmd.CmdResult(), crCancelled);
    EXPECT_EQ(cmd.fiResets, 1);
    EXPECT_FALSE(cmd.Pending());

    fDevice.Waiter().OnResult();
    fDevice.Waiter().CancelWaiting();
    EXPECT_EQ(cmd.fiResults, 0);
    EXPECT_EQ(iConclusions, 1);
}

} // namespace
