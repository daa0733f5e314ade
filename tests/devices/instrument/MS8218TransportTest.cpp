// The meter's transports carry bytes only: each hands what it received, unchanged and in order, to
// whichever byte sink it is given, and the frame decoder is one such sink.

#include "devices/instrument/MS8218Transport.h"
#include "devices/instrument/MS8218.h"

#include "FakeFtdi.h"
#include "MeterSimulator.h"
#include "TestEnvironment.h"

#include "transport/ByteSink.h"

#include "core/MsgChannel.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace instrument;

namespace {

class TRecordingSink : public ports::IByteSink
{
public:
    void Receive(char aByte) override { Bytes.append(aByte); }
    QByteArray Bytes;
};

TEST(MS8218TransportTest, SerialLineFeedsAnySink)
{
    TMeterSimulator meter;
    const QByteArray frame = TMeterSimulator::Frame(2, 4711, 1);
    meter.SetFrame(frame);
    const QString sLine = meter.Start();
    ASSERT_FALSE(sLine.isEmpty()) << "no pseudo-terminal";

    TMsgChannel msg;
    TMS8218Rs232 transport(msg, sLine);
    ASSERT_TRUE(transport.Open(0));
    TRecordingSink sink;
    ASSERT_TRUE(RunEventsUntil([&] {
        transport.ReadRxData(sink);
        return sink.Bytes.contains(frame + frame);
    }));

    // The same line feeds the decoder: the meter's reading, 4711 x 10^1 volts DC.
    TMS8218Base decoder;
    ASSERT_TRUE(RunEventsUntil([&] {
        transport.ReadRxData(decoder);
        return decoder.Valid();
    }));
    EXPECT_DOUBLE_EQ(decoder.Value(), 47110.0);
    EXPECT_EQ(decoder.ModeCode(), 2);
    transport.Close();
    EXPECT_FALSE(transport.IsOpen());
}

// A COM number is looked up in the test socket's own settings group first, as the port devices do.
TEST(MS8218TransportTest, ComNumberOfATestSocket)
{
    TMeterSimulator meter;
    const QByteArray frame = TMeterSimulator::Frame(2, 4711, 1);
    meter.SetFrame(frame);
    const QString sLine = meter.Start();
    ASSERT_FALSE(sLine.isEmpty()) << "no pseudo-terminal";
    QTemporaryDir dir;
    const QString sSettings = dir.filePath(QStringLiteral("station.ini"));
    {
        QSettings settings(sSettings, QSettings::IniFormat);
        settings.setValue(QStringLiteral("SerialPorts/COM4"), dir.filePath(QStringLiteral("no-line")));
        settings.setValue(QStringLiteral("Socket3/SerialPorts/COM4"), sLine);
    }
    TMsgChannel msg;
    TMS8218Rs232 station(msg, QString(), sSettings, 2);
    EXPECT_FALSE(station.Open(4)) << "socket 2 has no group of its own: the station's mapping";
    TMS8218Rs232 socket(msg, QString(), sSettings, 3);
    ASSERT_TRUE(socket.Open(4));
    TRecordingSink sink;
    EXPECT_TRUE(RunEventsUntil([&] {
        socket.ReadRxData(sink);
        return sink.Bytes.contains(frame);
    }));
    socket.Close();
}

TEST(MS8218TransportTest, ConverterFeedsAnySink)
{
    TFakeFtdi bus;
    TFakeFtdiConverter& converter = bus.Plug(QStringLiteral("FT8218"), QStringLiteral("MS8218 cable"), 0x231);
    const std::unique_ptr<ports::IFtdiLibrary> library = bus.CreateLibrary();
    TMsgChannel msg;
    TMS8218Ftdi transport(*library, msg);
    ASSERT_TRUE(transport.Open(0x231));

    // Bytes that are no frame pass unchanged: the transport does not read them.
    const QByteArray noise("\x00\xFF\xA5\x0A", 4);
    converter.Feed(noise);
    TRecordingSink sink;
    ASSERT_TRUE(RunEventsUntil([&] {
        transport.ReadRxData(sink);
        return sink.Bytes.size() >= noise.size();
    }));
    EXPECT_EQ(sink.Bytes, noise);

    TMS8218Base decoder;
    converter.Feed(TMeterSimulator::Frame(0x0A, 330, 2) + TMeterSimulator::Frame(0x0A, 330, 2));
    ASSERT_TRUE(RunEventsUntil([&] {
        transport.ReadRxData(decoder);
        return decoder.Valid();
    }));
    EXPECT_DOUBLE_EQ(decoder.Value(), 33000.0);
    EXPECT_EQ(decoder.Mode(), QStringLiteral("Ohm"));
    transport.Close();
    EXPECT_FALSE(converter.IsOpen());
}

} // namespace
