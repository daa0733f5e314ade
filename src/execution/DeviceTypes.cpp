#include "DeviceTypes.h"

#include "Device.h"
#include "DeviceContext.h"

#include <algorithm>

void TDeviceTypes::Register(const QString& sKeyword, TDeviceCreator aCreator)
{
    const auto it =
        std::find_if(fTypes.begin(), fTypes.end(), [&](const auto& t) { return t.first == sKeyword; });
    if (it != fTypes.end())
        it->second = std::move(aCreator);
    else
        fTypes.emplace_back(sKeyword, std::move(aCreator));
}

void TDeviceTypes::Unregister(const QString& sKeyword)
{
    fTypes.erase(
        std::remove_if(fTypes.begin(), fTypes.end(), [&](const auto& t) { return t.first == sKeyword; }),
        fTypes.end());
}

const TDeviceTypes::TDeviceCreator* TDeviceTypes::Creator(const QString& sKeyword) const
{
    const auto it =
        std::find_if(fTypes.begin(), fTypes.end(), [&](const auto& t) { return t.first == sKeyword; });
    return it == fTypes.end() ? nullptr : &it->second;
}

QStringList TDeviceTypes::Names() const
{
    QStringList names;
    for (const auto& type : fTypes)
        names.append(type.first);
    return names;
}

QStringList TDeviceTypes::Functions(const QString& sKeyword, TDeviceContext& aContext) const
{
    const TDeviceCreator* pCreator = Creator(sKeyword);
    return pCreator ? (*pCreator)(aContext)->FunctionNames() : QStringList();
}

std::vector<std::pair<QString, QString>> TDeviceTypes::Info() const
{
    std::vector<std::pair<QString, QString>> info;
    TDeviceContext context; // the devices asked are never declared: they reach nothing
    for (const auto& type : fTypes) {
        const std::unique_ptr<TDevice> device = type.second(context);
        QString sName;
        QString sVersion;
        device->Info(sName, sVersion);
        info.emplace_back(sName, sVersion);
    }
    return info;
}
