// Costs of the wave objects on the capture and render threads: each analyser and the sine
// synthesizer on blocks of 10 ms (480 frames) of 2-channel 48 kHz 16-bit audio. The items per
// second are frames; 48,000 frames per second is real time.
#include "devices/audio/AudioWave.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

using namespace audio;

namespace {

constexpr std::uint32_t cFrames = 480;

tWAVEFORMATEX Stereo48k()
{
    return {cWaveFormatPcm, 2, 48000, 192000, 4, 16, 0};
}

// One second of a 1 kHz tone with some noise, so that extremes and steps keep changing a little.
std::vector<std::uint8_t> Signal()
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 48000; ++i) {
        const auto s = std::int16_t(std::sin(i * 2.0 * M_PI / 48.0) * 20000.0 + (i * 7919 % 201) - 100);
        for (int ch = 0; ch < 2; ++ch) {
            bytes.push_back(std::uint8_t(std::uint16_t(s) & 0xFF));
            bytes.push_back(std::uint8_t(std::uint16_t(s) >> 8));
        }
    }
    return bytes;
}

// Counts the posts, as a sink that queues them would, without the queue's own cost.
class TCountingSink : public IWaveNotificationSink
{
public:
    void PostNotification(EWaveEvent, std::uint32_t, std::int32_t) override { ++iPosts; }
    long iPosts = 0;
};

void RunAnalyser(benchmark::State& state, TWaveCapture& aWave)
{
    const std::vector<std::uint8_t> signal = Signal();
    aWave.SetFormat(Stereo48k());
    std::size_t nOffset = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(aWave.Write(signal.data() + nOffset, cFrames));
        nOffset = (nOffset + cFrames * 4) % signal.size();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * cFrames);
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * cFrames / 48000.0, benchmark::Counter::kIsRate);
}

void BM_Rms(benchmark::State& state)
{
    TCountingSink sink;
    TWaveCaptureRms rms(&sink);
    rms.SetMeasureTime(400);
    RunAnalyser(state, rms);
}
BENCHMARK(BM_Rms);

void BM_Average(benchmark::State& state)
{
    TCountingSink sink;
    TWaveCaptureAvg avg(&sink);
    avg.InitOffsets(QStringLiteral("0,0"));
    avg.InitThresholds(QStringLiteral("100,100"));
    RunAnalyser(state, avg);
}
BENCHMARK(BM_Average);

void BM_Peak(benchmark::State& state)
{
    TCountingSink sink;
    TWaveCapturePeak peak(&sink);
    RunAnalyser(state, peak);
}
BENCHMARK(BM_Peak);

void BM_Sine(benchmark::State& state)
{
    TWaveRenderSynthesizer sine;
    sine.SetFormat(Stereo48k());
    std::vector<std::uint8_t> block(cFrames * 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sine.Read(block.data(), cFrames));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * cFrames);
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * cFrames / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Sine);

} // namespace
