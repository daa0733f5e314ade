#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace audio {

#pragma pack(push, 1)
// The wave format record as RIFF files and sound endpoints describe frames (18 bytes, packed,
// little-endian).
struct tWAVEFORMATEX
{
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};

// The extensible form: the record, then 22 bytes of extension (cbSize = 22).
struct tWAVEFORMATEXTENSIBLE
{
    tWAVEFORMATEX Format;
    std::uint16_t wValidBitsPerSample;
    std::uint32_t dwChannelMask;
    std::uint8_t SubFormat[16];
};
#pragma pack(pop)

static_assert(sizeof(tWAVEFORMATEX) == 18, "the wave format record is 18 bytes");
static_assert(sizeof(tWAVEFORMATEXTENSIBLE) == 40, "the extensible record is 40 bytes");

constexpr std::uint16_t cWaveFormatPcm = 1;
constexpr std::uint16_t cWaveFormatIeeeFloat = 3;
constexpr std::uint16_t cWaveFormatExtensible = 0xFFFE;

// The extensible sub-format GUIDs as they lie in memory (first three fields little-endian).
inline constexpr std::uint8_t cSubFormatIeeeFloat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
inline constexpr std::uint8_t cSubFormatPcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Buffer flags a source returns from Read.
constexpr std::uint32_t cBufferData = 0;
constexpr std::uint32_t cBufferSilent = 2;

// What an analyser reports for one channel.
enum class EWaveEvent
{
    Rms,          // RMS analyser: the RMS of the window just measured
    Average,      // average analyser: the average so far
    Peak,         // average analyser: a new largest deviation from the offset
    AverageReset, // average analyser: the accumulator was full and starts again (no value)
    Minimum,      // peak analyser: a new smallest sample
    Maximum,      // peak analyser: a new largest sample
    Step          // peak analyser: a new steepest step between consecutive samples
};
constexpr std::size_t cWaveEventCount = std::size_t(EWaveEvent::Step) + 1;

using TChannelValue = std::vector<std::int32_t>;
using TChannelAccu = std::vector<double>;
using TUInt64Array = std::vector<std::uint64_t>;

// Where an analyser posts its notifications; called on the capture thread, must not wait for the
// delivery.
class IWaveNotificationSink
{
public:
    virtual ~IWaveNotificationSink() = default;
    virtual void PostNotification(EWaveEvent eEvent, std::uint32_t dwChannel, std::int32_t iValue) = 0;
};

// A source or sink of 16-bit PCM frames between an endpoint and the test.
class TWaveBase
{
public:
    virtual ~TWaveBase() = default;
    virtual void SetFormat(const tWAVEFORMATEX& aFormat) = 0;
    const tWAVEFORMATEX& Format() const { return fFormat; }

    // Turns an endpoint's float mix format, in place, into the 16-bit PCM format every wave
    // object uses; channel count and rate stay the endpoint's.
    static void AdaptHwFormat(tWAVEFORMATEXTENSIBLE& aWaveFormat);

protected:
    tWAVEFORMATEX fFormat{};
};

class TWaveRender : public TWaveBase
{
public:
    // Fills nFrameCount frames at pData; cBufferSilent when the source is exhausted.
    virtual std::uint32_t Read(std::uint8_t* pData, std::uint32_t nFrameCount) = 0;
};

// Plays a RIFF/WAVE file held in memory, without conversion.
class TWaveRenderFile : public TWaveRender
{
public:
    // Reads the whole file and parses it; a file that cannot be read raises its error.
    void Load(const QString& sFileName);
    // Parses a file image already in memory.
    void LoadData(const QByteArray& aData);

    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    std::uint32_t Read(std::uint8_t* pData, std::uint32_t nFrameCount) override;

    std::uint32_t DataStart() const { return fnDataStartPos; }
    std::uint32_t DataEnd() const { return fnDataEndPos; }

private:
    void ParseWave();

    QByteArray fData;
    std::uint32_t fnDataStartPos = 0;
    std::uint32_t fnDataEndPos = 0;
    std::uint32_t fnReadPos = 0;
};

// A sine tone of one frequency on every channel, for a duration or without end.
class TWaveRenderSynthesizer : public TWaveRender
{
public:
    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    std::uint32_t Read(std::uint8_t* pData, std::uint32_t nFrameCount) override;

    std::uint32_t Frequency() const { return FdwFrequency; }
    void SetFrequency(std::uint32_t dwFrequency) { FdwFrequency = dwFrequency; }
    std::uint32_t Duration() const { return FdwDuration; }
    void SetDuration(std::uint32_t dwDuration) { FdwDuration = dwDuration; }

private:
    double ffApplitude = 0.0;
    int fiBytePerSample = 0;
    std::uint32_t fdwMilliseconds = 0;
    std::uint32_t fdwPlayedFrames = 0;
    std::uint32_t FdwFrequency = 1000;
    std::uint32_t FdwDuration = 0;
};

