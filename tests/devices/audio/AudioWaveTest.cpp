#include "devices/audio/AudioWave.h"

#include "core/MsgExceptions.h"

#include "TestEnvironment.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

using namespace audio;

namespace {

tWAVEFORMATEX Pcm16(int iChannels, std::uint32_t dwRate)
{
    tWAVEFORMATEX format{};
    format.wFormatTag = cWaveFormatPcm;
    format.nChannels = std::uint16_t(iChannels);
    format.nSamplesPerSec = dwRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = std::uint16_t(iChannels * 2);
    format.nAvgBytesPerSec = format.nBlockAlign * dwRate;
    return format;
}

// Interleaved 16-bit samples as the endpoint delivers them.
std::vector<std::uint8_t> Frames(const std::vector<std::int16_t>& aSamples)
{
    std::vector<std::uint8_t> bytes;
    for (const std::int16_t s : aSamples) {
        bytes.push_back(std::uint8_t(std::uint16_t(s) & 0xFF));
        bytes.push_back(std::uint8_t(std::uint16_t(s) >> 8));
    }
    return bytes;
}

std::int16_t SampleAt(const std::vector<std::uint8_t>& aBytes, std::size_t nIndex)
{
    return std::int16_t(std::uint16_t(aBytes[2 * nIndex] | (aBytes[2 * nIndex + 1] << 8)));
}

QByteArray U32(std::uint32_t dw)
{
    QByteArray a;
    for (int i = 0; i < 4; ++i)
        a.append(char((dw >> (8 * i)) & 0xFF));
    return a;
}

QByteArray Chunk(const char* sId, const QByteArray& aBody)
{
    QByteArray chunk = QByteArray(sId, 4) + U32(std::uint32_t(aBody.size())) + aBody;
    if (aBody.size() % 2)
        chunk.append('\0');
    return chunk;
}

QByteArray FmtBody(const tWAVEFORMATEX& aFormat, int iSize)
{
    QByteArray body(reinterpret_cast<const char*>(&aFormat), sizeof(aFormat));
    body.resize(iSize, '\0');
    return body;
}

QByteArray Riff(const QByteArray& aChunks, const char* sType = "WAVE")
{
    return QByteArray("RIFF", 4) + U32(std::uint32_t(aChunks.size() + 4)) + QByteArray(sType, 4) + aChunks;
}

struct TPost
{
    EWaveEvent eEvent;
    std::uint32_t dwChannel;
    std::int32_t iValue;
    bool operator==(const TPost& o) const
    {
        return std::tie(eEvent, dwChannel, iValue) == std::tie(o.eEvent, o.dwChannel, o.iValue);
    }
};

class TRecordingSink : public IWaveNotificationSink
{
public:
    void PostNotification(EWaveEvent eEvent, std::uint32_t dwChannel, std::int32_t iValue) override
    {
        posts.push_back({eEvent, dwChannel, iValue});
    }
    std::vector<TPost> Of(EWaveEvent eEvent) const
    {
        std::vector<TPost> result;
        for (const TPost& p : posts)
            if (p.eEvent == eEvent)
                result.push_back(p);
        return result;
    }
    std::vector<TPost> posts;
};

} // namespace

