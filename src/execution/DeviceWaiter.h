#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TAsyncCommand;
class TDeviceClaim;

// Tells whether a device still exists, for code of the device that runs a nested event loop (an
// operator dialog) in which the definition may be unloaded and the device destroyed.
class TDeviceLifeGuard
{
public:
    bool Alive() const { return !fLife.expired(); }

private:
    friend class TDeviceWaiter;
    explicit TDeviceLifeGuard(std::weak_ptr<const bool> aLife) : fLife(std::move(aLife)) {}

    std::weak_ptr<const bool> fLife;
};

// The one way a command waits for its device. A device has at most one waiting command: the
// command holds the device's waiter through its TDeviceClaim, and the device reports each result
// (data arrived, an operation started or ended, a timer ran out, the channel failed) through
// OnResult. The result reaches the holding command only while the execution that claimed the
// device is pending: a command that concluded, was cancelled, released its claim or was destroyed
// is never reached.
class TDeviceWaiter
{
public:
    TDeviceWaiter();
    ~TDeviceWaiter();

    TDeviceWaiter(const TDeviceWaiter&) = delete;
    TDeviceWaiter& operator=(const TDeviceWaiter&) = delete;

    // True while a pending command holds the device.
    bool Busy() const;
    // The device's result: runs the holding command's routine guarded (an exception fails the
    // step with its text); does nothing while no command waits.
    void OnResult();
    // The device is about to go: the holding command is cancelled (its Cancel stops its work) and
    // concludes crCancelled, once; nothing reaches it afterwards.
    void CancelWaiting();

    TDeviceLifeGuard LifeGuard() const { return TDeviceLifeGuard(fLife); }

private:
    friend class TDeviceClaim;
    TDeviceClaim* Holder() const;

    TDeviceClaim* fClaim = nullptr;
    std::shared_ptr<const bool> fLife;
};

// The message a command is refused with while another command waits on its device, e.g.
// "Command execution not finished last time!" with its message ID.
struct TBusyMessage
{
    QString sText;
    std::uint32_t dwId = 0;
};

// One command's claim on the waiter of its device, kept as a member of the command so that it is
// released when the command is destroyed. The claim lasts for the execution that made it: it ends
// when that execution concludes or is cancelled, or with Release.
class TDeviceClaim
{
public:
    TDeviceClaim(TAsyncCommand& aCommand, TBusyMessage aBusy);
    ~TDeviceClaim();

    TDeviceClaim(const TDeviceClaim&) = delete;
    TDeviceClaim& operator=(const TDeviceClaim&) = delete;

    // Raises the busy message (EMsg with its ID) while another command waits on the device.
    void RequireIdle() const;
    // Holds the device for the pending execution: aRoutine runs at each result of the device until
    // the execution ends. Raises the busy message while another command waits on the device.
    void Claim(std::function<void()> aRoutine);
    // True while the execution that claimed the device holds it; also while that execution's
    // pending work is being stopped.
    bool Held() const;
    // Gives the device up. True when this command held it: only the holder may reset the device.
    bool Release();

private:
    friend class TDeviceWaiter;

    TAsyncCommand& fCommand;
    TDeviceWaiter* fWaiter;
    TBusyMessage fBusy;
    std::function<void()> fRoutine;
    std::uint64_t fiExecution = 0;
};
