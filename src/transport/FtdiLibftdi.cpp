// The converter library of the platform: libftdi1 on libusb-1.0. Kept thin: every operation is one
// library call under the converter's lock, its result mapped to an EFtdiStatus.

#include "FtdiLibrary.h"

#include <ftdi.h>
#include <libusb.h>

#include <array>
#include <mutex>

namespace ports {

namespace {

// Writes that flow control holds back give up after this long instead of holding the caller.
constexpr int ciUsbTimeoutMs = 1000;

struct TFtdiContextDeleter
{
    void operator()(ftdi_context* aContext) const { ftdi_free(aContext); }
};
using TFtdiContextPtr = std::unique_ptr<ftdi_context, TFtdiContextDeleter>;

struct TDeviceListDeleter
{
    void operator()(ftdi_device_list* aList) const { ftdi_list_free2(aList); }
};
using TDeviceListPtr = std::unique_ptr<ftdi_device_list, TDeviceListDeleter>;

// The bus, then one hexadecimal digit per port on the way to the converter: bus 2, ports 3 and 1
// give 0x231.
std::uint32_t LocationId(libusb_device* aDevice)
{
    std::uint32_t dwLocId = libusb_get_bus_number(aDevice);
    std::array<std::uint8_t, 7> ports{};
    const int iDepth = libusb_get_port_numbers(aDevice, ports.data(), int(ports.size()));
    for (int i = 0; i < iDepth; ++i)
        dwLocId = (dwLocId << 4) | (ports[std::size_t(i)] & 0xFu);
    return dwLocId;
}

// The converter type from the device release number.
std::uint32_t DeviceType(std::uint16_t wBcdDevice)
{
    switch (wBcdDevice & 0xFF00) {
    case 0x0400:
        return 0; // 232BM
    case 0x0200:
        return 1; // 232AM
    case 0x0500:
        return 4; // 2232C
    case 0x0600:
        return 5; // 232R
    case 0x0700:
        return 6; // 2232H
    case 0x0800:
        return 7; // 4232H
    case 0x0900:
        return 8;
    case 0x1000:
        return 9;
    default:
        return 3; // Unknown
    }
}

// Whether the USB layer refuses this user the device (no udev rule grants access).
bool AccessDenied(libusb_device* aDevice)
{
    libusb_device_handle* handle = nullptr;
    const int iResult = libusb_open(aDevice, &handle);
    if (iResult == 0)
        libusb_close(handle);
    return iResult == LIBUSB_ERROR_ACCESS;
}

int ReadStrings(ftdi_context* aContext, libusb_device* aDevice, TFtdiDeviceInfo& aInfo)
{
    std::array<char, 64> description{};
    std::array<char, 16> serial{};
    const int iResult = ftdi_usb_get_strings(aContext, aDevice, nullptr, 0, description.data(),
                                             int(description.size()), serial.data(), int(serial.size()));
    if (iResult < 0 && iResult != -9)
        return iResult; // the device could not be opened or described
    // -9: a converter without a serial number still has its description.
    aInfo.sDescription = QString::fromLatin1(description.data());
    aInfo.sSerialNumber = QString::fromLatin1(serial.data());
    return 0;
}

class TLibFtdiConverter : public IFtdiConverter
{
public:
    explicit TLibFtdiConverter(TFtdiContextPtr aContext) : fContext(std::move(aContext)) {}
    ~TLibFtdiConverter() override { Close(); }

