#pragma once

#include "DeviceFixture.h"
#include "FakeFtdi.h"
#include "MeterSimulator.h"
#include "TestContext.h"

#include "devices/instrument/DeviceInstrument.h"
#include "transport/FtdiUtils.h"

// The device fixture with the instrument device type, a simulated meter on a pseudo-terminal and
// a simulated USB bus for meters behind FTDI converters.
class TInstrumentFixture : public TDeviceFixture
{
protected:
    TInstrumentFixture()
    {
        instrument::RegisterDevices(TestDeviceTypes());
        fFtdi.Install(fSession.Context());
    }
    ~TInstrumentFixture() override
    {
        fSession.ReleaseDefinition();
        fMeter.Stop();
        TFakeFtdi::Uninstall(fSession.Context());
        ports::TFtdiDetector::InstanceRelease();
    }

    // Starts the meter sending aFrame; the path of its line.
    QString StartMeter(const QByteArray& aFrame)
    {
        fMeter.SetFrame(aFrame);
        if (fsLine.isEmpty())
            fsLine = fMeter.Start();
        EXPECT_FALSE(fsLine.isEmpty()) << "no pseudo-terminal";
        return fsLine;
    }

    // A definition with a multimeter "DMM" on sPort, the float variable rU and one test case.
    static QString Definition(const QString& sPort, const QString& sSteps)
    {
        return QStringLiteral("Set(Float; rU)\r\nDevice.Create(SystemControl; Sys)\r\n"
                              "Device.Create(Instrument; DMM; MS8218; %1)\r\n"
                              "Test.Case(\"Case\")\r\n{\r\n%2\r\n}\r\n")
            .arg(sPort, sSteps);
    }

    TMeterSimulator fMeter;
    QString fsLine;
    TFakeFtdi fFtdi;
};
