#include "DeviceWaiter.h"

#include "AsyncCommand.h"
#include "Device.h"

#include "core/MsgExceptions.h"

#include <utility>

// ---------------------------------------------------------------------------------------------
// TDeviceWaiter

TDeviceWaiter::TDeviceWaiter() : fLife(std::make_shared<const bool>(true)) {}

TDeviceWaiter::~TDeviceWaiter()
{
    if (fClaim)
        fClaim->fWaiter = nullptr;
}

TDeviceClaim* TDeviceWaiter::Holder() const
{
    return fClaim && fClaim->Held() && fClaim->fCommand.Pending() ? fClaim : nullptr;
}

bool TDeviceWaiter::Busy() const
{
    return Holder() != nullptr;
}

void TDeviceWaiter::OnResult()
{
    TDeviceClaim* pHolder = Holder();
    if (!pHolder)
        return;
    // A copy: the routine may release the claim or claim again.
    const std::function<void()> routine = pHolder->fRoutine;
    pHolder->fCommand.Guarded(routine);
}

void TDeviceWaiter::CancelWaiting()
{
    TDeviceClaim* pHolder = Holder();
    if (!pHolder)
        return;
    TAsyncCommand& command = pHolder->fCommand;
    // The command's own cancel stops its work, as Pause and Stop do; then it concludes, so that a
    // job still waiting for it is not left waiting.
    command.Cancel();
    pHolder->Release();
    command.Conclude(crCancelled);
}

// ---------------------------------------------------------------------------------------------
// TDeviceClaim

TDeviceClaim::TDeviceClaim(TAsyncCommand& aCommand, TBusyMessage aBusy)
    : fCommand(aCommand), fWaiter(&aCommand.Owner()->Waiter()), fBusy(std::move(aBusy))
{}

TDeviceClaim::~TDeviceClaim()
{
    Release();
}

void TDeviceClaim::RequireIdle() const
{
    const TDeviceClaim* pHolder = fWaiter ? fWaiter->Holder() : nullptr;
    if (pHolder && pHolder != this)
        throw EMsg(fBusy.sText, TMsgId(fBusy.dwId), 0);
}

void TDeviceClaim::Claim(std::function<void()> aRoutine)
{
    RequireIdle();
    if (!fWaiter)
        return;
    fRoutine = std::move(aRoutine);
    fiExecution = fCommand.fiExecution;
    fWaiter->fClaim = this;
}

bool TDeviceClaim::Held() const
{
    return fWaiter && fWaiter->fClaim == this && fiExecution == fCommand.fiExecution;
}

bool TDeviceClaim::Release()
{
    const bool bHeld = Held();
    if (fWaiter && fWaiter->fClaim == this)
        fWaiter->fClaim = nullptr;
    fRoutine = nullptr;
    return bHeld;
}
