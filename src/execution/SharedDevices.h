#pragma once

#include "SharedDeviceGate.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class TDevice;
class TDeviceContext;
class TDeviceTypes;
class TRegIO;
class TTreeNode;

// The devices a station's sockets share (Device.Shared lines): each made once, with a context of
// its own that stands for the socket holding the device (its variables, value log, messages,
// runner and operator faces), so that a shared meter's value lands in the holder's variable and
// value log. A socket takes all shared devices its test case uses before the case's first step
// of one of them runs, in the order of their declaration (so two sockets never wait for each
// other), and holds them until its next test case starts or its run ends. Sockets wait in the
// order of their arrival; the waiting socket logs what it waits for.
class TSharedDevices : public ISharedDeviceGate, public IStationDevices
{
public:
    // aTypes, aSettings: as for the sessions; both outlive this.
    TSharedDevices(const TDeviceTypes* aTypes, TRegIO* aSettings);
    ~TSharedDevices() override;
    TSharedDevices(const TSharedDevices&) = delete;
    TSharedDevices& operator=(const TSharedDevices&) = delete;

    TDevice& SharedDevice(const QString& sDefinition, TDeviceContext& aLoading) override;
    std::uint64_t Acquire(TDevice& aDevice, TDeviceContext& aHolder, const TTreeNode* aNode,
                          std::function<void()> aGranted) override;
    void CancelWait(std::uint64_t iTicket) override;
    void RunStarted(TDeviceContext& aHolder) override;
    void RunEnded(TDeviceContext& aHolder) override;

    // aHolder's test case ended (or its run): it gives back every shared device it holds, each to
    // the socket that has waited longest for it, and forgets its requests.
    void ReleaseAll(const TDeviceContext& aHolder);
    // aHolder goes away (its runner is destroyed), maybe in the middle of a run: no device hears
    // of that run's end any more.
    void Forget(const TDeviceContext& aHolder);

    int Count() const { return int(fEntries.size()); }
    TDevice* Device(const QString& sName) const;
    // The session holding a device; null when it is free.
    const TDeviceContext* Holder(const QString& sName) const;
    // The name of the device aHolder waits for; empty when it waits for none.
    QString WaitingFor(const TDeviceContext& aHolder) const;

private:
    struct TEntry
    {
        QString sName;
        QString sDefinition;
        std::unique_ptr<TDeviceContext> context;
        std::unique_ptr<TDevice> device;
        TDeviceContext* pHolder = nullptr;
        std::deque<std::uint64_t> waiting; // tickets, in the order of their arrival
        // The sessions whose current run the device was told of (RunStarted) and not yet ended.
        std::vector<const TDeviceContext*> told;
    };
    struct TRequest
    {
        TDeviceContext* pHolder = nullptr;
        std::vector<int> needed; // entry indexes, ascending
        std::size_t iNext = 0;   // the first of them not taken yet
        std::function<void()> granted;
    };

    int IndexOf(const TDevice& aDevice) const;
    // The shared devices aNode's top-level test case uses, aDevice's index among them, ascending.
    std::vector<int> Needed(const TDevice& aDevice, const TTreeNode* aNode) const;
    // Takes what it can of the request's devices in order; true when it holds them all.
    bool Advance(std::uint64_t iTicket, TRequest& aRequest);
    void Take(TEntry& aEntry, TDeviceContext* aHolder);
    void Bind(TEntry& aEntry, TDeviceContext* aHolder);
    // Tells the devices aHolder holds of its run's start, those not told yet; just before a step
    // of aHolder's runs.
    void TellRunStarted(const TDeviceContext* aHolder);
    // Calls a device's run hook; what it raises is logged in its holder's session.
    static void CallHook(TEntry& aEntry, void (TDevice::*aHook)());

    std::vector<TEntry> fEntries;
    std::map<std::uint64_t, TRequest> fRequests;
    std::uint64_t fiNextTicket = 1;
    std::vector<const TDeviceContext*> fRunning; // sessions whose run is on
    const TDeviceTypes* fpTypes;
    TRegIO* fpSettings;
    // Grants to waiting sockets run from the event loop, never inside another socket's release.
    QObject fPoster;
};