TEST(AudioWaveTest, AdaptHwFormatTurnsFloatMixFormatsInto16BitPcm)
{
    tWAVEFORMATEXTENSIBLE plain{};
    plain.Format = {cWaveFormatIeeeFloat, 2, 48000, 384000, 8, 32, 0};
    TWaveBase::AdaptHwFormat(plain);
    EXPECT_EQ(plain.Format.wFormatTag, cWaveFormatPcm);
    EXPECT_EQ(plain.Format.wBitsPerSample, 16);
    EXPECT_EQ(plain.Format.nBlockAlign, 4);
    EXPECT_EQ(plain.Format.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(plain.Format.nSamplesPerSec, 48000u);

    tWAVEFORMATEXTENSIBLE extensible{};
    extensible.Format = {cWaveFormatExtensible, 6, 44100, 0, 24, 32, 22};
    extensible.wValidBitsPerSample = 32;
    std::memcpy(extensible.SubFormat, cSubFormatIeeeFloat, 16);
    TWaveBase::AdaptHwFormat(extensible);
    EXPECT_EQ(extensible.Format.wFormatTag, cWaveFormatExtensible);
    EXPECT_EQ(extensible.wValidBitsPerSample, 16);
    EXPECT_EQ(std::memcmp(extensible.SubFormat, cSubFormatPcm, 16), 0);
    EXPECT_EQ(extensible.Format.nBlockAlign, 12);
    EXPECT_EQ(extensible.Format.nAvgBytesPerSec, 12u * 44100u);

    tWAVEFORMATEXTENSIBLE pcmExtensible = extensible; // now carries the PCM sub-format
    EXPECT_EQ(RaisedText([&] { TWaveBase::AdaptHwFormat(pcmExtensible); }),
              QStringLiteral("Unsupported extensible wave format!"));
    tWAVEFORMATEXTENSIBLE pcm{};
    pcm.Format = Pcm16(2, 48000);
    EXPECT_EQ(RaisedText([&] { TWaveBase::AdaptHwFormat(pcm); }),
              QStringLiteral("Device format 0x1 not supported!"));
    pcm.Format.wFormatTag = 0xABCD;
    EXPECT_EQ(RaisedText([&] { TWaveBase::AdaptHwFormat(pcm); }),
              QStringLiteral("Device format 0xABCD not supported!"));
}

TEST(AudioWaveTest, ParsingRiffFiles)
{
    const tWAVEFORMATEX stereo = Pcm16(2, 48000);
    const QByteArray samples = QByteArray(16, '\x11');
    struct
    {
        const char* sCase;
        QByteArray file;
        const char* sError;      // empty: parses
        std::uint32_t dwStart;   // data start
        std::uint32_t dwEnd;     // data end
        std::uint16_t wChannels; // as parsed
    } const cases[] = {
        {"plain PCM, 16-byte fmt", Riff(Chunk("fmt ", FmtBody(stereo, 16)) + Chunk("data", samples)), "", 44,
         60, 2},
        {"18-byte fmt", Riff(Chunk("fmt ", FmtBody(stereo, 18)) + Chunk("data", samples)), "", 46, 62, 2},
        {"40-byte extensible fmt", Riff(Chunk("fmt ", FmtBody(stereo, 40)) + Chunk("data", samples)), "", 68,
         84, 2},
        {"LIST before data is skipped",
         Riff(Chunk("fmt ", FmtBody(stereo, 16)) + Chunk("LIST", QByteArray("INFOISFT\x04\0\0\0sox\0", 16)) +
              Chunk("data", samples)),
         "", 68, 84, 2},
        {"odd chunk padded",
         Riff(Chunk("fmt ", FmtBody(stereo, 16)) + Chunk("cue ", "abc") + Chunk("data", samples)), "", 56, 72,
         2},
        {"fact after fmt",
         Riff(Chunk("fmt ", FmtBody(stereo, 16)) + Chunk("fact", U32(4)) + Chunk("data", samples)), "", 56,
         72, 2},
        {"declared data size smaller than the rest",
         Riff(Chunk("fmt ", FmtBody(stereo, 16)) + QByteArray("data", 4) + U32(8) + samples + "LISTtrailer"),
         "", 44, 52, 2},
        {"declared data size beyond the file",
         Riff(Chunk("fmt ", FmtBody(stereo, 16)) + QByteArray("data", 4) + U32(0xFFFFFFFF) + samples), "", 44,
         60, 2},
        {"no data chunk", Riff(Chunk("fmt ", FmtBody(stereo, 16))), "", 0, 0, 2},
        {"empty file", QByteArray(), "", 0, 0, 0},
        {"not WAVE", Riff(Chunk("fmt ", FmtBody(stereo, 16)), "AVI "),
         "Invalid RIFF type \"AVI \" instead of \"WAVE\"!", 0, 0, 0},
    };
    for (const auto& c : cases) {
        TWaveRenderFile file;
        if (*c.sError) {
            EXPECT_EQ(RaisedText([&] { file.LoadData(c.file); }).toStdString(), c.sError) << c.sCase;
            continue;
        }
        file.LoadData(c.file);
        EXPECT_EQ(file.DataStart(), c.dwStart) << c.sCase;
        EXPECT_EQ(file.DataEnd(), c.dwEnd) << c.sCase;
        EXPECT_EQ(file.Format().nChannels, c.wChannels) << c.sCase;
        if (c.wChannels == 2) {
            EXPECT_EQ(file.Format().cbSize, 0)
                << c.sCase << ": the 16-byte part never fills cbSize from padding";
        }
    }
}

TEST(AudioWaveTest, FilePlaysItsBlocksToTheEndAndRefusesOtherFormats)
{
    const tWAVEFORMATEX stereo = Pcm16(2, 48000);
    QByteArray samples;
    for (int i = 0; i < 10; ++i) // 10 frames of 4 bytes
        samples += QByteArray(4, char(i));
    TWaveRenderFile file;
    file.LoadData(Riff(Chunk("fmt ", FmtBody(stereo, 16)) + Chunk("data", samples)));

    struct
    {
        tWAVEFORMATEX hw;
        const char* sError;
    } formats[] = {
        {Pcm16(1, 48000), "Different channel count HW=1 <> 2=Wave"},
        {Pcm16(2, 44100), "Different samples rate HW=44100 <> 48000=Wave"},
        {[&] {
             tWAVEFORMATEX f = stereo;
             f.nAvgBytesPerSec = 1;
             return f;
         }(),
         "Different buffer estimation HW=1 <> 192000=Wave"},
        {[&] {
             tWAVEFORMATEX f = stereo;
             f.nBlockAlign = 8;
             return f;
         }(),
         "Different frame data size HW=8 <> 4=Wave"},
        {[&] {
             tWAVEFORMATEX f = stereo;
             f.wBitsPerSample = 24;
             return f;
         }(),
         "Different bits rate HW=24 <> 16=Wave"},
    };
    for (const auto& f : formats)
        EXPECT_EQ(RaisedText([&] { file.SetFormat(f.hw); }).toStdString(), f.sError);

    file.SetFormat(stereo);
    std::vector<std::uint8_t> block(4 * 4);
    EXPECT_EQ(file.Read(block.data(), 4), cBufferData);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[15], 3);
    EXPECT_EQ(file.Read(block.data(), 4), cBufferData);
    EXPECT_EQ(block[0], 4);
    // Two frames left: they are played, padded with silence to the block's end.
    EXPECT_EQ(file.Read(block.data(), 4), cBufferData);
    EXPECT_EQ(block[0], 8);
    EXPECT_EQ(block[7], 9);
    EXPECT_EQ(block[8], 0);
    EXPECT_EQ(block[15], 0);
    EXPECT_EQ(file.Read(block.data(), 4), cBufferSilent);
}

