#pragma once

#include "DeviceFixture.h"
#include "FakeDocumentDisplay.h"
#include "FakeIndicatorStrip.h"
#include "TestContext.h"

#include "core/FormatSettings.h"
#include "devices/display/DeviceDisplay.h"

// The device fixture with the family's device types, an indicator strip and a document view that
// record what the devices show.
class TDisplayFixture : public TDeviceFixture
{
protected:
    TDisplayFixture()
    {
        display::RegisterDevices(TestDeviceTypes());
        fSession.Context().SetIndicators(&fStrip);
        fSession.Context().SetDocuments(&fDocuments);
    }
    ~TDisplayFixture() override
    {
        // The devices let go of their read-outs before the strip goes.
        fSession.ReleaseDefinition();
        fSession.Context().SetIndicators(nullptr);
        fSession.Context().SetDocuments(nullptr);
        TFormatSettings::ResetApp();
    }

    TFakeIndicatorStrip fStrip;
    TFakeDocumentDisplay fDocuments;
};
