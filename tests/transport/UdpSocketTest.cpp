// The UDP socket: its error texts and codes, failing sends, and the answer of a closed port.

#include "transport/UdpSocket.h"

#include "TestEnvironment.h"
#include "UdpPeer.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>

using namespace ports;

namespace {

TEST(UdpSocketTest, ErrorTextsAndCodes)
{
    EXPECT_EQ(TUdpSocket::ErrorText(10054), QStringLiteral("Connection reset by peer!"));
    EXPECT_EQ(TUdpSocket::ErrorText(11001), QStringLiteral("Host not found!"));
    EXPECT_EQ(TUdpSocket::ErrorText(10090), QStringLiteral("#10090 is not a WinSock error!"));
    EXPECT_EQ(TUdpSocket::ErrorCode(ECONNREFUSED), 10054);
    EXPECT_EQ(TUdpSocket::ErrorCode(EADDRINUSE), 10048);
    EXPECT_EQ(TUdpSocket::ErrorCode(EHOSTUNREACH), 10065);

    // Sending without host, without socket, and to a host that does not exist.
    TUdpSocket socket;
    QStringList reports;
    socket.FOnError = [&](const QString& sMessage, int iCode) {
        reports << QStringLiteral("%1|%2").arg(sMessage).arg(iCode);
    };
    EXPECT_EQ(socket.SendData(QString(), 7000, "x"), 0);
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), 7000, "x"), 0);
    ASSERT_TRUE(socket.Start(0));
    EXPECT_EQ(socket.SendData(QStringLiteral("no-such-host.invalid"), 7000, "x"), 0);
    EXPECT_EQ(reports, QStringList({"SendData: No Host Specified.|0", "SendData: Socket Not Bound.|0",
                                    "SendData: Host Not Found.|0"}));
}

TEST(UdpSocketTest, SettlesAfterASendReportedTheDestinationsAnswer)
{
    // The first datagram's answer from the closed port is reported by the second send; the
    // socket must not stay readable for the answer's details.
    TUdpSocket socket;
    QStringList reports;
    socket.FOnError = [&](const QString& sMessage, int iCode) {
        reports << QStringLiteral("%1|%2").arg(sMessage).arg(iCode);
    };
    ASSERT_TRUE(socket.Start(0));
    const quint16 uClosed = FreeUdpPort();
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), uClosed, "a"), 1);
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), uClosed, "b"), 0);
    const std::clock_t cpuStart = std::clock();
    QEventLoop idle;
    QTimer::singleShot(300, &idle, &QEventLoop::quit);
    idle.exec();
    const double rCpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    EXPECT_LT(rCpuSeconds, 0.1) << "the event loop spun on the socket";
    EXPECT_EQ(reports, QStringList({"SendData: Connection reset by peer!|10054"}));

    // Still usable: the next answer from the closed port is reported when it arrives.
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), uClosed, "c"), 1);
    ASSERT_TRUE(RunEventsUntil([&] { return reports.size() == 2; }));
    EXPECT_EQ(reports[1], QStringLiteral("OnReceive: Connection reset by peer!|10054"));
}

} // namespace
