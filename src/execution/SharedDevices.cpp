#include "SharedDevices.h"

#include "Command.h"
#include "Device.h"
#include "DeviceContext.h"
#include "DeviceTypes.h"
#include "Job.h"
#include "TestTree.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <QTimer>

#include <algorithm>

TSharedDevices::TSharedDevices(const TDeviceTypes* aTypes, TRegIO* aSettings)
    : fpTypes(aTypes), fpSettings(aSettings)
{}

// The last declared goes first; each device's context outlives it.
TSharedDevices::~TSharedDevices()
{
    fRequests.clear();
    while (!fEntries.empty()) {
        TEntry& entry = fEntries.back();
        Bind(entry, nullptr);
        try {
            entry.device->Released();
        } catch (const std::exception& e) {
            entry.context->Msg().Error(ExceptionText(e));
        }
        entry.device.reset();
        fEntries.pop_back();
    }
}

TDevice& TSharedDevices::SharedDevice(const QString& sDefinition, TDeviceContext& aLoading)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sDefinition + csv.Separator());
    const QString sName = csv.GetValueTrimmed(1);
    for (TEntry& entry : fEntries) {
        if (entry.sName != sName)
            continue;
        if (entry.sDefinition != sDefinition.trimmed())
            throw EMsg(QStringLiteral("Shared device \"%s\" is declared with other parameters: %s"),
                       {sName, entry.sDefinition}, TMsgId(0x10010B), 0);
        // The session's own lines of this device are read against the session's variables.
        if (!entry.pHolder)
            Bind(entry, &aLoading);
        return *entry.device;
    }
    TEntry entry;
    entry.sName = sName;
    entry.sDefinition = sDefinition.trimmed();
    entry.context = std::make_unique<TDeviceContext>();
    entry.context->SetTypes(fpTypes);
    entry.context->SetSettings(fpSettings);
    // The station's own device: its wiring comes from the station's settings, whoever holds it.
    entry.context->SetStationWide(true);
    fEntries.push_back(std::move(entry));
    TEntry& added = fEntries.back();
    Bind(added, &aLoading);
    const TDeviceTypes& types = added.context->Types();
    const QString sKeyword = csv.GetValueTrimmed(0);
    try {
        added.device = types.Make(sKeyword, sName, sDefinition, *added.context);
        if (!added.device)
            throw EMsg(QStringLiteral("Unknown device type \"%s\"!\r\nKnown device types: %s"),
                       {sKeyword, types.Names().join(QStringLiteral(", "))}, TMsgId(0x100163), 0);
    } catch (...) {
        fEntries.pop_back();
        throw;
    }
    added.device->SetSharedGate(this);
    return *added.device;
}

int TSharedDevices::IndexOf(const TDevice& aDevice) const
{
    for (std::size_t i = 0; i < fEntries.size(); ++i)
        if (fEntries[i].device.get() == &aDevice)
            return int(i);
    return -1;
}

TDevice* TSharedDevices::Device(const QString& sName) const
{
    for (const TEntry& entry : fEntries)
        if (entry.sName == sName)
            return entry.device.get();
    return nullptr;
}

const TDeviceContext* TSharedDevices::Holder(const QString& sName) const
{
    for (const TEntry& entry : fEntries)
        if (entry.sName == sName)
            return entry.pHolder;
    return nullptr;
}

QString TSharedDevices::WaitingFor(const TDeviceContext& aHolder) const
{
    for (const auto& [iTicket, request] : fRequests) {
        if (request.pHolder != &aHolder || request.iNext >= request.needed.size())
            continue;
        return fEntries[std::size_t(request.needed[request.iNext])].sName;
    }
    return QString();
}

