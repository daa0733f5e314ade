// The simulated meter's record of its clients, which the station tests rely on to show that a
// shared meter was never used by two sockets at once: clients one after another are no overlap,
// two with the line open together are.

#include "MeterSimulator.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// One client of the meter's line: a descriptor of its own, open for the client's lifetime.
class TClient
{
public:
    explicit TClient(const QString& sLine) : fiFd(::open(sLine.toLocal8Bit().constData(), O_RDWR | O_NOCTTY))
    {}
    ~TClient()
    {
        if (fiFd >= 0)
            ::close(fiFd);
    }
    TClient(const TClient&) = delete;
    TClient& operator=(const TClient&) = delete;
    bool Open() const { return fiFd >= 0; }

private:
    int fiFd;
};

TEST(MeterSimulatorTest, RecordsClientsThatOverlap)
{
    TMeterSimulator meter;
    meter.SetFrame(TMeterSimulator::Frame(2, 12345));
    const QString sLine = meter.Start();
    ASSERT_FALSE(sLine.isEmpty()) << "no pseudo-terminal, or it cannot be watched";
    const auto Connections = [&](int iCount) {
        return RunEventsUntil([&] { return meter.Use().iConnections >= iCount; }, 2000);
    };

    // One after another: two connections, never two at once.
    {
        const TClient first(sLine);
        ASSERT_TRUE(first.Open());
        ASSERT_TRUE(Connections(1));
    }
    {
        const TClient second(sLine);
        ASSERT_TRUE(second.Open());
        ASSERT_TRUE(Connections(2));
    }
    EXPECT_EQ(meter.Use().iOverlaps, 0);
    EXPECT_EQ(meter.Use().iMostAtOnce, 1);

    // A client opens the line while another has it open: one overlap, however long it lasts.
    {
        const TClient holder(sLine);
        ASSERT_TRUE(Connections(3));
        const TClient intruder(sLine);
        ASSERT_TRUE(Connections(4));
        const TClient third(sLine);
        ASSERT_TRUE(Connections(5));
    }
    const TMeterSimulator::TUse use = meter.Use();
    EXPECT_EQ(use.iOverlaps, 1);
    EXPECT_EQ(use.iMostAtOnce, 3);
    EXPECT_EQ(TMeterSimulator::UseText(use), QStringLiteral("connections 5 overlaps 1 most-at-once 3"));

    // A new start forgets the old record.
    ASSERT_FALSE(meter.Start().isEmpty());
    EXPECT_EQ(meter.Use().iConnections, 0);
    EXPECT_EQ(meter.Use().iOverlaps, 0);
}

} // namespace
