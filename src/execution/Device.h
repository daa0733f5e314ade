#pragma once

#include "Command.h"
#include "DeviceContext.h"
#include "DeviceWaiter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class ISharedDeviceGate;
class TDeviceTypes;

using TDeviceNotifyEvent = std::function<void(TDevice* aSender)>;

// Base of all devices. A device owns every command object it creates; one object may be entered
// under several function names and is freed once.
class TDevice
{
public:
    // aContext: the run, the operator and the platform parts the device reaches; it outlives the
    // device.
    explicit TDevice(TDeviceContext& aContext);
    virtual ~TDevice();

    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    // Configures the device from the whole parameter text of its Device.Create line.
    virtual void Init(const QString& sDefinition) = 0;

    // Life-cycle hooks, called on the main thread by the owner of the loaded definition. Ports,
    // threads, timers and child processes a device opened are closed in RunEnded or Released at
    // the latest, so that nothing of a run outlives its definition.
    virtual void RunStarted() {}
    virtual void RunEnded() {}
    // The definition is unloaded or the program ends; the device is destroyed right after.
    virtual void Released() {}

    // The first command entered under exactly this function name, or none.
    TCommand* Command(const QString& sName) const;

    TDeviceContext& Context() const { return fContext; }
    TMsgChannel& Msg() const { return fContext.Msg(); }
    // The gate of a device shared by a station's sockets; null for a session's own device.
    ISharedDeviceGate* SharedGate() const { return fSharedGate; }
    void SetSharedGate(ISharedDeviceGate* aGate) { fSharedGate = aGate; }
    const QString& Name() const { return FName; }
    void SetName(const QString& sName) { FName = sName; }
    const QString& ErrorText() const { return FsErrorText; }
    // The one way a command waits for this device (see TDeviceWaiter).
    TDeviceWaiter& Waiter() { return fWaiter; }
    const TDeviceWaiter& Waiter() const { return fWaiter; }
    // The device's result event: the waiting command's delivery path while a command waits,
    // empty otherwise.
    TDeviceNotifyEvent OnResult();

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
    TDeviceContext& fContext;
    // Before the commands: they release their claims into it when they go.
    TDeviceWaiter fWaiter;
    ISharedDeviceGate* fSharedGate = nullptr;
    std::vector<std::pair<QString, TCommand*>> FCmdList;
    std::vector<std::unique_ptr<TCommand>> fOwnedCommands;
    QStringList fslInternalNames;
    QString FName;
    QString FsErrorText;
};
