#include "Instrument.h"

#include "transport/FtdiLibrary.h"
#include "transport/FtdiUtils.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "core/RegIO.h"
#include "core/StrUtilsEx.h"
#include "execution/DeviceContext.h"

#include <chrono>
#include <exception>

namespace instrument {

// ---------------------------------------------------------------------------------------------
// The reading cycle

TInstrument::TInstrument(TMsgChannel& aMsg) : fWorker(aMsg, "tzk-instrument"), fMsg(aMsg) {}

TInstrument::~TInstrument()
{
    Terminate();
}

void TInstrument::Start()
{
    fWorker.Start([this](const TWorkerThread::TLink& aLink) { Execute(aLink); });
}

void TInstrument::Terminate()
{
    fWorker.Stop();
}

void TInstrument::Message(TMsgTypeId aType, TMsgId aId, const QString& aText)
{
    fMsg.NewMsg(aType, aId, aText);
}

// ---------------------------------------------------------------------------------------------
// MS8218

TInstMS8218::TInstMS8218(TDeviceContext& aContext) : TInstrument(aContext.Msg()), fContext(aContext) {}

TInstMS8218::~TInstMS8218()
{
    Terminate();
    if (fDevice) {
        try {
            fDevice->Close();
        } catch (const std::exception& e) {
            fMsg.Error(ExceptionText(e));
        }
        fDevice.reset();
    }
}

void TInstMS8218::Init(const QString& sConfig)
{
    if (Running())
        throw EMsg(QStringLiteral("Instrument thread already running!"), TMsgId(0x31010A), 0);
    const QString sPort = sConfig.trimmed();
    if (sPort.startsWith(QLatin1String("COM"))) {
        // The number is an integer of the definition: decimal, "$" or "0x" hexadecimal.
        std::int64_t iPort = 0;
        const bool bOk = TextToInteger(sPort.mid(3).trimmed(), 32, iPort);
        if (!bOk || iPort <= 0)
            throw EMsg(QStringLiteral("Invalid RS232 port definition: ") + sPort, TMsgId(0x310114), 0);
        fdwPortNo = std::uint32_t(iPort);
        fsPortIndication = sPort;
        fDevice = std::make_unique<TMS8218Rs232>(fMsg, QString(), fContext.Settings().UserFileName(),
                                                 fContext.WiringSocket());
    } else if (sPort.startsWith(QLatin1Char('/'))) {
        // A serial line by its device path.
        fdwPortNo = 0;
        fsPortIndication = sPort;
        fDevice = std::make_unique<TMS8218Rs232>(fMsg, sPort, fContext.Settings().UserFileName());
    } else if (!fContext.HardwareAttached()) {
        // A check without the station's converters: the identification's form only.
        const QString sError = ports::TFtdiDetector::IdentificationError(sPort);
        if (!sError.isEmpty())
            throw EMsg(sError, TMsgId(0x31011E), 0);
        fsPortIndication = sPort;
        return;
    } else {
        auto& library = fContext.Part<ports::IFtdiLibrary>();
        fDetector = ports::TFtdiDetector::Instance(library);
        if (!fDetector->Find(sPort, &fMsg))
            throw EMsg(fDetector->ErrorText(), TMsgId(0x31011E), 0);
        fdwPortNo = fDetector->UsbLocationId();
        fsPortIndication = fDetector->DeviceIndication();
        fDevice = std::make_unique<TMS8218Ftdi>(library, fMsg);
    }
    fDecoder.SetOnMsg([this](TMS8218Base*, TMsgTypeId aType, const QString& aText, TMsgId aId) {
        Message(aType, aId, aText);
    });
    fDevice->SetOnMsg([this](TMS8218Transport*, TMsgTypeId aType, const QString& aText, TMsgId aId) {
        Message(aType, aId, aText);
    });
    // A check starts no reading cycle: nothing of it is run.
    if (fContext.HardwareAttached())
        Start();
}

bool TInstMS8218::Open()
{
    if (fbValueReading) {
        fMsg.Warning(QStringLiteral("Instrument reading already active!"));
        return true;
    }
    if (!fDevice)
        throw EMsg(QStringLiteral("No instrument port defined!"), TMsgId(0x31020A), 0);
    // What the decoder collected before is no part of a frame the opened transport delivers.
    fDecoder.Reset();
    if (!fDevice->Open(fdwPortNo)) {
        fMsg.Error(QStringLiteral("Cannot open instrument port %s!"), {fsPortIndication});
        return false;
    }
    fbValueReading = true;
    fbValid = false;
    fWorker.Update([this] { fhRunning = true; });
    return true;
}

bool TInstMS8218::Close()
{
    // The next reading cycle closes the transport.
    fbValueReading = false;
    return true;
}

void TInstMS8218::Reset()
{
    fbReset = true;
    fbValid = false;
    frValue = 0.0;
}

bool TInstMS8218::Read(const QString& sMode, double& rValue)
{
    if (!fbValueReading)
        throw EError(Format(QStringLiteral("Port not open: %s"), {fsPortIndication}));
    bool bHex = false;
    const int iExpectedMode = sMode.mid(2, 2).toInt(&bHex, 16);
    if (sMode.size() < 7 || !bHex)
        throw EError(Format(QStringLiteral("Invalid mode definition: \"%s\""), {sMode}));
    if (!fbValid) {
        Message(eTrace, TMsgId(), QStringLiteral("Waiting for data..."));
        return false;
    }
    if (fiModeCode != iExpectedMode) {
        Message(eError, TMsgId(), Format(QStringLiteral("Wrong measure mode \"%s\" (%s)"), {fsMode, sMode}));
        return false;
    }
    if (fbRangeOverload) {
        Message(eError, TMsgId(), QStringLiteral("Range overload"));
        return false;
    }
    const QString sFactor = sMode.mid(5);
    double rFactor = 0.0;
    const int iBad = ConvertPlainNumber(sFactor, rFactor);
    if (iBad != 0) {
        Message(eError, TMsgId(), Format(QStringLiteral("Invalid value read \"%s\" (%d)"), {sFactor, iBad}));
        return false;
    }
    rValue = rFactor * frValue;
    return true;
}

void TInstMS8218::Execute(const TWorkerThread::TLink& aLink)
{
    using namespace std::chrono_literals;
    while (aLink.WaitUntil([this] { return fhRunning; })) {
        if (aLink.WaitFor(10ms))
            return;
        // One cycle at a time: a main thread that is busy meanwhile is not flooded.
        if (!fbCyclePosted.exchange(true))
            aLink.PostToMain([this] {
                fbCyclePosted = false;
                ReadCycle();
            });
    }
}

void TInstMS8218::ReadCycle()
{
    try {
        if (fDevice->IsOpen())
            fDevice->ReadRxData(fDecoder);
        else
            fWorker.Update([this] { fhRunning = false; }); // parked until the next Open
        UpdateReading();
    } catch (const std::exception& e) {
        Message(eError, TMsgId(0x310300), QStringLiteral("Execute Exception: ") + ExceptionText(e));
        fDecoder.Reset();
    }
}

void TInstMS8218::UpdateReading()
{
    if (fbValueReading && fDevice->IsOpen()) {
        if (fbReset) {
            fDecoder.Reset();
            frValue = 0.0;
            fbValid = false;
            fbReset = false;
            return;
        }
        fiModeCode = fDecoder.ModeCode();
        fsMode = fDecoder.ModeAsText();
        fbRangeOverload = fDecoder.RangeOverload();
        fbValid = fDecoder.Valid();
        frValue = fDecoder.Value();
        return;
    }
    if (fbValueReading)
        fMsg.Warning(QStringLiteral("Instrument port %s closed: reading switched off"), {fsPortIndication});
    fbValueReading = false;
    fbValid = false;
    fDevice->Close();
}

} // namespace instrument
