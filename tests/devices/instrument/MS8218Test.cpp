// The MS8218 frame decoder on byte sequences: value, exponent, sign, overload, short and garbled
// frames, and the mode table.

#include "devices/instrument/MS8218.h"

#include "MeterSimulator.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace instrument;

namespace {

// The decoder without a transport: bytes are fed directly.
class TDecoder : public TMS8218Base
{
public:
    TDecoder()
    {
        SetOnMsg([this](TMS8218Base*, TMsgTypeId aType, const QString& aText, TMsgId) {
            Messages.push_back(QString::number(int(aType)) + QLatin1Char(' ') + aText);
        });
    }
    void Feed(const QByteArray& aBytes)
    {
        for (const char c : aBytes)
            Receive(c);
    }

    std::vector<QString> Messages;
};

QByteArray Bytes(std::initializer_list<int> aBytes)
{
    QByteArray bytes;
    for (const int b : aBytes)
        bytes.append(char(b));
    return bytes;
}

TEST(MS8218Test, FramesDecodeWhenTheNextStartByteArrives)
{
    struct TCase
    {
        const char* sName;
        QByteArray frame;
        double rValue;
        int iMode;
        bool bOverload;
        bool bAutoRange;
    };
    const TCase cases[] = {
        {"exponent 3", Bytes({0xA3, 0x02, 0x00, 1, 2, 3, 4, 5}), 12345000.0, 2, false, false},
        {"negative", Bytes({0xA0, 0x02, 0x20, 1, 2, 3, 4, 5}), -12345.0, 2, false, false},
        {"overload", Bytes({0xA0, 0x22, 0x10, 0, 0, 0, 0, 0}), 0.0, 2, true, true},
        {"automatic range, ohm", Bytes({0xA1, 0x0A, 0x10, 0, 0, 9, 9, 9}), 9990.0, 10, false, true},
        {"bits outside the fields", Bytes({0xA0, 0xC7, 0xC0, 0, 0, 0, 4, 2}), 42.0, 7, false, false},
        {"bytes after the digits", Bytes({0xA0, 0x04, 0x00, 0, 0, 0, 0, 7, 0x55, 0x0F, 0x33}), 7.0, 4, false,
         false},
    };
    for (const TCase& c : cases) {
        TDecoder decoder;
        decoder.Feed(c.frame);
        EXPECT_FALSE(decoder.Valid()) << c.sName << ": decoded before the next start byte";
        decoder.Feed(Bytes({0xA0}));
        ASSERT_TRUE(decoder.Valid()) << c.sName;
        EXPECT_DOUBLE_EQ(decoder.Value(), c.rValue) << c.sName;
        EXPECT_EQ(decoder.ModeCode(), c.iMode) << c.sName;
        EXPECT_EQ(decoder.Mode(), TMS8218Base::ModeText(c.iMode)) << c.sName;
        EXPECT_EQ(decoder.ModeAsText(), decoder.Mode()) << c.sName;
        EXPECT_EQ(decoder.RangeOverload(), c.bOverload) << c.sName;
        EXPECT_EQ(decoder.AutoRange(), c.bAutoRange) << c.sName;
    }
}

TEST(MS8218Test, ShortFramesAndTailsAfterAResetAreNotDecoded)
{
    TDecoder decoder;
    // Seven bytes between two start bytes.
    decoder.Feed(Bytes({0xA0, 0x02, 0x00, 1, 2, 3, 4, 0xA0}));
    EXPECT_FALSE(decoder.Valid());

    // After a reset the rest of a frame (here with trailing bytes, eight in all) comes before the
    // next start byte: it has no start byte, so no exponent and mode of its own.
    decoder.Feed(TMeterSimulator::Frame(2, 11111));
    decoder.Reset();
    decoder.Feed(Bytes({0x02, 0x00, 0, 0, 0, 0, 9, 0x00}));
    decoder.Feed(Bytes({0xA0}));
    EXPECT_FALSE(decoder.Valid());

    decoder.Feed(TMeterSimulator::Frame(2, 12345) + Bytes({0xA0}));
    ASSERT_TRUE(decoder.Valid());
    EXPECT_DOUBLE_EQ(decoder.Value(), 12345.0);

    decoder.Reset();
    EXPECT_FALSE(decoder.Valid());
}

TEST(MS8218Test, AGarbledFrameIsDroppedAndReportedOnceAtDebugLevel)
{
    TDecoder decoder;
    decoder.Feed(TMeterSimulator::Frame(2, 500));
    const QByteArray garbled = Bytes({0xA0, 0x02, 0x00, 0, 0, 0x0A, 0, 0});
    decoder.Feed(garbled);
    ASSERT_TRUE(decoder.Valid());
    EXPECT_DOUBLE_EQ(decoder.Value(), 500.0);
    decoder.Feed(garbled + garbled + Bytes({0xA0}));
    // The last good reading stays; the run of garbled frames is one debug line.
    EXPECT_DOUBLE_EQ(decoder.Value(), 500.0);
    ASSERT_EQ(decoder.Messages.size(), 1u);
    EXPECT_EQ(decoder.Messages.front(), QStringLiteral("1 Garbled frame dropped: A0 02 00 00 00 0A 00 00"));

    // A good frame ends the run: the next garbled one is reported again.
    decoder.Feed(TMeterSimulator::Frame(2, 600) + garbled + Bytes({0xA0}));
    EXPECT_DOUBLE_EQ(decoder.Value(), 600.0);
    EXPECT_EQ(decoder.Messages.size(), 2u);
}

TEST(MS8218Test, ModeTable)
{
    // The mode byte's code and the text the meter's mode reads as.
    const std::pair<int, const char*> modes[] = {{0x00, "Volt AC"},
                                                 {0x01, "unknown mode"},
                                                 {0x02, "Volt DC"},
                                                 {0x03, "Volt DC+AC"},
                                                 {0x04, "Millivolt DC"},
                                                 {0x05, "Millivolt AC"},
                                                 {0x06, "Millivolt DC+AC"},
                                                 {0x07, "Frequenz"},
                                                 {0x08, "Pulsweite"},
                                                 {0x09, "Diode Test"},
                                                 {0x0A, "Ohm"},
                                                 {0x0B, "Ohm (Buzzer)"},
                                                 {0x0C, "Kapazit\u00e4t"},
                                                 {0x0D, "Mikroampere DC"},
                                                 {0x0E, "Mikroampere AC "},
                                                 {0x0F, "Mikroampere DC+AC"},
                                                 {0x10, "Milliampere DC"},
                                                 {0x11, "Milliampere AC"},
                                                 {0x12, "Milliampere DC+AC"},
                                                 {0x13, "Ampere DC"},
                                                 {0x14, "Ampere AC"},
                                                 {0x15, "Ampere DC+AC}"}};
    for (const auto& [iCode, sText] : modes)
        EXPECT_EQ(TMS8218Base::ModeText(iCode), QString::fromUtf8(sText)) << iCode;
    for (const int i : {22, 31, -1})
        EXPECT_EQ(TMS8218Base::ModeText(i), QStringLiteral("unknown mode")) << i;

    TDecoder decoder;
    decoder.Feed(Bytes({0xA0, 0x1F, 0x00, 0, 0, 0, 0, 1, 0xA0}));
    EXPECT_EQ(decoder.ModeCode(), 31);
    EXPECT_EQ(decoder.Mode(), QStringLiteral("unknown mode"));
}

} // namespace
