#pragma once

#include "Command.h"
#include "FunctionInfo.h"

#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

// The factory of one device: maps the device's function names to command classes and creates a
// new command for every definition line that uses one of them.
class TCmdCreateCmd : public TCommand
{
public:
    using TCreator = std::unique_ptr<TCommand> (*)(TDevice* aOwner);

    struct TConfig
    {
        QString sDebugFormat; // e.g. "DeviceSys TCmdCreateCmd.Init: \"%s\" \"%s\""
        std::uint32_t dwUnknownFunctionId = 0;
        std::uint32_t dwExecuteId = 0;
        QString sEntryName; // internal command-list name of created commands
    };

    // How the device gets a function's command.
    enum EMade : std::uint8_t
    {
        ePerLine, // the factory makes a new command for every line
        eShared   // one command, made with the device, serves every line
    };

    // One row of a device's function table.
    struct TFunction
    {
        const char* sName;
        TCreator Creator;
        // The class name of the command's debug line "<class>.Init: <parameter>", written before
        // the command reads its line; null: no such line.
        const char* sInitTrace = nullptr;
        std::vector<EParamField> Fields = {};
        EMade eMade = ePerLine;
    };

    // A device class's function table: the registration lists the functions from it and the
    // device's constructor makes its commands from it, so that both always agree.
    struct TTable
    {
        TConfig Config;
        std::vector<TFunction> Functions;
    };

    TCmdCreateCmd(TDevice* aOwner, TConfig aConfig);

    // Enters the functions of aTable on aDevice in table order: a shared command made now, the
    // per-line functions served by a new factory.
    static void AddTo(TDevice& aDevice, const TTable& aTable);
    // The functions of a device type whose class enters the tables in this order.
    static std::vector<TFunctionInfo> Infos(std::initializer_list<const TTable*> aTables);

    void Execute(const QString& sParameter) override;

protected:
    // Creates a new command of sFunctionName's class, initialised with sParameter.
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;

private:
    TConfig fConfig;
    std::vector<std::pair<QString, const TFunction*>> fFunctions;
};

// The creator of a table row: a new command of class TCmd owned by the device.
template <class TCmd>
std::unique_ptr<TCommand> CreateCommand(TDevice* aOwner)
{
    return std::make_unique<TCmd>(aOwner);
}
