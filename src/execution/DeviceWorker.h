#pragma once

#include "core/WorkerThread.h"

class TMsgChannel;

// The worker thread of a device (or of the part of it that runs on a thread): made with the
// device, stopped by it in Released at the latest and with it at the end, so that no thread and
// no hand-over outlives the device. A failure of its work without a handler of its own is an
// error in the device's session.
//
// Transports, which know no device, use TWorkerThread itself.
class TDeviceWorker : public TWorkerThread
{
public:
    TDeviceWorker(TMsgChannel& aMsg, const char* sName);
    ~TDeviceWorker() override;

protected:
    void ReportFailure(const QString& sText) override;

private:
    TMsgChannel& fMsg;
};
