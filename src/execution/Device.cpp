#include "Device.h"

TDevice::TDevice(TDeviceContext& aContext) : fContext(aContext) {}

// Owned commands go with fOwnedCommands, each exactly once, however many names it has.
TDevice::~TDevice() = default;

TDeviceNotifyEvent TDevice::OnResult()
{
    if (!fWaiter.Busy())
        return nullptr;
    return [this](TDevice*) { fWaiter.OnResult(); };
}

TCommand* TDevice::Command(const QString& sName) const
{
    for (const auto& entry : FCmdList) {
        if (entry.first == sName)
            return entry.second;
    }
    return nullptr;
}

TCommand* TDevice::AddCommand(const QString& sName, std::unique_ptr<TCommand> aCommand)
{
    TCommand* pCommand = aCommand.get();
    fOwnedCommands.push_back(std::move(aCommand));
    FCmdList.emplace_back(sName, pCommand);
    return pCommand;
}

void TDevice::AddCommandName(const QString& sName, TCommand* aCommand)
{
    FCmdList.emplace_back(sName, aCommand);
}

TCommand* TDevice::AddCreatedCommand(const QString& sEntryName, std::unique_ptr<TCommand> aCommand)
{
    if (!fslInternalNames.contains(sEntryName))
        fslInternalNames.append(sEntryName);
    return AddCommand(sEntryName, std::move(aCommand));
}

QStringList TDevice::FunctionNames() const
{
    QStringList names;
    for (const auto& entry : FCmdList) {
        if (!fslInternalNames.contains(entry.first) && !names.contains(entry.first))
            names.append(entry.first);
    }
    return names;
}

void TDevice::SetErrorText(const QString& aFormat, TFormatArgs aArgs)
{
    FsErrorText = Format(aFormat, aArgs);
}
