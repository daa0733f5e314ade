#include "DeviceInstrument.h"

#include "Instrument.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"
#include "execution/DeviceList.h"

namespace instrument {

// ---------------------------------------------------------------------------------------------
// Device

TDeviceInstrument::TDeviceInstrument(TDeviceContext& aContext) : TDevice(aContext)
{
    TCmdCreateCmd::AddTo(*this, FunctionTable());
}

const TCmdCreateCmd::TTable& TDeviceInstrument::FunctionTable()
{
    constexpr auto eShared = TCmdCreateCmd::eShared;
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("Instrument TCmdCreateCmd.Init: \"%s\" \"%s\""), 0x14050A, 0x14060A,
         QStringLiteral("I1")},
        {
            {"Open", CreateCommand<TCmdOpen>, nullptr, {EParamField::Label}, eShared},
            {"Close", CreateCommand<TCmdClose>, nullptr, {EParamField::Label}, eShared},
            {"Reset", CreateCommand<TCmdReset>, nullptr, {EParamField::Label}, eShared},
            {"Check",
             CreateCommand<TCmdCheckValue>,
             nullptr,
             {EParamField::Label, EParamField::Choice, EParamField::Number, EParamField::Number,
              EParamField::Number, EParamField::Variable}},
        }};
    return table;
}

// Out of line: the instrument's class is complete only here.
TDeviceInstrument::~TDeviceInstrument() = default;

void TDeviceInstrument::Init(const QString& sDefinition)
{
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    RequireFieldCount(csv, 4);
    const QString sType = csv.GetStringTrimmed(2);
    if (sType != QLatin1String("MS8218"))
        throw EMsg(QStringLiteral("Unknown instrument type \"%s\"!"), {sType}, TMsgId(0x14010A), 0);
    auto instrument = std::make_unique<TInstMS8218>(Context());
    instrument->Init(csv.GetValueTrimmed(3));
    Msg().Trace(QStringLiteral("Device Instrument: MS8218 at %s"), {instrument->PortIndication()});
    fInstrument = std::move(instrument);
}

void TDeviceInstrument::Released()
{
    // Stops the reading cycle and closes the port.
    fInstrument.reset();
}

TInstrument& TDeviceInstrument::Checked(std::uint32_t dwId) const
{
    if (!fInstrument)
        throw EMsg(QStringLiteral("No instrument defined!"), TMsgId(dwId), 0);
    return *fInstrument;
}

bool TDeviceInstrument::Open()
{
    return Checked(0x14020A).Open();
}

bool TDeviceInstrument::Close()
{
    return Checked(0x14020A).Close();
}

void TDeviceInstrument::Reset()
{
    Checked(0x14030A).Reset();
}

bool TDeviceInstrument::Read(const QString& sMode, double& rValue)
{
    return Checked(0x14040A).Read(sMode, rValue);
}

// ---------------------------------------------------------------------------------------------
// Open, Close, Reset

void TCmdOpen::Execute(const QString&)
{
    Conclude(Device().Open() ? crDone : crFailed);
}

void TCmdClose::Execute(const QString&)
{
    Device().Close();
    Conclude(crDone);
}

void TCmdReset::Execute(const QString&)
{
    Device().Reset();
    Conclude(crDone);
}

// ---------------------------------------------------------------------------------------------
// Check

TCmdCheckValue::TCmdCheckValue(TDevice* aOwner) : TCommandOf(aOwner)
{
    fTimer.setSingleShot(true);
    QObject::connect(&fTimer, &QTimer::timeout, Receiver(), Guard([this] { Turn(); }));
}

TCommand* TCmdCheckValue::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 5);
    fsMode = csv.GetStringTrimmed(1);
    fiTimoSeconds = csv.GetInteger(2);
    SetMinValue(csv.GetValueTrimmed(3));
    SetMaxValue(csv.GetValueTrimmed(4));
    if (csv.ValueCount() > 5 && !csv.GetStringTrimmed(5).isEmpty())
        SetVariableName(csv.GetStringTrimmed(5));
    return this;
}

void TCmdCheckValue::Start(const QString&)
{
    Msg().Debug(QStringLiteral("Instrument TCmdCheckValue.Execute"));
    feResult = crFailed;
    fsConclusion.clear();
    frReading = 0.0;
    SetErrorText(QString());
    // Only a frame decoded from now on can pass.
    Device().Reset();
    fStarted.start();
    frMin = MinValue();
    frMax = MaxValue();
    Turn();
}

void TCmdCheckValue::StopPendingWork()
{
    fTimer.stop();
}

void TCmdCheckValue::Turn()
{
    const int iElapsed = int(fStarted.elapsed() / 1000);
    try {
        double rValue = 0.0;
        if (Device().Read(fsMode, rValue)) {
            frReading = rValue;
            SetMeasurement(rValue, frMin, frMax);
            if (frMin <= rValue && rValue <= frMax) {
                feResult = crOk;
                fsConclusion =
                    fiTimoSeconds <= 0
                        ? Format(QStringLiteral("Response Passed: %g <= %g <= %g"), {frMin, rValue, frMax})
                        : Format(QStringLiteral("Response Passed in %ds: %g <= %g <= %g"),
                                 {iElapsed, frMin, rValue, frMax});
                Decide();
                return;
            }
            if (fiTimoSeconds <= 0) {
                SetErrorText(QStringLiteral("%g <= %g <= %g"), {frMin, rValue, frMax});
                fsConclusion =
                    Format(QStringLiteral("Response Failed: %g <= %g <= %g!"), {frMin, rValue, frMax});
                Decide();
                return;
            }
            SetErrorText(QStringLiteral("%ds: %g <= %g <= %g"), {iElapsed, frMin, rValue, frMax});
            fsConclusion = Format(QStringLiteral("Response Failed in %ds: %g <= %g <= %g!"),
                                  {iElapsed, frMin, rValue, frMax});
            if (iElapsed > fiTimoSeconds) {
                Decide();
                return;
            }
        } else if (iElapsed >= fiTimoSeconds) {
            SetErrorText(QStringLiteral("Timeout!"));
            fsConclusion = Format(QStringLiteral("Timeout after %ds!"), {iElapsed});
            Decide();
            return;
        }
    } catch (const std::exception& e) {
        Msg().Error(QStringLiteral("Instrument measurement failed: ") + ExceptionText(e));
        Decide();
        return;
    }
    if (iElapsed < fiTimoSeconds)
        fTimer.start(ciPollIntervalMs);
    else
        Decide();
}

void TCmdCheckValue::Decide()
{
    if (feResult != crOk) {
        if (!fsConclusion.isEmpty())
            Msg().Error(fsConclusion);
        else
            SetErrorText(QStringLiteral("Measurement failed!"));
    } else {
        Msg().Info(fsConclusion);
    }
    LogValue(Format(QStringLiteral("%g"), {frReading}));
    StoreResult(frReading);
    Finish(feResult);
}

} // namespace instrument