TEST(AudioWaveTest, SineValuesAndDuration)
{
    TWaveRenderSynthesizer sine;
    EXPECT_EQ(sine.Frequency(), 1000u);
    EXPECT_EQ(sine.Duration(), 0u);
    sine.SetFormat(Pcm16(2, 48000));
    std::vector<std::uint8_t> block(480 * 4);
    ASSERT_EQ(sine.Read(block.data(), 480), cBufferData);
    const struct
    {
        std::size_t nFrame;
        std::int16_t iValue;
    } values[] = {{0, 0}, {12, 32440}, {24, 0}, {36, -32440}, {4, 16220}, {52, 16220}};
    for (const auto& v : values) {
        EXPECT_EQ(SampleAt(block, 2 * v.nFrame), v.iValue) << "frame " << v.nFrame;
        EXPECT_EQ(SampleAt(block, 2 * v.nFrame + 1), v.iValue) << "frame " << v.nFrame << ", channel 1";
    }
    // The phase runs on into the next block: its frame 0 is frame 480 of the tone.
    ASSERT_EQ(sine.Read(block.data(), 12), cBufferData);
    EXPECT_EQ(SampleAt(block, 0), 0);

    TWaveRenderSynthesizer timed;
    timed.SetDuration(100);
    timed.SetFormat(Pcm16(1, 48000));
    int iDataBlocks = 0;
    while (timed.Read(block.data(), 480) == cBufferData && iDataBlocks < 100)
        ++iDataBlocks;
    EXPECT_EQ(iDataBlocks, 10) << "10 blocks of 10 ms, the end flag on the 11th call";
    EXPECT_EQ(timed.Read(block.data(), 480), cBufferData) << "the counters start again after the end";

    TWaveRenderSynthesizer wrong;
    tWAVEFORMATEX narrow = Pcm16(2, 48000);
    narrow.nBlockAlign = 2;
    wrong.SetFormat(narrow);
    EXPECT_EQ(RaisedText([&] { wrong.Read(block.data(), 480); }),
              QStringLiteral("TWaveSynthesizer.Read: ms.Size <> nByteCount"));
}

