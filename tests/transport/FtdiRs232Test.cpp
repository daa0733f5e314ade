// The converter's poller hands its notifications to the main thread; closing the converter drops
// those of the opening it ends, so that a reopened converter never hears of the one before.

#include "transport/FtdiRs232.h"

#include "core/MsgChannel.h"

#include "FakeFtdi.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

namespace {

TEST(FtdiRs232Test, ANotificationOfAnEarlierOpeningNeverArrives)
{
    TFakeFtdi bus;
    TFakeFtdiConverter& converter = bus.Plug(QStringLiteral("FT0001"), QStringLiteral("cable"), 0x231);
    const std::unique_ptr<ports::IFtdiLibrary> library = bus.CreateLibrary();
    TMsgChannel msg;
    ports::TFtdiRs232 ftdi(*library, msg);
    int iRxEvents = 0;
    ftdi.OnRxData = [&](ports::TFtdiRs232*) { ++iRxEvents; };
    const QString sLocation = ports::TFtdiD2xxBase::UsbPortId(0x231);
    ASSERT_TRUE(ftdi.Open(sLocation, ports::ciFtdiOpenByLocation));

    // The poller takes the bytes and posts its notification; the main thread is busy meanwhile.
    converter.Feed("old");
    const int iReads = converter.ReadCount();
    while (converter.ReadCount() < iReads + 2)
        QThread::msleep(5);
    ftdi.Close();
    ASSERT_TRUE(ftdi.Open(sLocation, ports::ciFtdiOpenByLocation));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(iRxEvents, 0) << "the notification of the closed opening arrived";

    // The current opening's bytes are reported, and only they can be read.
    converter.Feed("new");
    ASSERT_TRUE(RunEventsUntil([&] { return iRxEvents > 0; }));
    QByteArray received;
    ftdi.Read(received);
    EXPECT_EQ(received, QByteArray("new"));
    ftdi.Close();
}

} // namespace