    int Close() override
    {
        const std::lock_guard<std::mutex> lock(fLock);
        if (!fbOpen)
            return ftOk;
        fbOpen = false;
        return ftdi_usb_close(fContext.get()) < 0 ? ftIoError : ftOk;
    }
    int Reset() override
    {
        return Call([this] { return ftdi_usb_reset(fContext.get()); });
    }
    int SetBaudRate(std::uint32_t dwBaudrate) override
    {
        const std::lock_guard<std::mutex> lock(fLock);
        if (!fbOpen)
            return ftInvalidHandle;
        const int iResult = ftdi_set_baudrate(fContext.get(), int(dwBaudrate));
        if (iResult == -1)
            return ftInvalidBaudRate;
        return iResult < 0 ? ftIoError : ftOk;
    }
    int SetDataCharacteristics(int iDataBits, int iStopBits, int iParity) override
    {
        if ((iDataBits != 7 && iDataBits != 8) || iParity < 0 || iParity > 4 ||
            (iStopBits != ciFtdiStopBits1 && iStopBits != ciFtdiStopBits2))
            return ftInvalidParameter;
        const auto eBits = iDataBits == 7 ? BITS_7 : BITS_8;
        const auto eStop = iStopBits == ciFtdiStopBits2 ? STOP_BIT_2 : STOP_BIT_1;
        const auto eParity = static_cast<ftdi_parity_type>(iParity); // NONE, ODD, EVEN, MARK, SPACE
        return Call([&] { return ftdi_set_line_property(fContext.get(), eBits, eStop, eParity); });
    }
    int SetFlowControl(std::uint16_t wFlow, std::uint8_t byXOn, std::uint8_t byXOff) override
    {
        if (wFlow == cwFtdiFlowXonXoff)
            return Call([&] { return ftdi_setflowctrl_xonxoff(fContext.get(), byXOn, byXOff); });
        return Call([&] { return ftdi_setflowctrl(fContext.get(), wFlow); });
    }
    int SetDtr(bool bState) override
    {
        return Call([&] { return ftdi_setdtr(fContext.get(), bState); });
    }
    int SetRts(bool bState) override
    {
        return Call([&] { return ftdi_setrts(fContext.get(), bState); });
    }
    int SetBitMode(std::uint8_t byMask, std::uint8_t byMode) override
    {
        return Call([&] { return ftdi_set_bitmode(fContext.get(), byMask, byMode); });
    }
    int GetBitMode(std::uint8_t& byPins) override
    {
        unsigned char byValue = 0;
        const int iStatus = Call([&] { return ftdi_read_pins(fContext.get(), &byValue); });
        byPins = byValue;
        return iStatus;
    }
    int GetModemStatus(std::uint32_t& dwStatus) override
    {
        unsigned short wValue = 0;
        const int iStatus = Call([&] { return ftdi_poll_modem_status(fContext.get(), &wValue); });
        dwStatus = wValue & 0xFFu;
        return iStatus;
    }
    int Read(QByteArray& aData) override
    {
        const std::lock_guard<std::mutex> lock(fLock);
        if (!fbOpen)
            return ftInvalidHandle;
        std::array<unsigned char, 4096> buffer{};
        for (;;) {
            // Returns what the converter delivers within its latency time; 0 when nothing came.
            const int iRead = ftdi_read_data(fContext.get(), buffer.data(), int(buffer.size()));
            if (iRead < 0)
                return ftIoError;
            aData.append(reinterpret_cast<const char*>(buffer.data()), iRead);
            if (iRead < int(buffer.size()))
                return ftOk;
        }
    }
    int Write(const QByteArray& aData, std::uint32_t& dwWritten) override
    {
        dwWritten = 0;
        const std::lock_guard<std::mutex> lock(fLock);
        if (!fbOpen)
            return ftInvalidHandle;
        const int iWritten = ftdi_write_data(
            fContext.get(), reinterpret_cast<const unsigned char*>(aData.constData()), int(aData.size()));
        if (iWritten < 0)
            return ftIoError;
        dwWritten = std::uint32_t(iWritten);
        return ftOk;
    }

    void MarkOpen() { fbOpen = true; }

private:
    template <class TCall>
    int Call(TCall aCall)
    {
        const std::lock_guard<std::mutex> lock(fLock);
        if (!fbOpen)
            return ftInvalidHandle;
        return aCall() < 0 ? ftIoError : ftOk;
    }

