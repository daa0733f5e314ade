#pragma once

#include "DeviceSys.h"
#include "RangeUtils.h"

#include "execution/AsyncCommand.h"
#include "execution/CommandOf.h"
#include "execution/DeviceWaiter.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace sys {

// The serial-number commands: both read (and write) the ID file named in field 1 for the variable
// named in field 2. The file work, lock waits included, runs on the device's worker, so the window
// stays responsive while another station holds the file; the step concludes when it is done. The
// command holds the device while its work runs, so that a cancel, or the device going, stops the
// wait at once.
class TCmdIdBase : public TCommandOf<TDeviceSys, TAsyncCommand>
{
public:
    explicit TCmdIdBase(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

    const QString& SourceFile() const { return fsSourceFile; }
    const QString& VariableName() const { return fsVariableName; }

    // How long a step waits for another station to release the file.
    static int LockTimeoutMs() { return fiLockTimeoutMs; }
    static void SetLockTimeoutMs(int iTimeoutMs) { fiLockTimeoutMs = iTimeoutMs; }

protected:
    // The outcome of the file work, handed to the main thread.
    struct TOutcome
    {
        bool bOk = false;
        QString sError;
        std::int64_t iId = 0;
    };
    using TLink = TWorkerThread::TLink;
    // Runs aWork on the device's worker and aDone with its outcome on the main thread. aWork waits
    // through the worker's link, which tells it when the step was cancelled: it then writes
    // nothing more.
    void RunFileWork(std::function<TOutcome(const TLink&)> aWork, std::function<void(const TOutcome&)> aDone);
    void StopPendingWork() override;
    // Concludes crFailed with the error as text and as logged message.
    void FailWith(const QString& sError);

    QString fsSourceFile;
    QString fsVariableName;

private:
    TDeviceClaim fClaim;
    static inline std::atomic<int> fiLockTimeoutMs{5000};
};

// "GetNextID": proposes the ID after the last one (within the ranges, if the file has some).
class TCmdIdGetNext : public TCmdIdBase
{
public:
    using TCmdIdBase::TCmdIdBase;
    TCommand* Init(const QString& sParameter) override;

    bool SortedList() const { return fbSortedList; }
    const TRange& Ranges() const { return fRanges; }

protected:
    void Start(const QString& sParameter) override;

private:
    // Moves iId past the numbers the station's other sockets drew from the same file and records
    // it; false when the ranges hold no further number.
    bool PassOverDrawnIds(std::int64_t& iId) const;
    // The last ID of the file; in sorted mode the file is rewritten sorted first.
    static std::int64_t LastId(const QString& sFile, bool bSorted, const TLink& aLink);

    bool fbSortedList = false;
    TRange fRanges;
};

// "RegisterID": appends the variable's value after checking that it is not registered yet.
class TCmdIdRegister : public TCmdIdBase
{
public:
    using TCmdIdBase::TCmdIdBase;
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;

private:
    static void Register(const QString& sFile, const QString& sValue, const TLink& aLink);
};

} // namespace sys