class TWaveCapture : public TWaveBase
{
public:
    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    // Consumes nFrameCount frames; pData null means a silent packet. False asks to stop capturing.
    virtual bool Write(const std::uint8_t* pData, std::uint32_t nFrameCount) = 0;
    // Called once after capture stopped.
    virtual void Complete() = 0;
};

// The recorder: collects a RIFF/WAVE image in memory and saves it when capture completes.
class TWaveCaptureStream : public TWaveCapture
{
public:
    static constexpr int ciHeaderSize = 46;

    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    bool Write(const std::uint8_t* pData, std::uint32_t nFrameCount) override;
    void Complete() override;

    const QByteArray& Data() const { return FData; }
    std::uint32_t MaxSize() const { return FnMaxSize; }
    void SetMaxSize(std::uint32_t nMaxSize) { FnMaxSize = nMaxSize; }
    const QString& FileName() const { return FsFileName; }
    void SetFileName(const QString& sFileName) { FsFileName = sFileName; }

private:
    void WriteHeader();
    void UpdateHeader();

    QByteArray FData;
    int fiFileSizePosition = 0;
    int fiDataSizePosition = 0;
    std::uint32_t FnMaxSize = 25000000;
    QString FsFileName;
};

// Base of the measuring sinks: they post results to a sink and complete without work.
class TWaveCaptureAnalyser : public TWaveCapture
{
public:
    explicit TWaveCaptureAnalyser(IWaveNotificationSink* aSink) : fWindowHandle(aSink) {}
    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    void Complete() override {}

protected:
    void Post(EWaveEvent eEvent, std::uint32_t dwChannel, std::int32_t iValue) const
    {
        if (fWindowHandle)
            fWindowHandle->PostNotification(eEvent, dwChannel, iValue);
    }
    static std::int16_t Sample(const std::uint8_t* pData, std::size_t nIndex)
    {
        if (!pData)
            return 0;
        return std::int16_t(std::uint16_t(pData[2 * nIndex] | (pData[2 * nIndex + 1] << 8)));
    }

    IWaveNotificationSink* fWindowHandle;
};

// RMS per channel over a window of MeasureTime milliseconds.
class TWaveCaptureRms : public TWaveCaptureAnalyser
{
public:
    using TWaveCaptureAnalyser::TWaveCaptureAnalyser;
    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    bool Write(const std::uint8_t* pData, std::uint32_t nFrameCount) override;

    const TChannelValue& RmsValues() const { return FRmsValues; }
    std::uint32_t MeasureTime() const { return FnMeasureTime; }
    void SetMeasureTime(std::uint32_t nMeasureTime) { FnMeasureTime = nMeasureTime; }

private:
    int fiAccuSamples = 0;
    int fiRmsAccuCounter = 0;
    TChannelAccu fRmsAccu;
    TChannelValue FRmsValues;
    std::uint32_t FnMeasureTime = 1000;
};

// Rectified average above a threshold and the largest deviation, per channel.
class TWaveCaptureAvg : public TWaveCaptureAnalyser
{
public:
    using TWaveCaptureAnalyser::TWaveCaptureAnalyser;
    void InitOffsets(const QString& aCsv);
    void InitThresholds(const QString& aCsv);
    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    bool Write(const std::uint8_t* pData, std::uint32_t nFrameCount) override;

    const TUInt64Array& SampleAccu() const { return FSampleAccu; }
    const TUInt64Array& SampleCounts() const { return FSampleCounts; }
    const TChannelValue& PeakValues() const { return FPeakValues; }
    const TChannelValue& Averages() const { return FAverages; }

private:
    std::uint64_t fMaxSampleAccu = 0;
    TChannelValue fOffsets;
    TChannelValue fThresholds;
    TUInt64Array FSampleAccu;
    TUInt64Array FSampleCounts;
    TChannelValue FPeakValues;
    TChannelValue fPeakUpdates;
    TChannelValue FAverages;
};

// Extremes and the steepest step between consecutive samples, per channel.
class TWaveCapturePeak : public TWaveCaptureAnalyser
{
public:
    using TWaveCaptureAnalyser::TWaveCaptureAnalyser;
    void SetFormat(const tWAVEFORMATEX& aFormat) override;
    bool Write(const std::uint8_t* pData, std::uint32_t nFrameCount) override;

    const TChannelValue& MinValues() const { return fMinValues; }
    const TChannelValue& MaxValues() const { return fMaxValues; }
    const TChannelValue& SampleDeltas() const { return fSampleDeltas; }

private:
    TChannelValue fLastValues;
    TChannelValue fMinValues;
    TChannelValue fMaxValues;
    TChannelValue fSampleDeltas;
    TChannelValue fMinUpdates;
    TChannelValue fMaxUpdates;
    TChannelValue fSampleDeltaUpdates;
};

// The integers of a comma list, first for channel 0; an empty text gives none.
TChannelValue ParseChannelValues(const QString& aCsv);

} // namespace audio
