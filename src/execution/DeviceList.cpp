#include "DeviceList.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"

#include <algorithm>

namespace {

std::unique_ptr<TDeviceList>& Singleton()
{
    static std::unique_ptr<TDeviceList> instance;
    return instance;
}

std::vector<std::pair<QString, TDeviceList::TDeviceCreator>>& DeviceTypes()
{
    static std::vector<std::pair<QString, TDeviceList::TDeviceCreator>> types;
    return types;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCommand

TCommand::TCommand(TDevice* aOwner) : FOwner(aOwner) {}

TCommand* TCommand::Init(const QString& sDefinition)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sDefinition + csv.Separator());
    QString sLabel = csv.GetValueTrimmed(0);
    // The column name follows the label's closing quote: "Label"§Column.
    const int iLastQuote = sLabel.lastIndexOf(QLatin1Char('"'));
    if (iLastQuote >= 0)
        sLabel = sLabel.mid(iLastQuote + 1);
    const int iMark = sLabel.indexOf(QChar(0x00A7));
    fsLogValName = iMark >= 0 ? sLabel.mid(iMark + 1) : QString();
    if (!fsLogValName.isEmpty() && !TValueLog::Instance().Append(fsLogValName))
        TMsg::Warning(QStringLiteral("Log value \"%s\" not unique!"), {fsLogValName});
    return this;
}

TCommand* TCommand::Init(const QString& /*sFunctionName*/, const QString& /*sParameter*/)
{
    throw EMsg(TMsgId(0x10040A), 0);
}

void TCommand::Cancel()
{
    TMsg::Debug(QStringLiteral("TCommand.Cancel"));
    FCmdResult = crCancelled;
}

void TCommand::SetErrorText(const QString& aText)
{
    if (fbAdmitErrorText)
        FsErrorText = aText;
}

void TCommand::SetErrorText(const QString& aFormat, TFormatArgs aArgs)
{
    if (fbAdmitErrorText)
        FsErrorText = Format(aFormat, aArgs);
}

void TCommand::LogValue(const QString& aValue) const
{
    if (!fsLogValName.isEmpty())
        TValueLog::Instance().SetValue(fsLogValName, aValue);
}

void TCommand::Conclude(ECmdResult aResult)
{
    FCmdResult = aResult;
    if (FOnResult) {
        // The handler may unassign or replace the event while it runs.
        const TCmdNotifyEvent handler = FOnResult;
        handler(this);
    }
}

// ---------------------------------------------------------------------------------------------
// TDevice

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

// ---------------------------------------------------------------------------------------------
// TCmdCreateCmd

TCmdCreateCmd::TCmdCreateCmd(TDevice* aOwner, TConfig aConfig) : TCommand(aOwner), fConfig(std::move(aConfig))
{}

void TCmdCreateCmd::AddFunction(const QString& sName, TCreator aCreator)
{
    fFunctions.emplace_back(sName, std::move(aCreator));
}

TCommand* TCmdCreateCmd::Init(const QString& sFunctionName, const QString& sParameter)
{
    TMsg::Debug(fConfig.sDebugFormat, {sFunctionName, sParameter});
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

// ---------------------------------------------------------------------------------------------
// TDeviceList

TDeviceList& TDeviceList::Instance()
{
    auto& instance = Singleton();
    if (!instance)
        instance = std::make_unique<TDeviceList>();
    return *instance;
}

void TDeviceList::InstanceRelease()
{
    Singleton().reset();
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
    for (const auto& type : DeviceTypes()) {
        const std::unique_ptr<TDevice> device = type.second();
        QString sName;
        QString sVersion;
        device->Info(sName, sVersion);
        info.emplace_back(sName, sVersion);
    }
    return info;
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

    std::unique_ptr<TDevice> device = it->second();
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

void TDeviceList::Clear()
{
    fDeviceList.clear();
}

// ---------------------------------------------------------------------------------------------
// TCmdAnalyser

namespace {

bool IsNumberStart(QChar c)
{
    return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
}

// Converts a plain number with "." as decimal point: [sign] digits [. digits] [e [sign] digits].
// Returns 0 on success, otherwise the 1-based position of the first character that does not fit.
int ConvertPlainNumber(const QString& sText, double& rValue)
{
    const int n = sText.size();
    int i = 0;
    auto digits = [&] {
        const int iStart = i;
        while (i < n && sText.at(i).isDigit())
            ++i;
        return i > iStart;
    };
    if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
        ++i;
    bool bAny = digits();
    if (i < n && sText.at(i) == QLatin1Char('.')) {
        ++i;
        bAny = digits() || bAny;
    }
    if (!bAny)
        return i + 1;
    if (i < n && sText.at(i).toLower() == QLatin1Char('e')) {
        ++i;
        if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
            ++i;
        if (!digits())
            return i + 1;
    }
    if (i < n)
        return i + 1;
    rValue = sText.toDouble();
    return 0;
}

void RequireFloatVariable(const QString& sName, std::uint32_t dwId)
{
    if (!TVariableManager::Instance().Confirm(sName, ectIsFloat))
        throw EMsg(QStringLiteral("Variable \"%s\" is not defined or wrong type!"), {sName}, TMsgId(dwId), 0);
}

} // namespace

void TCmdAnalyser::SplitLimit(const QString& sText, QString& sName, double& rValue)
{
    int iNumber = 0;
    while (iNumber < sText.size() && !IsNumberStart(sText.at(iNumber)))
        ++iNumber;
    sName = TrimControl(sText.left(iNumber));
    const QString sNumber = TrimControl(sText.mid(iNumber));
    if (!sName.isEmpty())
        RequireFloatVariable(sName, 0x10050A);
    if (!sNumber.isEmpty()) {
        const int iBad = ConvertPlainNumber(sNumber, rValue);
        if (iBad != 0)
            throw EMsg(QStringLiteral("Unknown format for value \"%s\"!"), {sText}, TMsgId(0x100514), iBad);
    }
}

void TCmdAnalyser::SetMinValue(const QString& sText)
{
    SplitLimit(sText, fsMinOffset, frMinValue);
}

void TCmdAnalyser::SetMaxValue(const QString& sText)
{
    SplitLimit(sText, fsMaxOffset, frMaxValue);
}

void TCmdAnalyser::SetVariableName(const QString& sName)
{
    RequireFloatVariable(sName, 0x10060A);
    fsVariableName = sName;
}

double TCmdAnalyser::MinValue() const
{
    return fsMinOffset.isEmpty() ? frMinValue
                                 : TVariableManager::Instance().GetAsReal(fsMinOffset) + frMinValue;
}

double TCmdAnalyser::MaxValue() const
{
    return fsMaxOffset.isEmpty() ? frMaxValue
                                 : TVariableManager::Instance().GetAsReal(fsMaxOffset) + frMaxValue;
}

void TCmdAnalyser::StoreResult(double rValue) const
{
    if (!fsVariableName.isEmpty())
        TVariableManager::Instance().SetValue(fsVariableName, rValue);
}
