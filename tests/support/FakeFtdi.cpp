#include "FakeFtdi.h"

#include "execution/DeviceContext.h"

using namespace ports;

using TLock = std::lock_guard<std::mutex>;

// ---------------------------------------------------------------------------------------------
// The converter's state, as the test sees it

int TFakeFtdiConverter::Status(EFakeFtdiStep eStep) const
{
    if (!fbPlugged)
        return ftDeviceGone;
    const auto it = fFailures.find(eStep);
    return it == fFailures.end() ? ftOk : it->second;
}

void TFakeFtdiConverter::Feed(const QByteArray& aData)
{
    const TLock lock(fLock);
    fRx.append(aData);
}

QByteArray TFakeFtdiConverter::Written() const
{
    const TLock lock(fLock);
    return fTx;
}

QByteArray TFakeFtdiConverter::TakeWritten()
{
    const TLock lock(fLock);
    QByteArray tx;
    tx.swap(fTx);
    return tx;
}

void TFakeFtdiConverter::SetOnWrite(std::function<void(const QByteArray&)> aAnswer)
{
    const TLock lock(fLock);
    fAnswer = std::move(aAnswer);
}

void TFakeFtdiConverter::FailAt(EFakeFtdiStep eStep, int iStatus)
{
    const TLock lock(fLock);
    if (iStatus == ftOk)
        fFailures.erase(eStep);
    else
        fFailures[eStep] = iStatus;
}

void TFakeFtdiConverter::SetMaxBaudrate(std::uint32_t dwMax)
{
    const TLock lock(fLock);
    fdwMaxBaudrate = dwMax;
}

void TFakeFtdiConverter::SetWriteLimit(int iBytes)
{
    const TLock lock(fLock);
    fiWriteLimit = iBytes;
}

void TFakeFtdiConverter::SetModemStatus(std::uint32_t dwStatus)
{
    const TLock lock(fLock);
    fdwModemStatus = dwStatus;
}

void TFakeFtdiConverter::SetPins(std::uint8_t byPins)
{
    const TLock lock(fLock);
    fbyPins = byPins;
}

namespace {

template <class T>
T Locked(std::mutex& aLock, const T& aField)
{
    const TLock lock(aLock);
    return aField;
}

} // namespace

bool TFakeFtdiConverter::IsOpen() const
{
    return Locked(fLock, fbOpen);
}

bool TFakeFtdiConverter::Plugged() const
{
    return Locked(fLock, fbPlugged);
}

int TFakeFtdiConverter::OpenCount() const
{
    return Locked(fLock, fiOpenCount);
}

int TFakeFtdiConverter::ResetCount() const
{
    return Locked(fLock, fiResetCount);
}

std::uint32_t TFakeFtdiConverter::Baudrate() const
{
    return Locked(fLock, fdwBaudrate);
}

int TFakeFtdiConverter::DataBits() const
{
    return Locked(fLock, fiDataBits);
}

int TFakeFtdiConverter::StopBits() const
{
    return Locked(fLock, fiStopBits);
}

int TFakeFtdiConverter::Parity() const
{
    return Locked(fLock, fiParity);
}

std::uint16_t TFakeFtdiConverter::FlowControl() const
{
    return Locked(fLock, fwFlow);
}

std::uint8_t TFakeFtdiConverter::XOnByte() const
{
    return Locked(fLock, fbyXOn);
}

std::uint8_t TFakeFtdiConverter::XOffByte() const
{
    return Locked(fLock, fbyXOff);
}

bool TFakeFtdiConverter::Dtr() const
{
    return Locked(fLock, fbDtr);
}

bool TFakeFtdiConverter::Rts() const
{
    return Locked(fLock, fbRts);
}

std::uint8_t TFakeFtdiConverter::BitMask() const
{
    return Locked(fLock, fbyBitMask);
}

std::uint8_t TFakeFtdiConverter::BitMode() const
{
    return Locked(fLock, fbyBitMode);
}

int TFakeFtdiConverter::ReadCount() const
{
    return Locked(fLock, fiReadCount);
}

// ---------------------------------------------------------------------------------------------
// An opened converter, as the program sees it

class TFakeFtdiHandle : public IFtdiConverter
{
public:
    explicit TFakeFtdiHandle(std::shared_ptr<TFakeFtdiConverter> aConverter) : f(std::move(aConverter)) {}
    ~TFakeFtdiHandle() override { Close(); }

