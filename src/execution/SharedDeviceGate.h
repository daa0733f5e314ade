#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class TDevice;
class TDeviceContext;
class TTreeNode;

// The gate of a station's shared devices (a device declared with Device.Shared: made once for
// the station, used by one socket at a time). A step of a shared device passes it before its
// command executes; the session the step belongs to then holds the device until its test case ends.
class ISharedDeviceGate
{
public:
    virtual ~ISharedDeviceGate() = default;

    // Calls aGranted once aHolder holds every shared device that aNode's test case uses (aDevice
    // among them), taken in the station's one order: at once when they are free or already its,
    // else when its turn comes (in the order of arrival). While aHolder holds a device, the
    // device's context is aHolder's. Returns a ticket for CancelWait, 0 when granted at once.
    virtual std::uint64_t Acquire(TDevice& aDevice, TDeviceContext& aHolder, const TTreeNode* aNode,
                                  std::function<void()> aGranted) = 0;
    // Forgets a request not granted yet (its step was cancelled or is going away).
    virtual void CancelWait(std::uint64_t iTicket) = 0;
};

// Where a session's Device.Shared line finds its device: the station makes it on the first
// socket's load and hands the same device to every other socket's.
class IStationDevices
{
public:
    virtual ~IStationDevices() = default;

    // The shared device of a Device.Shared line's parameters (type keyword, name, the type's
    // parameters), made when it is new; raises EMsg when the name is declared with other
    // parameters. aLoading: the session loading the line, whose variables and value log the
    // device's commands see while they are read.
    virtual TDevice& SharedDevice(const QString& sDefinition, TDeviceContext& aLoading) = 0;

    // aHolder's run starts: each shared device hears of it (TDevice::RunStarted) when aHolder
    // first takes it in this run, before the first of aHolder's steps of it runs.
    virtual void RunStarted(TDeviceContext& aHolder) = 0;
    // aHolder's run has ended: each shared device aHolder holds, or took in this run, hears of its
    // end (TDevice::RunEnded) while it works for aHolder, unless another socket holds it now, whose
    // work goes on undisturbed (the device hears of that socket's run end in turn).
    virtual void RunEnded(TDeviceContext& aHolder) = 0;
};
