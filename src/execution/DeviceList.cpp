#include "DeviceList.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <algorithm>

#include <utility>

namespace {

std::unique_ptr<TDeviceList>& Singleton()
{
    static std::unique_ptr<TDeviceList> instance;
    return instance;
}

TDeviceList*& Installed()
{
    static TDeviceList* installed = nullptr;
    return installed;
}

TDeviceContext*& InstalledContext()
{
    static TDeviceContext* context = nullptr;
    return context;
}

std::vector<std::pair<QString, TDeviceList::TDeviceCreator>>& DeviceTypes()
{
    static std::vector<std::pair<QString, TDeviceList::TDeviceCreator>> types;
    return types;
}

} // namespace

TDeviceList& TDeviceList::Instance()
{
    if (TDeviceList* pInstalled = Installed())
        return *pInstalled;
    auto& instance = Singleton();
    if (!instance)
        instance = std::make_unique<TDeviceList>();
    return *instance;
}

void TDeviceList::InstanceRelease()
{
    Singleton().reset();
}

TDeviceList* TDeviceList::SetInstance(TDeviceList* aList)
{
    return std::exchange(Installed(), aList);
}

TDeviceContext& TDeviceList::Context()
{
    static TDeviceContext empty;
    TDeviceContext* pContext = InstalledContext();
    return pContext ? *pContext : empty;
}

TDeviceContext* TDeviceList::SetContext(TDeviceContext* aContext)
{
    return std::exchange(InstalledContext(), aContext);
}

void TDeviceList::RegisterType(const QString& sKeyword, TDeviceCreator aCreator)
{
    auto& types = DeviceTypes();
    const auto it =
        std::find_if(types.begin(), types.end(), [&](const auto& t) { return t.first == sKeyword; });
    if (it != types.end())
        it->second = std::move(aCreator);
    else
        types.emplace_back(sKeyword, std::move(aCreator));
}

void TDeviceList::UnregisterType(const QString& sKeyword)
{
    auto& types = DeviceTypes();
    types.erase(
        std::remove_if(types.begin(), types.end(), [&](const auto& t) { return t.first == sKeyword; }),
        types.end());
}

QStringList TDeviceList::TypeNames()
{
    QStringList names;
    for (const auto& type : DeviceTypes())
        names.append(type.first);
    return names;
}

std::vector<std::pair<QString, QString>> TDeviceList::TypeInfo()
{
    std::vector<std::pair<QString, QString>> info;
    TDeviceContext context; // the devices asked are never declared: they reach nothing
    for (const auto& type : DeviceTypes()) {
        const std::unique_ptr<TDevice> device = type.second(context);
        QString sName;
        QString sVersion;
        device->Info(sName, sVersion);
        info.emplace_back(sName, sVersion);
    }
    return info;
}

QStringList TDeviceList::TypeFunctions(const QString& sKeyword, TDeviceContext& aContext)
{
    for (const auto& type : DeviceTypes()) {
        if (type.first == sKeyword)
            return type.second(aContext)->FunctionNames();
    }
    return QStringList();
}

TDevice* TDeviceList::Append(const QString& sDefinition)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sDefinition + csv.Separator());
    const QString sKeyword = csv.GetValueTrimmed(0);
    const QString sName = csv.GetValueTrimmed(1);
    if (Device(sName))
        throw EMsg(QStringLiteral("Device name \"%s\" already defined"), {sName}, TMsgId(0x10010A), Count());

    const auto& types = DeviceTypes();
    const auto it =
        std::find_if(types.begin(), types.end(), [&](const auto& t) { return t.first == sKeyword; });
    if (it == types.end())
        throw EMsg(QStringLiteral("Unknown device type \"%s\"!\r\nKnown device types: %s"),
                   {sKeyword, TypeNames().join(QStringLiteral(", "))}, TMsgId(0x100163), Count());

    std::unique_ptr<TDevice> device = it->second(Context());
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
    return nullptr;
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
        TMsg::Error(QStringLiteral("Device \"%s\": %s"), {aDevice.Name(), ExceptionText(e)});
    }
}