    int Close() override
    {
        const TLock lock(f->fLock);
        if (!fbOpen)
            return ftOk;
        fbOpen = false;
        f->fbOpen = false;
        return f->Status(EFakeFtdiStep::Close);
    }
    int Reset() override
    {
        return Call(EFakeFtdiStep::Reset, [this] { ++f->fiResetCount; });
    }
    int SetBaudRate(std::uint32_t dwBaudrate) override
    {
        const TLock lock(f->fLock);
        if (const int iStatus = Check(EFakeFtdiStep::Baudrate))
            return iStatus;
        if (dwBaudrate == 0 || (f->fdwMaxBaudrate != 0 && dwBaudrate > f->fdwMaxBaudrate))
            return ftInvalidBaudRate;
        f->fdwBaudrate = dwBaudrate;
        return ftOk;
    }
    int SetDataCharacteristics(int iDataBits, int iStopBits, int iParity) override
    {
        const TLock lock(f->fLock);
        if (const int iStatus = Check(EFakeFtdiStep::DataCharacteristics))
            return iStatus;
        if ((iDataBits != 7 && iDataBits != 8) ||
            (iStopBits != ciFtdiStopBits1 && iStopBits != ciFtdiStopBits2) || iParity < 0 || iParity > 4)
            return ftInvalidParameter;
        f->fiDataBits = iDataBits;
        f->fiStopBits = iStopBits;
        f->fiParity = iParity;
        return ftOk;
    }
    int SetFlowControl(std::uint16_t wFlow, std::uint8_t byXOn, std::uint8_t byXOff) override
    {
        return Call(EFakeFtdiStep::FlowControl, [&] {
            f->fwFlow = wFlow;
            f->fbyXOn = byXOn;
            f->fbyXOff = byXOff;
        });
    }
    int SetDtr(bool bState) override
    {
        return Call(EFakeFtdiStep::ModemLines, [&] { f->fbDtr = bState; });
    }
    int SetRts(bool bState) override
    {
        return Call(EFakeFtdiStep::ModemLines, [&] { f->fbRts = bState; });
    }
    int SetBitMode(std::uint8_t byMask, std::uint8_t byMode) override
    {
        return Call(EFakeFtdiStep::BitMode, [&] {
            f->fbyBitMask = byMask;
            f->fbyBitMode = byMode;
        });
    }
    int GetBitMode(std::uint8_t& byPins) override
    {
        return Call(EFakeFtdiStep::BitMode, [&] { byPins = f->fbyPins; });
    }
    int GetModemStatus(std::uint32_t& dwStatus) override
    {
        return Call(EFakeFtdiStep::ModemStatus, [&] { dwStatus = f->fdwModemStatus; });
    }
    int Read(QByteArray& aData) override
    {
        return Call(EFakeFtdiStep::Read, [&] {
            ++f->fiReadCount;
            aData.append(f->fRx);
            f->fRx.clear();
        });
    }
    int Write(const QByteArray& aData, std::uint32_t& dwWritten) override
    {
        dwWritten = 0;
        QByteArray written;
        std::function<void(const QByteArray&)> answer;
        {
            const TLock lock(f->fLock);
            if (const int iStatus = Check(EFakeFtdiStep::Write))
                return iStatus;
            written = f->fiWriteLimit < 0 ? aData : aData.left(f->fiWriteLimit);
            f->fTx.append(written);
            dwWritten = std::uint32_t(written.size());
            answer = f->fAnswer;
        }
        // Outside the lock: the answer feeds the same converter.
        if (answer)
            answer(written);
        return ftOk;
    }

    void MarkOpen() { fbOpen = true; }

private:
    // The lock held.
    int Check(EFakeFtdiStep eStep) const
    {
        if (!f->fbPlugged)
            return ftDeviceGone;
        if (!fbOpen)
            return ftInvalidHandle;
        return f->Status(eStep);
    }
    template <class TWork>
    int Call(EFakeFtdiStep eStep, TWork aWork)
    {
        const TLock lock(f->fLock);
        if (const int iStatus = Check(eStep))
            return iStatus;
        aWork();
        return ftOk;
    }

    std::shared_ptr<TFakeFtdiConverter> f;
    bool fbOpen = false;
};

// ---------------------------------------------------------------------------------------------
// The bus and its library

class TFakeFtdiBus
{
public:
    std::shared_ptr<TFakeFtdiConverter> Find(const std::function<bool(const TFakeFtdiConverter&)>& aMatch)
    {
        const TLock lock(fLock);
        for (const auto& converter : fConverters) {
            const TLock converterLock(converter->fLock);
            if (converter->fbPlugged && aMatch(*converter))
                return converter;
        }
        return nullptr;
    }

    int Open(const std::function<bool(const TFakeFtdiConverter&)>& aMatch,
             std::unique_ptr<IFtdiConverter>& aConverter)
    {
        aConverter.reset();
        const std::shared_ptr<TFakeFtdiConverter> converter = Find(aMatch);
        if (!converter)
            return ftDeviceNotFound;
        const TLock lock(converter->fLock);
        if (converter->fInfo.bAccessDenied)
            return ftAccessDenied;
        if (const int iStatus = converter->Status(EFakeFtdiStep::Open))
            return iStatus;
        if (converter->fbOpen)
            return ftDeviceNotOpened; // another handle holds it
        converter->fbOpen = true;
        ++converter->fiOpenCount;
        // Every opening starts with the converter's power-on line state.
        converter->fbDtr = false;
        converter->fbRts = false;
        converter->fbyBitMode = 0;
        auto handle = std::make_unique<TFakeFtdiHandle>(converter);
        handle->MarkOpen();
        aConverter = std::move(handle);
        return ftOk;
    }

