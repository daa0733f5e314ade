#include "FtdiD2xx.h"

#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <algorithm>
#include <cstring>

namespace ports {

using TLock = std::lock_guard<std::mutex>;

// ---------------------------------------------------------------------------------------------
// TFtdiD2xxBase

bool TFtdiD2xxBase::Available(IFtdiLibrary& aLibrary)
{
    QString sVersion;
    return aLibrary.Available(sVersion);
}

QString TFtdiD2xxBase::UsbPortId(std::uint32_t dwPortId)
{
    return Format(QStringLiteral("%.4x"), {dwPortId});
}

std::int64_t TFtdiD2xxBase::UsbPortId(const QString& sPortId)
{
    const QString sText = sPortId.trimmed();
    if (sText.isEmpty() || sText.size() > 8)
        return -1;
    std::int64_t iValue = 0;
    for (const QChar c : sText) {
        const int iDigit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (iDigit < 0)
            return -1;
        iValue = iValue * 16 + iDigit;
    }
    return iValue;
}

bool TFtdiD2xxBase::Check(int iStatus)
{
    if (iStatus == ftOk)
        return true;
    FiLastError = iStatus;
    return false;
}

// ---------------------------------------------------------------------------------------------
// TFtdiD2xxDeviceList

int TFtdiD2xxDeviceList::Load()
{
    fList.clear();
    FiCount = 0;
    if (!Available(Library()))
        throw EError(Format(QStringLiteral("File \"%s\" not found!"), {QStringLiteral("libftdi1")}));
    std::vector<TFtdiDeviceInfo> list;
    if (!Check(Library().ListDevices(list)))
        return -1;
    fList = std::move(list);
    FiCount = int(fList.size());
    return FiCount;
}

const TFtdiDeviceInfo& TFtdiD2xxDeviceList::Entry(int iIndex) const
{
    if (iIndex < 0 || iIndex >= FiCount)
        throw EError(Format(QStringLiteral("Invalid list index %d (%d)!"), {iIndex, FiCount}));
    return fList[std::size_t(iIndex)];
}

QString TFtdiD2xxDeviceList::DeviceTypeName(std::uint32_t dwType)
{
    static const char* const names[] = {"232BM", "232AM", "100AX", "Unknown",
                                        "2232C", "232R",  "2232H", "4232H"};
    if (dwType < std::size(names))
        return QString::fromLatin1(names[dwType]);
    return Format(QStringLiteral("Undefined 0x%x"), {dwType});
}

int TFtdiD2xxDeviceList::Find(std::uint32_t dwLocationId) const
{
    for (int i = 0; i < FiCount; ++i) {
        if (fList[std::size_t(i)].dwLocId == dwLocationId)
            return i;
    }
    return -1;
}

int TFtdiD2xxDeviceList::Find(EDeviceInfoNoteField eField, const QString& sText) const
{
    if (eField != eiSerialNr && eField != eiDescription)
        throw EError(Format(QStringLiteral("Unknown device info note field: %d!"), {int(eField)}));
    for (int i = 0; i < FiCount; ++i) {
        const TFtdiDeviceInfo& info = fList[std::size_t(i)];
        const QString& sNote = eField == eiSerialNr ? info.sSerialNumber : info.sDescription;
        if (sNote.contains(sText, Qt::CaseSensitive))
            return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// TFtdiD2xx

TFtdiD2xx::~TFtdiD2xx()
{
    Detach();
}

void TFtdiD2xx::Close()
{
    if (!Detach())
        throw EError(QStringLiteral("Device closing failed!"));
}

void TFtdiD2xx::Attach(std::unique_ptr<IFtdiConverter> aConverter)
{
    const TLock lock(fLock);
    fConverter = std::move(aConverter);
    fbOpen = bool(fConverter);
    fRxQueue.clear();
}

bool TFtdiD2xx::Detach()
{
    std::unique_ptr<IFtdiConverter> converter;
    {
        const TLock lock(fLock);
        converter.swap(fConverter);
        fbOpen = false;
        fbQueued = false;
        fRxQueue.clear();
    }
    if (!converter)
        return true;
    const int iStatus = converter->Close();
    // A converter that is already gone is closed as far as anybody can tell.
    return iStatus == ftDeviceGone || Check(iStatus);
}

bool TFtdiD2xx::Reset()
{
    return fConverter && Check(fConverter->Reset());
}

int TFtdiD2xx::FetchQueued(bool& bGot)
{
    bGot = false;
    IFtdiConverter* const converter = fConverter.get();
    if (!converter)
        return ftInvalidHandle;
    // Read without the lock: the USB transfer may take the converter's latency time, and readers
    // of the queue must not wait for it.
    QByteArray chunk;
    const int iStatus = converter->Read(chunk);
    if (!chunk.isEmpty()) {
        const TLock lock(fLock);
        fRxQueue.append(chunk);
        if (fRxQueue.size() > ciRxQueueLimit)
            fRxQueue.remove(0, fRxQueue.size() - ciRxQueueLimit);
        bGot = true;
    }
    return iStatus;
}

int TFtdiD2xx::TakeQueue(int iStatus, QByteArray& aData, int iMax)
{
    const TLock lock(fLock);
    if (iStatus != ftOk && fRxQueue.isEmpty()) {
        FiLastError = iStatus;
        return -2;
    }
    const int iCount = iMax < 0 ? int(fRxQueue.size()) : std::min(iMax, int(fRxQueue.size()));
    aData.append(fRxQueue.left(iCount));
    fRxQueue.remove(0, iCount);
    return iCount;
}

int TFtdiD2xx::Read(QByteArray& aData)
{
    int iStatus = ftOk;
    if (!fbQueued) {
        const TLock lock(fLock);
        iStatus = fConverter ? fConverter->Read(fRxQueue) : int(ftInvalidHandle);
    }
    return TakeQueue(iStatus, aData, -1);
}

int TFtdiD2xx::Read(char* aBuffer, int iCount)
{
    int iStatus = ftOk;
    if (!fbQueued) {
        const TLock lock(fLock);
        iStatus = fConverter ? fConverter->Read(fRxQueue) : int(ftInvalidHandle);
    }
    QByteArray data;
    const int iTaken = TakeQueue(iStatus, data, std::max(iCount, 0));
    if (iTaken > 0)
        std::memcpy(aBuffer, data.constData(), std::size_t(iTaken));
    return iTaken;
}

bool TFtdiD2xx::Write(const QByteArray& aData)
{
    if (!fConverter)
        return Check(ftInvalidHandle);
    std::uint32_t dwWritten = 0;
    if (!Check(fConverter->Write(aData, dwWritten)))
        return false;
    return dwWritten == std::uint32_t(aData.size());
}

bool TFtdiD2xx::Write(const char* aBuffer, int iCount)
{
    return Write(QByteArray(aBuffer, iCount));
}

bool TFtdiD2xx::SetBitMode(std::uint8_t byMask, std::uint8_t byMode)
{
    if (!fConverter)
        return Check(ftInvalidHandle);
    return Check(fConverter->SetBitMode(byMask, byMode));
}

int TFtdiD2xx::GetBitMode()
{
    std::uint8_t byPins = 0;
    if (!fConverter || !Check(fConverter->GetBitMode(byPins)))
        return -1;
    return byPins;
}

} // namespace ports
