#include "CmdIds.h"

#include "IdFile.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdParameters.h"
#include "execution/StationLedger.h"

#include <algorithm>

namespace sys {

namespace {

bool IsStartLine(const QString& sLine)
{
    return sLine.trimmed().compare(QLatin1String("#start"), Qt::CaseInsensitive) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCmdIdBase

TCmdIdBase::TCmdIdBase(TDevice* aOwner)
    : TCommandOf(aOwner),
      fClaim(*this, {QStringLiteral("Command execution not finished last time!"), 0x11A80A})
{}

void TCmdIdBase::StopPendingWork()
{
    // The worker stops waiting for the lock and writes nothing more; what it hands over is dropped.
    if (fClaim.Release())
        Device().Worker().RequestStop();
}

TCommand* TCmdIdBase::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsSourceFile = ResolveFileName(csv.GetString(1), true);
    fsVariableName = csv.GetValueTrimmed(2);
    return this;
}

void TCmdIdBase::RunFileWork(std::function<TOutcome(const TLink&)> aWork,
                             std::function<void(const TOutcome&)> aDone)
{
    auto outcome = std::make_shared<TOutcome>();
    fClaim.Claim([outcome, done = std::move(aDone)] { done(*outcome); });
    RunOnWorker(
        Device().Worker(),
        [outcome, work = std::move(aWork)](const TLink& aLink) {
            // The main thread reads the outcome only after the worker ended.
            try {
                *outcome = work(aLink);
                outcome->bOk = true;
            } catch (const std::exception& e) {
                outcome->sError = ExceptionText(e);
            }
        },
        [this] { Device().Waiter().OnResult(); });
}

void TCmdIdBase::FailWith(const QString& sError)
{
    Msg().Error(sError);
    Fail(sError);
}

// ---------------------------------------------------------------------------------------------
// GetNextID

TCommand* TCmdIdGetNext::Init(const QString& sParameter)
{
    TCmdIdBase::Init(sParameter);
    Msg().Info(QStringLiteral("Load ID file \"%s\""), {fsSourceFile});
    bool bStart = false;
    for (const QString& sRawLine : TIdFile::ReadLines(fsSourceFile)) {
        const QString sLine = sRawLine.trimmed();
        const QString sLower = sLine.toLower();
        if (sLower.startsWith(QLatin1String("#ranges"))) {
            if (fRanges.Init(sLine.mid(7)) > 0)
                Msg().Info(QStringLiteral("Initialized serial number ranges: ") + fRanges.BoundaryInfo());
        } else if (sLower.startsWith(QLatin1String("#sorted"))) {
            fbSortedList = true;
        } else if (sLower.startsWith(QLatin1String("#start"))) {
            bStart = true;
            break;
        }
    }
    if (!bStart)
        throw EMsg(QStringLiteral("Directive \"#Start\" missed in ID file: %s"), {fsSourceFile},
                   TMsgId(0x11A20A), 0);
    if (!Context().Variables().Confirm(fsVariableName, ectIsInteger))
        throw EMsg(QStringLiteral("Variable \"%s\" is not defined or not an integer!"), {fsVariableName},
                   TMsgId(0x11A60A), 0);
    return this;
}

std::int64_t TCmdIdGetNext::LastId(const QString& sFile, bool bSorted, const TLink& aLink)
{
    if (!bSorted) {
        // Shared: an append of another station is either wholly there or not yet.
        const TIdFile file(sFile, TIdFile::ELock::Shared, LockTimeoutMs(), &aLink);
        const QStringList& slLines = file.Lines();
        const auto last = std::find_if(slLines.rbegin(), slLines.rend(),
                                       [](const QString& s) { return !s.trimmed().isEmpty(); });
        if (last != slLines.rend() && IsStartLine(*last))
            return 0;
        std::int64_t iLast = 0;
        if (last == slLines.rend() || !TextToInteger(last->trimmed(), 64, iLast))
            throw EMsg(QStringLiteral("Can not read last number from %s"), {sFile}, TMsgId(0x11A30A), 0);
        return iLast;
    }

    TIdFile file(sFile, TIdFile::ELock::Exclusive, LockTimeoutMs(), &aLink);
    const QStringList& slLines = file.Lines();
    const auto start = std::find_if(slLines.begin(), slLines.end(), IsStartLine);
    if (start == slLines.end())
        throw EMsg(QStringLiteral("Directive \"#Start\" missed in ID file: %s"), {sFile}, TMsgId(0x11A20A),
                   0);
    QStringList slHeader;
    for (auto it = slLines.begin(); it != start + 1; ++it)
        slHeader.append(it->trimmed());
    QStringList slIds;
    for (auto it = start + 1; it != slLines.end(); ++it)
        slIds.append(it->trimmed());
    std::sort(slIds.begin(), slIds.end());
    slIds.erase(slIds.begin(),
                std::find_if(slIds.begin(), slIds.end(), [](const QString& s) { return !s.isEmpty(); }));
    std::int64_t iLast = 0;
    if (!slIds.isEmpty() && !TextToInteger(slIds.last(), 64, iLast))
        throw EMsg(QStringLiteral("Can not read last number from %s"), {sFile}, TMsgId(0x11A40A), 0);
    QStringList slContent = slHeader.join(QStringLiteral("\r\n")).trimmed().split(QStringLiteral("\r\n"));
    slContent.append(slIds);
    if (!aLink.Stopping())
        file.Rewrite(slContent);
    return iLast;
}

void TCmdIdGetNext::Start(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdIdGetNext.Execute: ") + sParameter);
    RunFileWork(
        [sFile = fsSourceFile, bSorted = fbSortedList, ranges = fRanges](const TLink& aLink) {
            std::int64_t iNext = LastId(sFile, bSorted, aLink);
            const bool bNext = ranges.Count() > 0 ? ranges.GetNextValue(iNext, 1)
                                                  : !__builtin_add_overflow(iNext, 1, &iNext);
            if (!bNext)
                throw EMsg(QStringLiteral("ID range(s) exhausted!"), TMsgId(0x11A50A), 0);
            TOutcome outcome;
            outcome.iId = iNext;
            return outcome;
        },
        [this](const TOutcome& outcome) {
            if (!outcome.bOk) {
                FailWith(outcome.sError);
                return;
            }
            std::int64_t iId = outcome.iId;
            if (!PassOverDrawnIds(iId)) {
                FailWith(ExceptionText(EMsg(QStringLiteral("ID range(s) exhausted!"), TMsgId(0x11A50A), 0)));
                return;
            }
            Context().Variables().SetValue(fsVariableName, iId);
            Msg().Trace(QStringLiteral("New ID stored in %s=%d"),
                        {fsVariableName, static_cast<long long>(iId)});
            Finish(crDone);
        });
}

bool TCmdIdGetNext::PassOverDrawnIds(std::int64_t& iId) const
{
    // Another socket of the station may hold a number from this file that it has not registered
    // yet: the file alone would offer it again.
    TStationLedger* pLedger = Context().StationLedger();
    if (!pLedger)
        return true;
    std::int64_t iHighest = 0;
    if (pLedger->Highest(fsSourceFile, iHighest) && iId <= iHighest) {
        iId = iHighest;
        if (fRanges.Count() > 0 ? !fRanges.GetNextValue(iId, 1) : __builtin_add_overflow(iId, 1, &iId))
            return false;
    }
    pLedger->Record(fsSourceFile, iId);
    return true;
}

// ---------------------------------------------------------------------------------------------
// RegisterID

TCommand* TCmdIdRegister::Init(const QString& sParameter)
{
    TCmdIdBase::Init(sParameter);
    RequireVariable(Context().Variables(), fsVariableName, 0x11A70A);
    return this;
}

void TCmdIdRegister::Register(const QString& sFile, const QString& sValue, const TLink& aLink)
{
    // One lock from the duplicate check through the append: no other station can slip the same
    // ID in between.
    TIdFile file(sFile, TIdFile::ELock::Exclusive, LockTimeoutMs(), &aLink);
    const QStringList& slLines = file.Lines();
    const QString sId = sValue.trimmed();
    for (int i = int(slLines.size()) - 1; i >= 0 && !IsStartLine(slLines[i]); --i) {
        if (slLines[i].trimmed().compare(sId, Qt::CaseInsensitive) == 0)
            throw EMsg(QStringLiteral("Duplicate \"%s\" at line %d!"), {sValue, i + 1}, TMsgId(0x11A714), 0);
    }
    // A cancelled step registers nothing.
    if (aLink.Stopping())
        throw EError(QStringLiteral("Cancelled before the ID was registered"));
    file.Append(sValue);
}

void TCmdIdRegister::Start(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdIdRegister.Execute: ") + sParameter);
    const QString sValue = Context().Variables().GetAsStr(fsVariableName);
    if (sValue.isEmpty()) {
        FailWith(EMsg(QStringLiteral("Empty value!"), TMsgId(0x11A70A), 0).Message());
        return;
    }
    // A line break would register two IDs at once and slip the second past the duplicate check.
    if (std::any_of(sValue.begin(), sValue.end(), [](QChar c) { return c.unicode() < 0x20; })) {
        FailWith(Format(QStringLiteral("ID \"%s\" holds a control character!"), {EscapeText(sValue)}));
        return;
    }
    RunFileWork(
        [sFile = fsSourceFile, sValue](const TLink& aLink) {
            Register(sFile, sValue, aLink);
            return TOutcome();
        },
        [this, sValue](const TOutcome& outcome) {
            if (!outcome.bOk) {
                FailWith(outcome.sError);
                return;
            }
            LogValue(sValue);
            Finish(crDone);
        });
}

} // namespace sys
