#pragma once

#include "execution/DeviceContext.h"

class TDeviceList;
class TDeviceTypes;

// Tests of single units make devices without a session: they use the test context, whose
// variables, value log and settings are the process's own instances (TVariableManager::Instance()
// and the rest), so that a test can set and read them directly, and whose device types are the
// test registry. A fixture with a context of its own installs it in place of the default one.
TDeviceContext& TestContext();
// Gives aContext the process's instances and the test device types, as the test context has them;
// returns aContext.
TDeviceContext& UseProcessInstances(TDeviceContext& aContext);
// Makes aContext the test context (null: back to the default); returns the one installed before.
TDeviceContext* SetTestContext(TDeviceContext* aContext);
// The test context's device list, and its release (every device, the last declared first).
TDeviceList& TestDeviceList();
void ReleaseTestDeviceList();
// The device types of the test context and of the test sessions.
TDeviceTypes& TestDeviceTypes();

// A context of a test's own with the process's instances (UseProcessInstances).
class TTestDeviceContext : public TDeviceContext
{
public:
    TTestDeviceContext() { UseProcessInstances(*this); }
};