std::vector<int> TSharedDevices::Needed(const TDevice& aDevice, const TTreeNode* aNode) const
{
    std::vector<int> needed{IndexOf(aDevice)};
    const TTreeNode* pCase = aNode;
    while (pCase && pCase->Parent())
        pCase = pCase->Parent();
    std::vector<const TTreeNode*> open;
    if (pCase)
        open.push_back(pCase);
    while (!open.empty()) {
        const TTreeNode* pNode = open.back();
        open.pop_back();
        for (const TTreeNode* pChild : pNode->Children())
            open.push_back(pChild);
        const TJob* pJob = pNode->Job();
        const TCommand* pCommand = pJob ? pJob->Cmd() : nullptr;
        if (pCommand && pCommand->Owner() && pCommand->Owner()->SharedGate() == this) {
            const int i = IndexOf(*pCommand->Owner());
            if (i >= 0)
                needed.push_back(i);
        }
    }
    std::sort(needed.begin(), needed.end());
    needed.erase(std::unique(needed.begin(), needed.end()), needed.end());
    return needed;
}

std::uint64_t TSharedDevices::Acquire(TDevice& aDevice, TDeviceContext& aHolder, const TTreeNode* aNode,
                                      std::function<void()> aGranted)
{
    const std::uint64_t iTicket = fiNextTicket++;
    TRequest& request = fRequests[iTicket];
    request.pHolder = &aHolder;
    request.needed = Needed(aDevice, aNode);
    request.granted = std::move(aGranted);
    if (Advance(iTicket, request)) {
        const std::function<void()> granted = std::move(request.granted);
        fRequests.erase(iTicket);
        TellRunStarted(&aHolder);
        granted();
        return 0;
    }
    return iTicket;
}

bool TSharedDevices::Advance(std::uint64_t iTicket, TRequest& aRequest)
{
    while (aRequest.iNext < aRequest.needed.size()) {
        TEntry& entry = fEntries[std::size_t(aRequest.needed[aRequest.iNext])];
        if (entry.pHolder == aRequest.pHolder) {
            ++aRequest.iNext;
            continue;
        }
        if (!entry.pHolder && entry.waiting.empty()) {
            Take(entry, aRequest.pHolder);
            ++aRequest.iNext;
            continue;
        }
        if (std::find(entry.waiting.begin(), entry.waiting.end(), iTicket) == entry.waiting.end()) {
            entry.waiting.push_back(iTicket);
            aRequest.pHolder->Msg().Info(
                QStringLiteral("Waits for the shared device \"%s\" (held by socket %d)"),
                {entry.sName, entry.pHolder ? entry.pHolder->Socket() : 0});
        }
        return false;
    }
    return true;
}

void TSharedDevices::Take(TEntry& aEntry, TDeviceContext* aHolder)
{
    aEntry.pHolder = aHolder;
    Bind(aEntry, aHolder);
}

void TSharedDevices::Bind(TEntry& aEntry, TDeviceContext* aHolder)
{
    TDeviceContext& context = *aEntry.context;
    context.Msg().SetForward(aHolder ? &aHolder->Msg() : nullptr);
    context.SetVariables(aHolder ? &aHolder->Variables() : nullptr);
    context.SetValueLog(aHolder ? &aHolder->ValueLog() : nullptr);
    context.SetDevices(aHolder ? &aHolder->Devices() : nullptr);
    context.SetRunner(aHolder ? aHolder->Runner() : nullptr);
    context.SetDialogs(aHolder ? aHolder->Dialogs() : nullptr);
    context.SetIndicators(aHolder ? aHolder->Indicators() : nullptr);
    context.SetDocuments(aHolder ? aHolder->Documents() : nullptr);
    context.SetDefinitionOpener(aHolder ? aHolder->DefinitionOpener() : nullptr);
    context.SetSocket(aHolder ? aHolder->Socket() : 0);
    context.SetStationLedger(aHolder ? aHolder->StationLedger() : nullptr);
}

void TSharedDevices::CancelWait(std::uint64_t iTicket)
{
    for (TEntry& entry : fEntries)
        entry.waiting.erase(std::remove(entry.waiting.begin(), entry.waiting.end(), iTicket),
                            entry.waiting.end());
    fRequests.erase(iTicket);
}

