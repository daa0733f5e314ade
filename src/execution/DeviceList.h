#pragma once

#include "Device.h"
#include "DeviceTypes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// The devices a session's definition declared, released before every load. Devices are made from
// the context's device types and with that context.
class TDeviceList
{
public:
    using TDeviceCreator = TDeviceTypes::TDeviceCreator;

    explicit TDeviceList(TDeviceContext& aContext) : fContext(aContext) {}
    ~TDeviceList();
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;

    TDeviceContext& Context() const { return fContext; }

    // Creates, initialises and registers a device from the parameter text of a Device.Create line.
    TDevice* Append(const QString& sDefinition);
    TDevice* Device(const QString& sName) const;
    // Enters a device the station owns (declared with Device.Shared) under its name: found like
    // the list's own devices, but not released by this list; the station tells it of this
    // session's runs (IStationDevices::RunStarted, RunEnded).
    void AddShared(const QString& sName, TDevice* aDevice);
    int Count() const { return int(fDeviceList.size()); }
    // Concludes the commands that still wait on a device (crCancelled), then releases and destroys
    // every device, the last declared first.
    void Clear();

    // Tells every device that a run starts or has ended, the shared ones through the station.
    void RunStarted();
    void RunEnded();

private:
    void CallHook(TDevice& aDevice, const std::function<void(TDevice&)>& aHook);

    TDeviceContext& fContext;
    std::vector<std::pair<QString, std::unique_ptr<TDevice>>> fDeviceList;
    std::vector<std::pair<QString, TDevice*>> fSharedDevices;
};