TEST(AudioWaveTest, RecorderWritesHeaderAndLimit)
{
    TTestDir dir;
    TWaveCaptureStream recorder;
    EXPECT_EQ(recorder.MaxSize(), 25000000u);
    tWAVEFORMATEX endpoint = Pcm16(2, 48000);
    endpoint.wFormatTag = cWaveFormatExtensible;
    endpoint.cbSize = 22;
    recorder.SetFormat(endpoint);
    ASSERT_EQ(recorder.Data().size(), TWaveCaptureStream::ciHeaderSize);
    EXPECT_EQ(RaisedText([&] { recorder.Complete(); }), QStringLiteral("Wave header update failed!"));

    recorder.SetFileName(dir.FilePath(QStringLiteral("rec.wav")));
    recorder.SetMaxSize(46 + 12);
    const std::vector<std::uint8_t> frames = Frames({1, -1, 2, -2});
    EXPECT_TRUE(recorder.Write(frames.data(), 2));
    EXPECT_FALSE(recorder.Write(nullptr, 2)) << "the packet that crosses the limit is written whole";
    recorder.Complete();
    const QByteArray file = ReadFileBytes(dir.FilePath(QStringLiteral("rec.wav")));
    ASSERT_EQ(file.size(), 46 + 16);
    EXPECT_EQ(file.left(4), QByteArray("RIFF"));
    EXPECT_EQ(file.mid(4, 4), U32(46 + 16 - 8));
    EXPECT_EQ(file.mid(8, 8), QByteArray("WAVEfmt "));
    EXPECT_EQ(file.mid(16, 4), U32(18));
    tWAVEFORMATEX written{};
    std::memcpy(&written, file.constData() + 20, sizeof(written));
    EXPECT_EQ(written.wFormatTag, cWaveFormatPcm);
    EXPECT_EQ(written.cbSize, 22) << "the endpoint's extension size is kept";
    EXPECT_EQ(file.mid(38, 4), QByteArray("data"));
    EXPECT_EQ(file.mid(42, 4), U32(16));
    EXPECT_EQ(file.mid(46, 8), QByteArray("\x01\x00\xFF\xFF\x02\x00\xFE\xFF", 8));
    EXPECT_EQ(file.mid(54), QByteArray(8, '\0'));

    // The recording reads back as a playable file of the same format.
    TWaveRenderFile readBack;
    readBack.LoadData(file);
    EXPECT_EQ(readBack.DataStart(), 46u);
    EXPECT_EQ(readBack.DataEnd(), 62u);
    readBack.SetFormat(Pcm16(2, 48000));
}

TEST(AudioWaveTest, RmsOverWindow)
{
    TRecordingSink sink;
    TWaveCaptureRms rms(&sink);
    EXPECT_EQ(rms.MeasureTime(), 1000u);
    rms.SetMeasureTime(400);
    rms.SetFormat(Pcm16(2, 48000));
    // A square wave of +-16384 on channel 0, a DC of 3 on channel 1 (DC counts into the RMS).
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 19200 * 2; ++i) {
        samples.push_back(std::int16_t((i / 24) % 2 ? -16384 : 16384));
        samples.push_back(3);
    }
    const std::vector<std::uint8_t> bytes = Frames(samples);
    for (std::size_t nFrame = 0; nFrame < 38400; nFrame += 480)
        rms.Write(bytes.data() + nFrame * 4, 480);
    const std::vector<TPost> expected = {{EWaveEvent::Rms, 0, 16384},
                                         {EWaveEvent::Rms, 1, 3},
                                         {EWaveEvent::Rms, 0, 16384},
                                         {EWaveEvent::Rms, 1, 3}};
    EXPECT_EQ(sink.posts, expected) << "one value per channel every 19200 frames";
    EXPECT_EQ(rms.RmsValues(), (TChannelValue{16384, 3}));

    TWaveCaptureRms silent(&sink);
    silent.SetMeasureTime(1);
    silent.SetFormat(Pcm16(1, 1000));
    sink.posts.clear();
    EXPECT_TRUE(silent.Write(nullptr, 2)) << "a silent packet counts as zeros";
    EXPECT_EQ(sink.posts, (std::vector<TPost>{{EWaveEvent::Rms, 0, 0}, {EWaveEvent::Rms, 0, 0}}));

    tWAVEFORMATEX wide = Pcm16(1, 48000);
    wide.wBitsPerSample = 24;
    EXPECT_EQ(RaisedText([&] { TWaveCaptureRms(nullptr).SetFormat(wide); }),
              QStringLiteral("Only 16 bits per sample are supported! (24)"));
}

