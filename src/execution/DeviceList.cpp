#include "DeviceList.h"

#include "SharedDeviceGate.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <algorithm>

#include <utility>

TDevice* TDeviceList::Append(const QString& sDefinition)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sDefinition + csv.Separator());
    const QString sKeyword = csv.GetValueTrimmed(0);
    const QString sName = csv.GetValueTrimmed(1);
    if (Device(sName))
        throw EMsg(QStringLiteral("Device name \"%s\" already defined"), {sName}, TMsgId(0x10010A), Count());

    const TDeviceTypes& types = fContext.Types();
    std::unique_ptr<TDevice> device = types.Make(sKeyword, sName, sDefinition, fContext);
    if (!device)
        throw EMsg(QStringLiteral("Unknown device type \"%s\"!\r\nKnown device types: %s"),
                   {sKeyword, types.Names().join(QStringLiteral(", "))}, TMsgId(0x100163), Count());
    TDevice* pDevice = device.get();
    fDeviceList.emplace_back(sName, std::move(device));
    return pDevice;
}

TDevice* TDeviceList::Device(const QString& sName) const
{
    for (const auto& entry : fDeviceList) {
        if (entry.first == sName)
            return entry.second.get();
    }
    for (const auto& entry : fSharedDevices) {
        if (entry.first == sName)
            return entry.second;
    }
    return nullptr;
}

void TDeviceList::AddShared(const QString& sName, TDevice* aDevice)
{
    if (Device(sName))
        throw EMsg(QStringLiteral("Device name \"%s\" already defined"), {sName}, TMsgId(0x10010A), Count());
    fSharedDevices.emplace_back(sName, aDevice);
}

TDeviceList::~TDeviceList()
{
    Clear();
}

void TDeviceList::Clear()
{
    // Commands still waiting conclude while every device can still serve them, and no device
    // result reaches them afterwards.
    for (auto it = fDeviceList.rbegin(); it != fDeviceList.rend(); ++it)
        CallHook(*it->second, [](TDevice& aDevice) { aDevice.Waiter().CancelWaiting(); });
    // A device's Released may still use the devices declared before it.
    while (!fDeviceList.empty()) {
        CallHook(*fDeviceList.back().second, [](TDevice& aDevice) { aDevice.Released(); });
        fDeviceList.pop_back();
    }
}

void TDeviceList::RunStarted()
{
    for (const auto& entry : fDeviceList)
        CallHook(*entry.second, [](TDevice& aDevice) { aDevice.RunStarted(); });
    if (IStationDevices* pStation = fSharedDevices.empty() ? nullptr : fContext.StationDevices())
        pStation->RunStarted(fContext);
}

void TDeviceList::RunEnded()
{
    for (const auto& entry : fDeviceList)
        CallHook(*entry.second, [](TDevice& aDevice) { aDevice.RunEnded(); });
    if (IStationDevices* pStation = fSharedDevices.empty() ? nullptr : fContext.StationDevices())
        pStation->RunEnded(fContext);
}

void TDeviceList::CallHook(TDevice& aDevice, const std::function<void(TDevice&)>& aHook)
{
    // One device that fails to close must not keep the others open.
    try {
        aHook(aDevice);
    } catch (const std::exception& e) {
        fContext.Msg().Error(QStringLiteral("Device \"%s\": %s"), {aDevice.Name(), ExceptionText(e)});
    }
}
