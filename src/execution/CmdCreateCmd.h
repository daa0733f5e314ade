#pragma once

#include "Command.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

// The factory of one device: maps the device's function names to command classes and creates a
// new command for every definition line that uses one of them.
class TCmdCreateCmd : public TCommand
{
public:
    using TCreator = std::function<std::unique_ptr<TCommand>(TDevice* aOwner)>;

    struct TConfig
    {
        QString sDebugFormat; // e.g. "DeviceSys TCmdCreateCmd.Init: \"%s\" \"%s\""
        std::uint32_t dwUnknownFunctionId = 0;
        std::uint32_t dwExecuteId = 0;
        QString sEntryName; // internal command-list name of created commands
    };

    // One row of a device's function table.
    struct TFunction
    {
        const char* sName;
        TCreator Creator;
    };

    TCmdCreateCmd(TDevice* aOwner, TConfig aConfig);

    // Creates the factory of aDevice from its function table (in table order) and enters it on the
    // device under every function name, so that the device's constructor is its table.
    static TCmdCreateCmd& AddTo(TDevice& aDevice, TConfig aConfig,
                                std::initializer_list<TFunction> aFunctions);

    // Adds a function in table order.
    void AddFunction(const QString& sName, TCreator aCreator);

    void Execute(const QString& sParameter) override;

protected:
    // Creates a new command of sFunctionName's class, initialised with sParameter.
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;

private:
    TConfig fConfig;
    std::vector<std::pair<QString, TCreator>> fFunctions;
};

// The creator of a table row: a new command of class TCmd owned by the device.
template <class TCmd>
std::unique_ptr<TCommand> CreateCommand(TDevice* aOwner)
{
    return std::make_unique<TCmd>(aOwner);
}
