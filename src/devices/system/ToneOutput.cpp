#include "ToneOutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace sys {

namespace {

constexpr int ciSampleRate = 44100;

class TPulseToneOutput : public IToneOutput
{
public:
    bool PlayTone(int iFrequencyHz, int iDurationMs) override
    {
        pa_sample_spec sampleFormat{};
        sampleFormat.format = PA_SAMPLE_S16LE;
        sampleFormat.rate = ciSampleRate;
        sampleFormat.channels = 1;
        int iError = 0;
        pa_simple* pStream = pa_simple_new(nullptr, "TZK", PA_STREAM_PLAYBACK, nullptr, "Beep", &sampleFormat,
                                           nullptr, nullptr, &iError);
        if (!pStream)
            return false;
        const int iSamples = ciSampleRate * iDurationMs / 1000;
        std::vector<std::int16_t> samples(std::size_t(std::max(iSamples, 0)));
        for (int i = 0; i < iSamples; ++i) {
            const double rPhase = 2.0 * M_PI * iFrequencyHz * i / ciSampleRate;
            samples[std::size_t(i)] = std::int16_t(std::lround(12000.0 * std::sin(rPhase)));
        }
        const bool bOk =
            pa_simple_write(pStream, samples.data(), samples.size() * sizeof(std::int16_t), &iError) == 0 &&
            pa_simple_drain(pStream, &iError) == 0;
        pa_simple_free(pStream);
        return bOk;
    }

    void Bell() override
    {
        std::fputs("\a", stderr);
        std::fflush(stderr);
    }
};

} // namespace

std::unique_ptr<IToneOutput> IToneOutput::CreateDefault()
{
    return std::make_unique<TPulseToneOutput>();
}

} // namespace sys
