#pragma once

#include "RangeUtils.h"

#include "execution/AsyncCommand.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace sys {

// The serial-number commands: both read (and write) the ID file named in field 1 for the variable
// named in field 2. The file work, lock waits included, runs on a worker thread, so the window
// stays responsive while another station holds the file; the step concludes when it is done.
class TCmdIdBase : public TAsyncCommand
{
public:
    using TAsyncCommand::TAsyncCommand;
    ~TCmdIdBase() override;
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
    using TAbort = std::atomic<bool>;
    // Runs aWork on the worker thread and aDone with its outcome on the main thread. aWork is
    // told through its argument when the step was cancelled: it then writes nothing more.
    void RunFileWork(std::function<TOutcome(const TAbort&)> aWork,
                     std::function<void(const TOutcome&)> aDone);
    void StopPendingWork() override;
    // Concludes crFailed with the error as text and as logged message.
    void FailWith(const QString& sError);

    QString fsSourceFile;
    QString fsVariableName;

private:
    std::thread fWorker;
    std::shared_ptr<TAbort> fAbort;
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
    static std::int64_t LastId(const QString& sFile, bool bSorted, const TAbort& aAbort);

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
    static void Register(const QString& sFile, const QString& sValue, const TAbort& aAbort);
};

} // namespace sys