TEST(AudioWaveTest, AverageAboveThresholdWithPeak)
{
    TRecordingSink sink;
    TWaveCaptureAvg avg(&sink);
    avg.InitOffsets(QStringLiteral("0,10"));
    avg.InitThresholds(QStringLiteral("100,0"));
    avg.SetFormat(Pcm16(2, 48000));
    // Channel 0: constant 50, below the threshold; channel 1: alternating 110 and -90 around 10.
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 200; ++i) {
        samples.push_back(50);
        samples.push_back(std::int16_t(i % 2 ? -90 : 110));
    }
    const std::vector<std::uint8_t> bytes = Frames(samples);
    avg.Write(bytes.data(), 100);
    EXPECT_EQ(sink.Of(EWaveEvent::Peak),
              (std::vector<TPost>{{EWaveEvent::Peak, 0, 50}, {EWaveEvent::Peak, 1, 100}}));
    EXPECT_TRUE(sink.Of(EWaveEvent::Average).empty()) << "100 samples: not yet a multiple of 200";
    avg.Write(bytes.data() + 400, 100);
    EXPECT_EQ(sink.Of(EWaveEvent::Average),
              (std::vector<TPost>{{EWaveEvent::Average, 0, 0}, {EWaveEvent::Average, 1, 100}}));
    EXPECT_EQ(sink.Of(EWaveEvent::Peak).size(), 2u) << "no new peak, no new post";
    EXPECT_EQ(avg.PeakValues(), (TChannelValue{50, 100}));
    EXPECT_EQ(avg.Averages(), (TChannelValue{0, 100}));
    EXPECT_EQ(avg.SampleCounts(), (TUInt64Array{200, 200}));
    EXPECT_EQ(avg.SampleAccu(), (TUInt64Array{0, 20000}));

    const struct
    {
        const char* sOffsets;
        const char* sThresholds;
        const char* sError;
    } errors[] = {
        {"0,0", "0", "Definied offset count 2 differs from hardware channel count 1!"},
        {"0", "", "Definied threshold count 0 differs from hardware channel count 1!"},
    };
    for (const auto& e : errors) {
        TWaveCaptureAvg bad(nullptr);
        bad.InitOffsets(QString::fromLatin1(e.sOffsets));
        bad.InitThresholds(QString::fromLatin1(e.sThresholds));
        EXPECT_EQ(RaisedText([&] { bad.SetFormat(Pcm16(1, 48000)); }).toStdString(), e.sError);
    }
    EXPECT_EQ(ParseChannelValues(QStringLiteral("1, -2,$10")), (TChannelValue{1, -2, 16}));
    EXPECT_TRUE(ParseChannelValues(QString()).empty());
    EXPECT_FALSE(RaisedText([] { ParseChannelValues(QStringLiteral("1,x")); }).isEmpty());
}

// The values the reference page gives for the output's 1 kHz tone at 48 kHz: the 48 truncated
// samples of a period average 20622 rectified (not 2/pi of the amplitude, 20652).
TEST(AudioWaveTest, AnalysersOfTheOutputsTone)
{
    const tWAVEFORMATEX format = Pcm16(2, 48000);
    TWaveRenderSynthesizer sine;
    sine.SetFormat(format);
    std::vector<std::uint8_t> block(48000 * std::size_t(format.nBlockAlign));
    sine.Read(block.data(), 48000);

    TRecordingSink sink;
    TWaveCaptureAvg avg(&sink);
    avg.InitOffsets(QStringLiteral("0,0"));
    avg.InitThresholds(QStringLiteral("0,0"));
    avg.SetFormat(format);
    TWaveCaptureRms rms(&sink);
    rms.SetMeasureTime(400);
    rms.SetFormat(format);
    for (std::size_t nFrame = 0; nFrame < 48000; nFrame += 480) {
        avg.Write(block.data() + nFrame * format.nBlockAlign, 480);
        rms.Write(block.data() + nFrame * format.nBlockAlign, 480);
    }
    EXPECT_EQ(avg.Averages(), (TChannelValue{20622, 20622}));
    EXPECT_EQ(avg.PeakValues(), (TChannelValue{32440, 32440}));
    EXPECT_EQ(rms.RmsValues(), (TChannelValue{22938, 22938}));
}

