#include "DeviceWorker.h"

#include "core/MsgChannel.h"

TDeviceWorker::TDeviceWorker(TMsgChannel& aMsg, const char* sName) : TWorkerThread(sName), fMsg(aMsg) {}

TDeviceWorker::~TDeviceWorker()
{
    // Stopped here, while the failure report still reaches this object.
    Stop();
}

void TDeviceWorker::ReportFailure(const QString& sText)
{
    fMsg.Error(sText);
}