void TSharedDevices::ReleaseAll(const TDeviceContext& aHolder)
{
    for (auto it = fRequests.begin(); it != fRequests.end();) {
        if (it->second.pHolder == &aHolder) {
            const std::uint64_t iTicket = it->first;
            ++it;
            CancelWait(iTicket);
        } else {
            ++it;
        }
    }
    std::vector<std::uint64_t> resumed;
    for (TEntry& entry : fEntries) {
        if (entry.pHolder != &aHolder)
            continue;
        entry.pHolder = nullptr;
        Bind(entry, nullptr);
        // The longest waiter takes it over at once, so that no later arrival overtakes it.
        while (!entry.waiting.empty()) {
            const std::uint64_t iTicket = entry.waiting.front();
            entry.waiting.pop_front();
            const auto request = fRequests.find(iTicket);
            if (request == fRequests.end())
                continue;
            Take(entry, request->second.pHolder);
            ++request->second.iNext;
            resumed.push_back(iTicket);
            break;
        }
    }
    for (const std::uint64_t iTicket : resumed) {
        const auto request = fRequests.find(iTicket);
        if (request == fRequests.end() || !Advance(iTicket, request->second))
            continue;
        // Granted: the step runs from the event loop, unless it is cancelled before.
        QTimer::singleShot(0, &fPoster, [this, iTicket] {
            const auto granted = fRequests.find(iTicket);
            if (granted == fRequests.end())
                return;
            const std::function<void()> run = std::move(granted->second.granted);
            TDeviceContext* pHolder = granted->second.pHolder;
            fRequests.erase(granted);
            // Another socket may have had the device bound meanwhile only if it held it: rebind.
            for (TEntry& entry : fEntries)
                if (entry.pHolder == pHolder)
                    Bind(entry, pHolder);
            TellRunStarted(pHolder);
            run();
        });
    }
}

void TSharedDevices::Forget(const TDeviceContext& aHolder)
{
    fRunning.erase(std::remove(fRunning.begin(), fRunning.end(), &aHolder), fRunning.end());
    for (TEntry& entry : fEntries)
        entry.told.erase(std::remove(entry.told.begin(), entry.told.end(), &aHolder), entry.told.end());
}

void TSharedDevices::RunStarted(TDeviceContext& aHolder)
{
    // What a run that never reached its end left behind is forgotten.
    Forget(aHolder);
    fRunning.push_back(&aHolder);
    TellRunStarted(&aHolder);
}

void TSharedDevices::TellRunStarted(const TDeviceContext* aHolder)
{
    if (std::find(fRunning.begin(), fRunning.end(), aHolder) == fRunning.end())
        return;
    for (TEntry& entry : fEntries) {
        if (entry.pHolder != aHolder ||
            std::find(entry.told.begin(), entry.told.end(), aHolder) != entry.told.end())
            continue;
        entry.told.push_back(aHolder);
        CallHook(entry, &TDevice::RunStarted);
    }
}

void TSharedDevices::RunEnded(TDeviceContext& aHolder)
{
    fRunning.erase(std::remove(fRunning.begin(), fRunning.end(), &aHolder), fRunning.end());
    for (TEntry& entry : fEntries) {
        // A device it holds hears of the end also when the run's start never reached it (steps
        // run one by one without a start).
        const auto told = std::find(entry.told.begin(), entry.told.end(), &aHolder);
        const bool bTold = told != entry.told.end();
        if (bTold)
            entry.told.erase(told);
        if (entry.pHolder ? entry.pHolder != &aHolder : !bTold)
            continue;
        // A free device works for the ending socket while it hears of the end: its messages go there.
        const bool bFree = !entry.pHolder;
        if (bFree)
            Bind(entry, &aHolder);
        CallHook(entry, &TDevice::RunEnded);
        if (bFree)
            Bind(entry, nullptr);
    }
}

void TSharedDevices::CallHook(TEntry& aEntry, void (TDevice::*aHook)())
{
    // A device that fails here must not keep the run from ending, nor the other devices from hearing.
    try {
        (aEntry.device.get()->*aHook)();
    } catch (const std::exception& e) {
        aEntry.context->Msg().Error(QStringLiteral("Device \"%s\": %s"), {aEntry.sName, ExceptionText(e)});
    }
}
