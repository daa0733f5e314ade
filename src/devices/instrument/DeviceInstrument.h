#pragma once

#include "execution/CmdAnalyser.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CommandOf.h"
#include "execution/Device.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <memory>

namespace instrument {

class TInstrument;

// "Instrument": a digital multimeter whose readings steps check against limits.
// Device.Create(Instrument; name; MS8218; port)
class TDeviceInstrument : public TDevice
{
public:
    explicit TDeviceInstrument(TDeviceContext& aContext);
    ~TDeviceInstrument() override;

    // The device's functions, read by its registration and its constructor.
    static const TCmdCreateCmd::TTable& FunctionTable();

    static QString KeyName() { return QStringLiteral("Instrument"); }
    void Init(const QString& sDefinition) override;
    // Stops the reading cycle and closes the port.
    void Released() override;

    // The instrument's operations; EMsg when the device has no instrument.
    bool Open();
    bool Close();
    void Reset();
    bool Read(const QString& sMode, double& rValue);

    TInstrument* Instrument() const { return fInstrument.get(); }

private:
    TInstrument& Checked(std::uint32_t dwId) const;

    std::unique_ptr<TInstrument> fInstrument;
};

// Open, Close and Reset take no parameters: one object serves every line of its function.
class TCmdInstrumentAction : public TCommandOf<TDeviceInstrument>
{
public:
    using TCommandOf::TCommandOf;

protected:
    TCommand* CommandFor(const QString&, const QString&) override { return this; }
};

// Switches reading on; fails when the port cannot be opened.
class TCmdOpen : public TCmdInstrumentAction
{
public:
    using TCmdInstrumentAction::TCmdInstrumentAction;
    void Execute(const QString& sParameter) override;
};

// Switches reading off.
class TCmdClose : public TCmdInstrumentAction
{
public:
    using TCmdInstrumentAction::TCmdInstrumentAction;
    void Execute(const QString& sParameter) override;
};

// Discards the current reading.
class TCmdReset : public TCmdInstrumentAction
{
public:
    using TCmdInstrumentAction::TCmdInstrumentAction;
    void Execute(const QString& sParameter) override;
};

// Check(mode; timeout in s; minimum; maximum[; result variable]): waits until a reading taken
// after the step started lies within the limits, looking every 400 ms, or until the time is over.
class TCmdCheckValue : public TCommandOf<TDeviceInstrument, TAsyncAnalyser>
{
public:
    static constexpr int ciPollIntervalMs = 400;

    explicit TCmdCheckValue(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;

private:
    // One look at the reading; concludes when the check is decided.
    void Turn();
    void Decide();

    int fiTimoSeconds = 0;
    QString fsMode;

    QTimer fTimer;
    QElapsedTimer fStarted;
    double frMin = 0.0;
    double frMax = 0.0;
    double frReading = 0.0;
    ECmdResult feResult = crFailed;
    QString fsConclusion;
};

// Registers the family's device type with the device list: "Instrument".
void RegisterDevices(TDeviceTypes& aTypes);

} // namespace instrument
