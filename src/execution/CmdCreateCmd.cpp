#include "CmdCreateCmd.h"

#include "Device.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <algorithm>
#include <stdexcept>

TCmdCreateCmd::TCmdCreateCmd(TDevice* aOwner, TConfig aConfig) : TCommand(aOwner), fConfig(std::move(aConfig))
{}

TCmdCreateCmd& TCmdCreateCmd::AddTo(TDevice& aDevice, TConfig aConfig,
                                    std::initializer_list<TFunction> aFunctions)
{
    if (aFunctions.size() == 0)
        throw std::invalid_argument("a device's function table is empty");
    auto factory = std::make_unique<TCmdCreateCmd>(&aDevice, std::move(aConfig));
    TCmdCreateCmd& rFactory = *factory;
    for (const TFunction& function : aFunctions)
        rFactory.AddFunction(QString::fromLatin1(function.sName), function.Creator);
    aDevice.AddCommand(rFactory.fFunctions.front().first, std::move(factory));
    for (std::size_t i = 1; i < rFactory.fFunctions.size(); ++i)
        aDevice.AddCommandName(rFactory.fFunctions[i].first, &rFactory);
    return rFactory;
}

void TCmdCreateCmd::AddFunction(const QString& sName, TCreator aCreator)
{
    fFunctions.emplace_back(sName, std::move(aCreator));
}

TCommand* TCmdCreateCmd::CommandFor(const QString& sFunctionName, const QString& sParameter)
{
    Msg().Debug(fConfig.sDebugFormat, {sFunctionName, sParameter});
    const auto it = std::find_if(fFunctions.begin(), fFunctions.end(),
                                 [&](const auto& entry) { return entry.first == sFunctionName; });
    if (it == fFunctions.end())
        throw EMsg(QStringLiteral("Unknown function \"%s\" found!"), {sFunctionName},
                   TMsgId(fConfig.dwUnknownFunctionId), 0);
    std::unique_ptr<TCommand> command = it->second(Owner());
    command->Init(sParameter); // a failing Init frees the new command with the unique_ptr
    return Owner()->AddCreatedCommand(fConfig.sEntryName, std::move(command));
}

void TCmdCreateCmd::Execute(const QString& sParameter)
{
    throw EMsg(TMsgId(fConfig.dwExecuteId), int(sParameter.size()));
}
