#include "Device.h"

TDevice::TDevice() = default;

// Owned commands go with fOwnedCommands, each exactly once, however many names it has.
TDevice::~TDevice() = default;

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

void TDevice::SetErrorText(const QString& aFormat, TFormatArgs aArgs)
{
    FsErrorText = Format(aFormat, aArgs);
}
