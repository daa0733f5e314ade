// A wave file as the audio output plays it: parsed from its bytes, then read out block by block
// until it is exhausted. Aborts when the data lies outside the file, when the blocks read differ
// from the data chunk or are not padded with silence, or when a recording of what was read,
// played back, differs in format or samples.

#include "FuzzSupport.h"

#include "devices/audio/AudioWave.h"

#include "core/MsgExceptions.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace audio;

namespace {

bool SameFormat(const tWAVEFORMATEX& a, const tWAVEFORMATEX& b)
{
    return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.nAvgBytesPerSec == b.nAvgBytesPerSec && a.nBlockAlign == b.nBlockAlign &&
           a.wBitsPerSample == b.wBitsPerSample;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QByteArray aFile(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    TWaveRenderFile file;
    try {
        file.LoadData(aFile);
    } catch (const EError&) {
        return 0;
    }
    FuzzCheck(file.DataStart() <= file.DataEnd() && file.DataEnd() <= std::uint32_t(aFile.size()),
              "the data lies within the file");
    FuzzCheck(file.DataEnd() == 0 || (file.DataStart() >= 8 && aFile.mid(file.DataStart() - 8, 4) == "data"),
              "the data follows its chunk header");

    const tWAVEFORMATEX format = file.Format();
    try {
        file.SetFormat(format);
    } catch (const EError&) {
        FuzzCheck(false, "a file plays on an endpoint of its own format");
    }
    tWAVEFORMATEX other = format;
    ++other.nChannels;
    bool bRefused = false;
    try {
        file.SetFormat(other);
    } catch (const EError&) {
        bRefused = true;
    }
    FuzzCheck(bRefused, "a file is refused on an endpoint with another channel count");

    // Blocks of several sizes, each at most 1 MiB.
    const std::uint32_t nBlockAlign = format.nBlockAlign;
    const std::uint32_t nFrameLimit =
        std::max<std::uint32_t>(1, (1U << 20) / std::max<std::uint32_t>(1, nBlockAlign));
    const std::uint32_t aFrameCounts[] = {1, 3, 64, 441, 4096};
    const qsizetype iData = qsizetype(file.DataEnd() - file.DataStart());
    QByteArray aRead;
    std::vector<std::uint8_t> buffer;
    for (int iBlock = 0;; ++iBlock) {
        const std::uint32_t nFrames = std::min(aFrameCounts[iBlock % 5], nFrameLimit);
        buffer.assign(std::size_t(nFrames) * nBlockAlign, 0x5A);
        const std::uint32_t dwFlags = file.Read(buffer.data(), nFrames);
        if (dwFlags == cBufferSilent)
            break;
        FuzzCheck(dwFlags == cBufferData, "a block is data or silence");
        FuzzCheck(aRead.size() < iData, "nothing is read after the data");
        aRead.append(reinterpret_cast<const char*>(buffer.data()), qsizetype(buffer.size()));
    }
    // A format without a frame size (no "fmt " chunk) plays nothing; no endpoint takes it.
    FuzzCheck(nBlockAlign == 0 ? aRead.isEmpty() : aRead.left(iData) == aFile.mid(file.DataStart(), iData),
              "the blocks hold the data chunk");
    FuzzCheck(aRead.size() - iData < qsizetype(std::max<std::uint32_t>(nBlockAlign, 1) * 4096),
              "at most the last block is padded");
    const char cSilence = format.wBitsPerSample == 8 ? char(0x80) : char(0);
    FuzzCheck(std::all_of(aRead.begin() + iData, aRead.end(), [&](char c) { return c == cSilence; }),
              "the last block is padded with silence");
    FuzzCheck(file.Read(buffer.data(), 1) == cBufferSilent, "an exhausted file stays silent");

    // What was played, recorded and played again.
    if (aRead.isEmpty() || nBlockAlign == 0)
        return 0;
    TWaveCaptureStream recording;
    recording.SetFormat(format);
    recording.SetMaxSize(0);
    recording.Write(reinterpret_cast<const std::uint8_t*>(aRead.constData()),
                    std::uint32_t(aRead.size() / nBlockAlign));
    recording.Complete();
    TWaveRenderFile again;
    again.LoadData(recording.Data());
    FuzzCheck(SameFormat(again.Format(), format), "a recording keeps the format");
    FuzzCheck(recording.Data().mid(again.DataStart()) == aRead, "a recording keeps the samples");
    return 0;
}
