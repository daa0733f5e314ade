#include "DeviceTypes.h"

#include "Device.h"

#include "core/MsgChannel.h"

#include <algorithm>

void TDeviceTypes::Register(const QString& sKeyword, const QString& sName, const QString& sVersion,
                            TDeviceCreator aCreator, std::vector<TFunctionInfo> aFunctions,
                            const char* sInitTrace)
{
    TType type{sKeyword, {sName, sVersion}, std::move(aCreator), std::move(aFunctions), sInitTrace};
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

std::unique_ptr<TDevice> TDeviceTypes::Make(const QString& sKeyword, const QString& sName,
                                            const QString& sDefinition, TDeviceContext& aContext) const
{
    const TType* pType = Find(sKeyword);
    if (!pType)
        return nullptr;
    std::unique_ptr<TDevice> device = pType->Creator(aContext);
    device->SetName(sName);
    if (pType->sInitTrace) {
        device->Msg().DebugLazy(
            [&] { return QString::fromLatin1(pType->sInitTrace) + QStringLiteral(".Init: ") + sDefinition; });
    }
    device->Init(sDefinition);
    return device;
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

QStringList TDeviceTypes::Functions(const QString& sKeyword) const
{
    QStringList names;
    if (const TType* pType = Find(sKeyword)) {
        for (const TFunctionInfo& function : pType->Functions)
            names.append(function.sName);
    }
    return names;
}

const TFunctionInfo* TDeviceTypes::Function(const QString& sKeyword, const QString& sFunction) const
{
    const TType* pType = Find(sKeyword);
    if (!pType)
        return nullptr;
    const auto it = std::find_if(pType->Functions.begin(), pType->Functions.end(),
                                 [&](const TFunctionInfo& f) { return f.sName == sFunction; });
    return it == pType->Functions.end() ? nullptr : &*it;
}

std::vector<std::pair<QString, QString>> TDeviceTypes::Info() const
{
    std::vector<std::pair<QString, QString>> info;
    for (const TType& type : fTypes)
        info.emplace_back(type.Info.sName, type.Info.sVersion);
    return info;
}
