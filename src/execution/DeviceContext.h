#pragma once

#include "core/MsgChannel.h"

#include <map>
#include <memory>
#include <optional>
#include <typeindex>
#include <utility>

class IDefinitionOpener;
class TDeviceList;
class TDeviceTypes;
class TRegIO;
class TValueLog;
class TVariableManager;
class IDocumentDisplay;
class IIndicatorStrip;
class IOperatorDialogs;
class IRunnerControl;
class IStationDevices;
class TStationLedger;

// What a device reaches outside itself: the session it belongs to (its variables, value log,
// settings, device list, message channel and runner), the operator, and the platform parts (tone
// output, serial ports, sockets, audio, ...). Each session has one, set up by the program with its
// own faces of the operator interfaces; its device list gives it to every device it creates. Tests
// set up their own with fakes in place of the operator and the platform parts.
// A missing runner or operator face is null: a command that needs it fails its step with a clear
// text instead of waiting. Variables, value log, settings, device list and device types not set
// are the context's own, made on first use, so that a context alone is a complete small world.
class TDeviceContext
{
public:
    TDeviceContext();
    ~TDeviceContext();
    TDeviceContext(const TDeviceContext&) = delete;
    TDeviceContext& operator=(const TDeviceContext&) = delete;

    TMsgChannel& Msg() { return fMsg; }
    TVariableManager& Variables();
    void SetVariables(TVariableManager* aVariables) { fpVariables = aVariables; }
    TValueLog& ValueLog();
    void SetValueLog(TValueLog* aValueLog) { fpValueLog = aValueLog; }
    TRegIO& Settings();
    void SetSettings(TRegIO* aSettings) { fpSettings = aSettings; }
    TDeviceList& Devices();
    void SetDevices(TDeviceList* aDevices) { fpDevices = aDevices; }
    const TDeviceTypes& Types();
    void SetTypes(const TDeviceTypes* aTypes) { fpTypes = aTypes; }

    // The test socket the session serves at a station with several units side by side (1, 2, ...);
    // a station of one socket is socket 1.
    int Socket() const { return fiSocket; }
    void SetSocket(int iSocket) { fiSocket = iSocket; }
    // The socket whose settings group wires the device's ports ("Socket<k>/SerialPorts"): 0 for a
    // device the station's sockets share, which takes the station's own wiring whoever holds it.
    int WiringSocket() const { return fbStationWide ? 0 : fiSocket; }
    void SetStationWide(bool bStationWide) { fbStationWide = bStationWide; }

    // The station's shared devices (Device.Shared); null when the session is the station's only
    // one, whose shared devices are then its own.
    IStationDevices* StationDevices() const { return fStationDevices; }
    void SetStationDevices(IStationDevices* aDevices) { fStationDevices = aDevices; }
    // The numbers the station's sockets drew from common sources; null when the session is the
    // station's only one.
    TStationLedger* StationLedger() const { return fStationLedger; }
    void SetStationLedger(TStationLedger* aLedger) { fStationLedger = aLedger; }

    // The failure policy "end the run after a failed test case" (Sys.Process): the settings' value
    // for a station's only session, which the operator's Extras show and store. Each socket of a
    // station with several keeps its own, taken from the settings when first asked for, so that
    // one socket's Sys.Process never changes another socket's policy.
    bool EndOnFailure();
    void SetEndOnFailure(bool bEnd);

    IRunnerControl* Runner() const { return fRunner; }
    void SetRunner(IRunnerControl* aRunner) { fRunner = aRunner; }
    // Clears the runner only if it is aRunner (a runner going away leaves a newer one in place).
    void ForgetRunner(const IRunnerControl* aRunner);

    IOperatorDialogs* Dialogs() const { return fDialogs; }
    void SetDialogs(IOperatorDialogs* aDialogs) { fDialogs = aDialogs; }
    IIndicatorStrip* Indicators() const { return fIndicators; }
    void SetIndicators(IIndicatorStrip* aIndicators) { fIndicators = aIndicators; }
    IDocumentDisplay* Documents() const { return fDocuments; }
    void SetDocuments(IDocumentDisplay* aDocuments) { fDocuments = aDocuments; }
    IDefinitionOpener* DefinitionOpener() const { return fDefinitionOpener; }
    void SetDefinitionOpener(IDefinitionOpener* aOpener) { fDefinitionOpener = aOpener; }

    // False for a definition check on a machine that need not be the station: devices check every
    // parameter as in a load but open, probe or look up no hardware (audio endpoints, ports,
    // converters, servers), which the check leaves to a real load.
    bool HardwareAttached() const { return fbHardwareAttached; }
    void SetHardwareAttached(bool bAttached) { fbHardwareAttached = bAttached; }

    // A platform part by its interface: the one set, else the interface's own default
    // (TPart::CreateDefault()), made on first use and kept.
    template <class TPart>
    TPart& Part()
    {
        std::shared_ptr<void>& part = fParts[std::type_index(typeid(TPart))];
        if (!part)
            part = std::shared_ptr<TPart>(TPart::CreateDefault());
        return *static_cast<TPart*>(part.get());
    }
    // Puts aPart in place of the default (a test's fake); null goes back to the default.
    template <class TPart>
    void SetPart(std::unique_ptr<TPart> aPart)
    {
        fParts[std::type_index(typeid(TPart))] = std::shared_ptr<TPart>(std::move(aPart));
    }

private:
    TMsgChannel fMsg;
    TVariableManager* fpVariables = nullptr;
    TValueLog* fpValueLog = nullptr;
    TRegIO* fpSettings = nullptr;
    TDeviceList* fpDevices = nullptr;
    const TDeviceTypes* fpTypes = nullptr;
    IRunnerControl* fRunner = nullptr;
    IOperatorDialogs* fDialogs = nullptr;
    IIndicatorStrip* fIndicators = nullptr;
    IDocumentDisplay* fDocuments = nullptr;
    IDefinitionOpener* fDefinitionOpener = nullptr;
    bool fbHardwareAttached = true;
    int fiSocket = 1;
    bool fbStationWide = false;
    IStationDevices* fStationDevices = nullptr;
    TStationLedger* fStationLedger = nullptr;
    std::optional<bool> fbEndOnFailure; // a socket's own policy
    std::map<std::type_index, std::shared_ptr<void>> fParts;
    std::unique_ptr<TVariableManager> fOwnVariables;
    std::unique_ptr<TValueLog> fOwnValueLog;
    std::unique_ptr<TRegIO> fOwnSettings;
    std::unique_ptr<TDeviceTypes> fOwnTypes;
    // Last: its devices may still use the rest while they are released.
    std::unique_ptr<TDeviceList> fOwnDevices;
};
