#include "DeviceList.h"

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
    const TDeviceCreator* pCreator = types.Creator(sKeyword);
    if (!pCreator)
        throw EMsg(QStringLiteral("Unknown device type \"%s\"!\r\nKnown device types: %s"),
                   {sKeyword, types.Names().join(QStringLiteral(", "))}, TMsgId(0x100163), Count());

    std::unique_ptr<TDevice> device = (*pCreator)(fContext);
    device->SetName(sName);
    device->Init(sDefinition);
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
    // A device's Released may still use the devices declared before it.
    while (!fDeviceList.empty()) {
        CallHook(*fDeviceList.back().second, &TDevice::Released);
        fDeviceList.pop_back();
    }
}

void TDeviceList::RunStarted()
{
    for (const auto& entry : fDeviceList)
        CallHook(*entry.second, &TDevice::RunStarted);
}

void TDeviceList::RunEnded()
{
    for (const auto& entry : fDeviceList)
        CallHook(*entry.second, &TDevice::RunEnded);
}

void TDeviceList::CallHook(TDevice& aDevice, void (TDevice::*aHook)())
{
    // One device that fails to close must not keep the others open.
    try {
        (aDevice.*aHook)();
    } catch (const std::exception& e) {
        fContext.Msg().Error(QStringLiteral("Device \"%s\": %s"), {aDevice.Name(), ExceptionText(e)});
    }
}
