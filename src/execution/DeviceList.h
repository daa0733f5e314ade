#pragma once

#include "core/MsgUtils.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TCommand;
class TDevice;

// The conclusion of one command execution.
enum ECmdResult : std::uint8_t
{
    crUnknown = 0, // not concluded; a command never reports it
    crDone,        // passed
    crFailed,      // failed
    crCancelled,   // failed: the command was cancelled
    crOk,          // passed, shown with the "ok" image
    crBreak        // passed; the runner pauses afterwards
};

using TCmdNotifyEvent = std::function<void(TCommand* aSender)>;
using TDeviceNotifyEvent = std::function<void(TDevice* aSender)>;

// Base of all commands: one object per definition line (or one shared stateless object), executed
// by a job and concluding exactly once per execution through OnResult.
class TCommand
{
public:
    explicit TCommand(TDevice* aOwner);
    virtual ~TCommand() = default;

    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

    // Reads the log-value column name from field 0 of the parameter text and registers it.
    virtual TCommand* Init(const QString& sDefinition);
    // Returns the command that serves a definition line; the base serves none.
    virtual TCommand* Init(const QString& sFunctionName, const QString& sParameter);
    virtual void Execute(const QString& sParameter) = 0;
    virtual void Cancel();

    TDevice* Owner() const { return FOwner; }
    ECmdResult CmdResult() const { return FCmdResult; }
    const QString& ErrorText() const { return FsErrorText; }
    const QString& LogValName() const { return fsLogValName; }
    const TCmdNotifyEvent& OnResult() const { return FOnResult; }
    void SetOnResult(TCmdNotifyEvent aEvent) { FOnResult = std::move(aEvent); }

protected:
    void SetErrorText(const QString& aText);
    void SetErrorText(const QString& aFormat, TFormatArgs aArgs);
    // Writes aValue into this command's value-log column, if it has one.
    void LogValue(const QString& aValue) const;
    // Sets the result and fires OnResult: the one way a command concludes.
    void Conclude(ECmdResult aResult);

    QString fsLogValName;
    bool fbAdmitErrorText = true;
    ECmdResult FCmdResult = crUnknown;

private:
    TDevice* FOwner;
    TCmdNotifyEvent FOnResult;
    QString FsErrorText;
};

// Base of all devices. A device owns every command object it creates; one object may be entered
// under several function names and is freed once.
class TDevice
{
public:
    TDevice();
    virtual ~TDevice();

    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    // The device type's display name and version for the about information.
    virtual void Info(QString& sName, QString& sVersion) const = 0;
    // Configures the device from the whole parameter text of its Device.Create line.
    virtual void Init(const QString& sDefinition) = 0;

    // The first command entered under exactly this function name, or none.
    TCommand* Command(const QString& sName) const;

    const QString& Name() const { return FName; }
    void SetName(const QString& sName) { FName = sName; }
    const QString& ErrorText() const { return FsErrorText; }
    const TDeviceNotifyEvent& OnResult() const { return FOnResult; }
    void SetOnResult(TDeviceNotifyEvent aEvent) { FOnResult = std::move(aEvent); }

    const std::vector<std::pair<QString, TCommand*>>& CmdList() const { return FCmdList; }

    // Enters an owned command under a name (function names, or an internal name never looked up).
    TCommand* AddCommand(const QString& sName, std::unique_ptr<TCommand> aCommand);
    // Enters a command this device already owns under one more name.
    void AddCommandName(const QString& sName, TCommand* aCommand);
    // Enters a command made by a factory for one definition line under an internal name.
    TCommand* AddCreatedCommand(const QString& sEntryName, std::unique_ptr<TCommand> aCommand);
    // The function names a definition line can use, in the order they were entered.
    QStringList FunctionNames() const;

    void ClearErrorText() { FsErrorText.clear(); }
    void SetErrorText(const QString& aText) { FsErrorText = aText; }
    void SetErrorText(const QString& aFormat, TFormatArgs aArgs);

private:
    std::vector<std::pair<QString, TCommand*>> FCmdList;
    std::vector<std::unique_ptr<TCommand>> fOwnedCommands;
    QStringList fslInternalNames;
    QString FName;
    TDeviceNotifyEvent FOnResult;
    QString FsErrorText;
};

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

    TCmdCreateCmd(TDevice* aOwner, TConfig aConfig);

    // Adds a function in table order.
    void AddFunction(const QString& sName, TCreator aCreator);

    using TCommand::Init;
    TCommand* Init(const QString& sFunctionName, const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    TConfig fConfig;
    std::vector<std::pair<QString, TCreator>> fFunctions;
};

// The registry of declared devices, created on first use and released before every load.
class TDeviceList
{
public:
    using TDeviceCreator = std::function<std::unique_ptr<TDevice>()>;

    static TDeviceList& Instance();
    static void InstanceRelease();

    // Device types by their Device.Create keyword (compared case-sensitively, tried in the order
    // they were registered).
    static void RegisterType(const QString& sKeyword, TDeviceCreator aCreator);
    static void UnregisterType(const QString& sKeyword);
    // Name and version of every registered device type, from a transient device of each (the
    // about box lists them).
    static std::vector<std::pair<QString, QString>> TypeInfo();
    // The Device.Create keywords of the registered types, in registration order.
    static QStringList TypeNames();

    // Creates, initialises and registers a device from the parameter text of a Device.Create line.
    TDevice* Append(const QString& sDefinition);
    TDevice* Device(const QString& sName) const;
    int Count() const { return int(fDeviceList.size()); }
    void Clear();

private:
    std::vector<std::pair<QString, std::unique_ptr<TDevice>>> fDeviceList;
};

// Base of commands that compare a measured number with a lower and an upper limit, each absolute
// or relative to a float variable read at the moment of the check, and may store the number in a
// float variable.
class TCmdAnalyser : public TCommand
{
public:
    using TCommand::TCommand;

    // "U_REF+0.5": variable U_REF plus 0.5; "-1.25": absolute; "U_REF": the variable's value.
    void SetMinValue(const QString& sText);
    void SetMaxValue(const QString& sText);
    void SetVariableName(const QString& sName);
    double MinValue() const;
    double MaxValue() const;
    void StoreResult(double rValue) const;

protected:
    QString fsMinOffset;
    double frMinValue = 0.0;
    QString fsMaxOffset;
    double frMaxValue = 0.0;
    QString fsVariableName;

private:
    static void SplitLimit(const QString& sText, QString& sName, double& rValue);
};
