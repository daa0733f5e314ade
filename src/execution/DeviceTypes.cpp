#include "DeviceTypes.h"

#include "Device.h"

#include <algorithm>

void TDeviceTypes::Register(const QString& sKeyword, const QString& sName, const QString& sVersion,
                            TDeviceCreator aCreator)
{
    TType type{sKeyword, {sName, sVersion}, std::move(aCreator)};
    const auto it =
        std::find_if(fTypes.begin(), fTypes.end(), [&](const TType& t) { return t.sKeyword == sKeyword; });
    if (it != fTypes.end())
        *it = std::move(type);
    else
        fTypes.push_back(std::move(type));
}

void TDeviceTypes::Unregister(const QString& sKeyword)
{
    fTypes.erase(
        std::remove_if(fTypes.begin(), fTypes.end(), [&](const TType& t) { return t.sKeyword == sKeyword; }),
        fTypes.end());
}

const TDeviceTypes::TType* TDeviceTypes::Find(const QString& sKeyword) const
{
    const auto it =
        std::find_if(fTypes.begin(), fTypes.end(), [&](const TType& t) { return t.sKeyword == sKeyword; });
    return it == fTypes.end() ? nullptr : &*it;
}

const TDeviceTypes::TDeviceCreator* TDeviceTypes::Creator(const QString& sKeyword) const
{
    const TType* pType = Find(sKeyword);
    return pType ? &pType->Creator : nullptr;
}

const TDeviceTypes::TTypeInfo* TDeviceTypes::TypeInfo(const QString& sKeyword) const
{
    const TType* pType = Find(sKeyword);
    return pType ? &pType->Info : nullptr;
}

QStringList TDeviceTypes::Names() const
{
    QStringList names;
    for (const TType& type : fTypes)
        names.append(type.sKeyword);
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
    for (const TType& type : fTypes)
        info.emplace_back(type.Info.sName, type.Info.sVersion);
    return info;
}
