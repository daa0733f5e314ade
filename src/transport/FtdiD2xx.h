#pragma once

#include "FtdiLibrary.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ports {

// Which text of a converter a search compares.
enum EDeviceInfoNoteField : std::uint8_t
{
    eiSerialNr,
    eiDescription
};

// Open flags of TFtdiRs232::OpenEx: what the identifier names.
constexpr int ciFtdiOpenBySerialNumber = 1;
constexpr int ciFtdiOpenByDescription = 2;
constexpr int ciFtdiOpenByLocation = 4;

// What every wrapper of the converter library shares: the library and the status of the last call
// that failed.
class TFtdiD2xxBase
{
public:
    explicit TFtdiD2xxBase(IFtdiLibrary& aLibrary) : fLibrary(aLibrary) {}
    virtual ~TFtdiD2xxBase() = default;
    TFtdiD2xxBase(const TFtdiD2xxBase&) = delete;
    TFtdiD2xxBase& operator=(const TFtdiD2xxBase&) = delete;

    // Whether the converter library can be used at all.
    static bool Available(IFtdiLibrary& aLibrary);
    // A location id as text ("%.4x") and back (-1 when the text is no hexadecimal number).
    static QString UsbPortId(std::uint32_t dwPortId);
    static std::int64_t UsbPortId(const QString& sPortId);

    int LastError() const { return FiLastError; }
    IFtdiLibrary& Library() const { return fLibrary; }

protected:
    // True for success; a failing status is kept as the last error.
    bool Check(int iStatus);

    std::atomic<int> FiLastError{ftOk}; // also set by reads on other threads

private:
    IFtdiLibrary& fLibrary;
};

// The converters on the USB bus, as the library listed them.
class TFtdiD2xxDeviceList : public TFtdiD2xxBase
{
public:
    using TFtdiD2xxBase::TFtdiD2xxBase;

    // Lists the converters again: their number, -1 when the library could not list them. Raises
    // "File \"%s\" not found!" when the library cannot be used at all.
    int Load();
    int Count() const { return FiCount; }

    // The entries; an index outside the list raises "Invalid list index %d (%d)!".
    std::uint32_t Flags(int iIndex) const { return Entry(iIndex).dwFlags; }
    std::uint32_t DeviceType(int iIndex) const { return Entry(iIndex).dwType; }
    std::uint32_t Id(int iIndex) const { return Entry(iIndex).dwId; }
    std::uint32_t LocId(int iIndex) const { return Entry(iIndex).dwLocId; }
    QString SerialNumber(int iIndex) const { return Entry(iIndex).sSerialNumber; }
    QString Description(int iIndex) const { return Entry(iIndex).sDescription; }
    // Converters have no handle before they are opened.
    std::uint32_t DeviceHandle(int iIndex) const
    {
        Entry(iIndex);
        return 0;
    }
    bool AccessDenied(int iIndex) const { return Entry(iIndex).bAccessDenied; }

    // "232BM", "232AM", ... for the types 0 to 7, "Undefined 0x%x" otherwise.
    static QString DeviceTypeName(std::uint32_t dwType);

    // The first converter at that location, -1 when none.
    int Find(std::uint32_t dwLocationId) const;
    // The first converter whose serial number or description contains sText (case-sensitive),
    // -1 when none.
    int Find(EDeviceInfoNoteField eField, const QString& sText) const;

private:
    const TFtdiDeviceInfo& Entry(int iIndex) const;

    std::vector<TFtdiDeviceInfo> fList;
    int FiCount = 0;
};

// One converter: open or closed. The main thread opens, closes, writes and switches lines; Read
// may also be called from another thread (a reader thread of an instrument).
class TFtdiD2xx : public TFtdiD2xxBase
{
public:
    // The receive queue keeps at most this many bytes: a converter that nobody reads loses its
    // oldest bytes instead of the program its memory.
    static constexpr int ciRxQueueLimit = 1024 * 1024;

    using TFtdiD2xxBase::TFtdiD2xxBase;
    ~TFtdiD2xx() override;

    bool IsOpen() const { return fbOpen; }
    virtual void Close();
    bool Reset();

    // Moves what the converter received into aData: the number of bytes, 0 when nothing was
    // queued, -2 when reading failed (-1 and -3 of the classic driver do not occur: the queue is
    // read in one call).
    int Read(QByteArray& aData);
    // At most iCount bytes into aBuffer, the same results.
    int Read(char* aBuffer, int iCount);
    // True when every byte was written.
    bool Write(const QByteArray& aData);
    bool Write(const char* aBuffer, int iCount);
    bool SetBitMode(std::uint8_t byMask, std::uint8_t byMode);
    // The levels of the bit-bang pins, -1 on failure.
    int GetBitMode();

protected:
    // Takes the opened converter (null: closed).
    void Attach(std::unique_ptr<IFtdiConverter> aConverter);
    // Closes and drops the converter; false when the library reported a failing close.
    bool Detach();
    // The opened converter, for calls on the main thread; null when closed.
    IFtdiConverter* Converter() const { return fConverter.get(); }

    // From here on a poller thread fills the receive queue and Read only takes from it.
    void SetQueued(bool bQueued) { fbQueued = bQueued; }
    // For the poller thread: moves what the converter received into the receive queue; the
    // status. The converter stays while the poller runs (Detach comes after the poller stopped).
    int FetchQueued(bool& bGot);

private:
    // Takes the queue into aData (at most iMax bytes when iMax >= 0): the Read results.
    int TakeQueue(int iStatus, QByteArray& aData, int iMax);

    std::unique_ptr<IFtdiConverter> fConverter;
    std::atomic<bool> fbOpen{false};
    std::atomic<bool> fbQueued{false};
    // Guards the receive queue, and the converter against readers on other threads.
    mutable std::mutex fLock;
    QByteArray fRxQueue;
};

} // namespace ports