    mutable std::mutex fLock;
    std::vector<std::shared_ptr<TFakeFtdiConverter>> fConverters;
    bool fbAvailable = true;
    int fiListStatus = ftOk;
    int fiListCount = 0;
};

class TFakeFtdiLibrary : public IFtdiLibrary
{
public:
    explicit TFakeFtdiLibrary(std::shared_ptr<TFakeFtdiBus> aBus) : fBus(std::move(aBus)) {}

    bool Available(QString& sVersion) override
    {
        const TLock lock(fBus->fLock);
        sVersion = QStringLiteral("simulated converter bus");
        return fBus->fbAvailable;
    }
    int ListDevices(std::vector<TFtdiDeviceInfo>& aList) override
    {
        aList.clear();
        const TLock lock(fBus->fLock);
        ++fBus->fiListCount;
        if (fBus->fiListStatus != ftOk)
            return fBus->fiListStatus;
        for (const auto& converter : fBus->fConverters) {
            const TLock converterLock(converter->fLock);
            if (!converter->fbPlugged)
                continue;
            TFtdiDeviceInfo info = converter->fInfo;
            if (converter->fbOpen)
                info.dwFlags |= 1; // opened
            aList.push_back(info);
        }
        return ftOk;
    }
    int OpenBySerialNumber(const QString& sSerialNumber, std::unique_ptr<IFtdiConverter>& aConverter) override
    {
        return fBus->Open(
            [&](const TFakeFtdiConverter& aConverter) {
                // A converter this user may not read lists an empty serial number, like the
                // platform's library does: opening by it runs into the denied access.
                return aConverter.fInfo.sSerialNumber == sSerialNumber;
            },
            aConverter);
    }
    int OpenByLocation(std::uint32_t dwLocId, std::unique_ptr<IFtdiConverter>& aConverter) override
    {
        return fBus->Open(
            [&](const TFakeFtdiConverter& aConverter) { return aConverter.fInfo.dwLocId == dwLocId; },
            aConverter);
    }

private:
    std::shared_ptr<TFakeFtdiBus> fBus;
};

TFakeFtdi::TFakeFtdi() : fBus(std::make_shared<TFakeFtdiBus>()) {}

TFakeFtdi::~TFakeFtdi() = default;

TFakeFtdiConverter& TFakeFtdi::Plug(const QString& sSerialNumber, const QString& sDescription,
                                    std::uint32_t dwLocId, std::uint32_t dwType, std::uint32_t dwId)
{
    TFtdiDeviceInfo info;
    info.dwType = dwType;
    info.dwId = dwId;
    info.dwLocId = dwLocId;
    info.sSerialNumber = sSerialNumber;
    info.sDescription = sDescription;
    auto converter = std::make_shared<TFakeFtdiConverter>(info);
    const TLock lock(fBus->fLock);
    fBus->fConverters.push_back(converter);
    return *converter;
}

TFakeFtdiConverter& TFakeFtdi::PlugDenied(std::uint32_t dwLocId)
{
    TFtdiDeviceInfo info;
    info.dwLocId = dwLocId;
    info.dwId = 0x12340001;
    info.bAccessDenied = true;
    auto converter = std::make_shared<TFakeFtdiConverter>(info);
    const TLock lock(fBus->fLock);
    fBus->fConverters.push_back(converter);
    return *converter;
}

void TFakeFtdi::Unplug(const QString& sSerialNumber)
{
    const TLock lock(fBus->fLock);
    for (const auto& converter : fBus->fConverters) {
        const TLock converterLock(converter->fLock);
        if (converter->fInfo.sSerialNumber == sSerialNumber)
            converter->fbPlugged = false;
    }
}

TFakeFtdiConverter* TFakeFtdi::Converter(const QString& sSerialNumber) const
{
    const TLock lock(fBus->fLock);
    for (const auto& converter : fBus->fConverters) {
        if (converter->fInfo.sSerialNumber == sSerialNumber)
            return converter.get();
    }
    return nullptr;
}

void TFakeFtdi::SetAvailable(bool bAvailable)
{
    const TLock lock(fBus->fLock);
    fBus->fbAvailable = bAvailable;
}

void TFakeFtdi::FailList(int iStatus)
{
    const TLock lock(fBus->fLock);
    fBus->fiListStatus = iStatus;
}

int TFakeFtdi::ListCount() const
{
    const TLock lock(fBus->fLock);
    return fBus->fiListCount;
}

std::unique_ptr<IFtdiLibrary> TFakeFtdi::CreateLibrary() const
{
    return std::make_unique<TFakeFtdiLibrary>(fBus);
}

void TFakeFtdi::Install(TDeviceContext& aContext) const
{
    aContext.SetPart<IFtdiLibrary>(CreateLibrary());
}

void TFakeFtdi::Uninstall(TDeviceContext& aContext)
{
    aContext.SetPart<IFtdiLibrary>(nullptr);
}