TEST(AudioWaveTest, PeakExtremesAndSteps)
{
    TRecordingSink sink;
    TWaveCapturePeak peak(&sink);
    peak.SetFormat(Pcm16(1, 48000));
    const std::vector<std::uint8_t> bytes = Frames({0, 1000, -1000, 500});
    peak.Write(bytes.data(), 4);
    const std::vector<TPost> expected = {{EWaveEvent::Step, 0, 1000},
                                         {EWaveEvent::Step, 0, 2000},
                                         {EWaveEvent::Minimum, 0, -1000},
                                         {EWaveEvent::Maximum, 0, 1000}};
    EXPECT_EQ(sink.posts, expected) << "steps at once, extremes after the block";
    sink.posts.clear();
    const std::vector<std::uint8_t> calm = Frames({400, 300});
    peak.Write(calm.data(), 2);
    EXPECT_TRUE(sink.posts.empty()) << "extremes of the whole run, never reset";
    EXPECT_EQ(peak.MinValues(), TChannelValue{-1000});
    EXPECT_EQ(peak.MaxValues(), TChannelValue{1000});
    EXPECT_EQ(peak.SampleDeltas(), TChannelValue{2000});
}

// A file written by another tool plays, and its samples are the ones that tool wrote. Beyond two
// channels sox writes the extensible format record and a "fact" chunk before the data.
TEST(AudioWaveTest, ReadsFilesWrittenBySox)
{
    const QString sSox = QStandardPaths::findExecutable(QStringLiteral("sox"));
    if (sSox.isEmpty())
        GTEST_SKIP() << "sox is not installed (scripts/setup installs it)";
    TTestDir dir;
    for (const int iChannels : {2, 4}) {
        const QString sFile = dir.FilePath(QStringLiteral("tone%1.wav").arg(iChannels));
        // 100 ms of a 1 kHz tone at half scale, without dither.
        QProcess sox;
        sox.start(sSox,
                  {QStringLiteral("-D"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"),
                   QStringLiteral("-c"), QString::number(iChannels), QStringLiteral("-b"),
                   QStringLiteral("16"), QStringLiteral("-e"), QStringLiteral("signed-integer"), sFile,
                   QStringLiteral("synth"), QStringLiteral("0.1"), QStringLiteral("sine"),
                   QStringLiteral("1000"), QStringLiteral("vol"), QStringLiteral("0.5")});
        ASSERT_TRUE(sox.waitForFinished(20000));
        ASSERT_EQ(sox.exitCode(), 0) << sox.readAllStandardError().toStdString();
        if (iChannels == 4) {
            ASSERT_TRUE(ReadFileBytes(sFile).contains("fact")) << "the case this file is here for";
        }

        TWaveRenderFile file;
        file.Load(sFile);
        file.SetFormat(Pcm16(iChannels, 48000));
        const std::uint32_t nFrames = 4800;
        EXPECT_EQ(file.DataEnd() - file.DataStart(), nFrames * 2u * std::uint32_t(iChannels)) << iChannels;
        std::vector<std::uint8_t> block(nFrames * 2 * std::size_t(iChannels));
        ASSERT_EQ(file.Read(block.data(), nFrames), cBufferData);
        EXPECT_EQ(SampleAt(block, 0), 0);
        TWaveCapturePeak peak(nullptr);
        peak.SetFormat(Pcm16(iChannels, 48000));
        peak.Write(block.data(), nFrames);
        for (int ch = 0; ch < iChannels; ++ch) {
            EXPECT_NEAR(peak.MaxValues()[std::size_t(ch)], 16384, 2)
                << iChannels << " channels, channel " << ch;
            EXPECT_NEAR(peak.MinValues()[std::size_t(ch)], -16384, 2)
                << iChannels << " channels, channel " << ch;
        }
    }
    EXPECT_FALSE(
        RaisedText([&] { TWaveRenderFile().Load(dir.FilePath(QStringLiteral("missing.wav"))); }).isEmpty());
}