    TFtdiContextPtr fContext;
    std::mutex fLock;
    bool fbOpen = false;
};

class TLibFtdi : public IFtdiLibrary
{
public:
    bool Available(QString& sVersion) override
    {
        const TFtdiContextPtr context(ftdi_new());
        if (!context)
            return false;
        sVersion = QString::fromLatin1(ftdi_get_library_version().version_str);
        return true;
    }

    int ListDevices(std::vector<TFtdiDeviceInfo>& aList) override
    {
        aList.clear();
        return Enumerate([&](ftdi_context* aContext, libusb_device* aDevice, TFtdiDeviceInfo& aInfo) {
            (void)aContext;
            (void)aDevice;
            aList.push_back(aInfo);
            return false;
        });
    }

    int OpenBySerialNumber(const QString& sSerialNumber, std::unique_ptr<IFtdiConverter>& aConverter) override
    {
        return Open([&](const TFtdiDeviceInfo& aInfo) { return aInfo.sSerialNumber == sSerialNumber; },
                    aConverter);
    }

    int OpenByLocation(std::uint32_t dwLocId, std::unique_ptr<IFtdiConverter>& aConverter) override
    {
        return Open([&](const TFtdiDeviceInfo& aInfo) { return aInfo.dwLocId == dwLocId; }, aConverter);
    }

private:
    // Calls aVisit for every converter until it returns true; a status.
    template <class TVisit>
    int Enumerate(TVisit aVisit)
    {
        const TFtdiContextPtr context(ftdi_new());
        if (!context)
            return ftInsufficientResources;
        ftdi_device_list* rawList = nullptr;
        // Vendor and product 0: the library's own list of converter ids.
        if (ftdi_usb_find_all(context.get(), &rawList, 0, 0) < 0)
            return ftIoError;
        const TDeviceListPtr list(rawList);
        for (ftdi_device_list* entry = list.get(); entry; entry = entry->next) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(entry->dev, &descriptor) < 0)
                continue;
            TFtdiDeviceInfo info;
            info.dwType = DeviceType(descriptor.bcdDevice);
            info.dwId = (std::uint32_t(descriptor.idVendor) << 16) | descriptor.idProduct;
            info.dwLocId = LocationId(entry->dev);
            if (ReadStrings(context.get(), entry->dev, info) < 0)
                info.bAccessDenied = AccessDenied(entry->dev);
            if (aVisit(context.get(), entry->dev, info))
                return ftOk;
        }
        return ftOk;
    }

    template <class TMatch>
    int Open(TMatch aMatch, std::unique_ptr<IFtdiConverter>& aConverter)
    {
        aConverter.reset();
        int iStatus = ftDeviceNotFound;
        const int iList = Enumerate([&](ftdi_context*, libusb_device* aDevice, TFtdiDeviceInfo& aInfo) {
            if (!aMatch(aInfo))
                return false;
            TFtdiContextPtr context(ftdi_new());
            if (!context) {
                iStatus = ftInsufficientResources;
                return true;
            }
            context->usb_read_timeout = ciUsbTimeoutMs;
            context->usb_write_timeout = ciUsbTimeoutMs;
            // A converter the kernel's serial driver holds is detached from it (the default mode).
            if (ftdi_usb_open_dev(context.get(), aDevice) < 0) {
                iStatus = AccessDenied(aDevice) ? ftAccessDenied : ftDeviceNotOpened;
                return true;
            }
            auto converter = std::make_unique<TLibFtdiConverter>(std::move(context));
            converter->MarkOpen();
            aConverter = std::move(converter);
            iStatus = ftOk;
            return true;
        });
        return iList != ftOk ? iList : iStatus;
    }
};

} // namespace

std::unique_ptr<IFtdiLibrary> IFtdiLibrary::CreateDefault()
{
    return std::make_unique<TLibFtdi>();
}

} // namespace ports
