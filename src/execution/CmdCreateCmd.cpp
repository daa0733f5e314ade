#include "CmdCreateCmd.h"

#include "Device.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <algorithm>
#include <stdexcept>

TCmdCreateCmd::TCmdCreateCmd(TDevice* aOwner, TConfig aConfig) : TCommand(aOwner), fConfig(std::move(aConfig))
{}

void TCmdCreateCmd::AddTo(TDevice& aDevice, const TTable& aTable)
{
    if (aTable.Functions.empty())
        throw std::invalid_argument("a device's function table is empty");
    TCmdCreateCmd* pFactory = nullptr;
    for (const TFunction& function : aTable.Functions) {
        const QString sName = QString::fromLatin1(function.sName);
        if (function.eMade == eShared) {
            aDevice.AddCommand(sName, function.Creator(&aDevice));
        } else if (!pFactory) {
            auto factory = std::make_unique<TCmdCreateCmd>(&aDevice, aTable.Config);
            pFactory = factory.get();
            aDevice.AddCommand(sName, std::move(factory));
        } else {
            aDevice.AddCommandName(sName, pFactory);
        }
        if (pFactory && function.eMade == ePerLine)
            pFactory->fFunctions.emplace_back(sName, &function);
    }
}

std::vector<TFunctionInfo> TCmdCreateCmd::Infos(std::initializer_list<const TTable*> aTables)
{
    std::vector<TFunctionInfo> infos;
    for (const TTable* pTable : aTables) {
        for (const TFunction& function : pTable->Functions)
            infos.push_back({QString::fromLatin1(function.sName), function.Fields});
    }
    return infos;
}

TCommand* TCmdCreateCmd::CommandFor(const QString& sFunctionName, const QString& sParameter)
{
    Msg().Debug(fConfig.sDebugFormat, {sFunctionName, sParameter});
    const auto it = std::find_if(fFunctions.begin(), fFunctions.end(),
                                 [&](const auto& entry) { return entry.first == sFunctionName; });
    if (it == fFunctions.end())
        throw EMsg(QStringLiteral("Unknown function \"%s\" found!"), {sFunctionName},
                   TMsgId(fConfig.dwUnknownFunctionId), 0);
    const TFunction& function = *it->second;
    std::unique_ptr<TCommand> command = function.Creator(Owner());
    if (function.sInitTrace) {
        Msg().DebugLazy([&] {
            return QString::fromLatin1(function.sInitTrace) + QStringLiteral(".Init: ") + sParameter;
        });
    }
    command->Init(sParameter); // a failing Init frees the new command with the unique_ptr
    return Owner()->AddCreatedCommand(fConfig.sEntryName, std::move(command));
}

void TCmdCreateCmd::Execute(const QString& sParameter)
{
    throw EMsg(TMsgId(fConfig.dwExecuteId), int(sParameter.size()));
}
