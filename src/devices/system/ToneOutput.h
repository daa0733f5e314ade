#pragma once

#include <memory>

namespace sys {

// Plays a tone of a frequency for a time. Returns when the tone has ended (or could not be
// played); false when no audio output was reachable.
class IToneOutput
{
public:
    virtual ~IToneOutput() = default;
    // The sound server's default output (PulseAudio), with the terminal bell when none is
    // reachable.
    static std::unique_ptr<IToneOutput> CreateDefault();

    virtual bool PlayTone(int iFrequencyHz, int iDurationMs) = 0;
    virtual void Bell() = 0;
};

} // namespace sys
