#include "AudioWave.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace audio {

namespace {

std::uint32_t ReadUInt32(const QByteArray& aData, qint64 iPos)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(aData.constData()) + iPos;
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void WriteUInt32(QByteArray& aData, int iPos, std::uint32_t dwValue)
{
    for (int i = 0; i < 4; ++i)
        aData[iPos + i] = char((dwValue >> (8 * i)) & 0xFF);
}

void AppendUInt32(QByteArray& aData, std::uint32_t dwValue)
{
    for (int i = 0; i < 4; ++i)
        aData.append(char((dwValue >> (8 * i)) & 0xFF));
}

} // namespace

TChannelValue ParseChannelValues(const QString& aCsv)
{
    TChannelValue values;
    if (aCsv.isEmpty())
        return values;
    const QStringList pieces = aCsv.split(QLatin1Char(','));
    values.reserve(std::size_t(pieces.size()));
    for (const QString& sPiece : pieces)
        values.push_back(ParseInteger(sPiece.trimmed()));
    return values;
}

// ---------------------------------------------------------------------------------------------
// TWaveBase

void TWaveBase::AdaptHwFormat(tWAVEFORMATEXTENSIBLE& aWaveFormat)
{
    tWAVEFORMATEX& format = aWaveFormat.Format;
    if (format.wFormatTag == cWaveFormatIeeeFloat) {
        format.wFormatTag = cWaveFormatPcm;
    } else if (format.wFormatTag == cWaveFormatExtensible) {
        if (std::memcmp(aWaveFormat.SubFormat, cSubFormatIeeeFloat, sizeof(cSubFormatIeeeFloat)) != 0)
            throw EError(QStringLiteral("Unsupported extensible wave format!"));
        std::memcpy(aWaveFormat.SubFormat, cSubFormatPcm, sizeof(cSubFormatPcm));
        aWaveFormat.wValidBitsPerSample = 16;
    } else {
        throw EError(
            ::Format(QStringLiteral("Device format 0x%x not supported!"), {unsigned(format.wFormatTag)}));
    }
    format.wBitsPerSample = 16;
    format.nBlockAlign = std::uint16_t(format.nChannels * 16 / 8);
    format.nAvgBytesPerSec = std::uint32_t(format.nBlockAlign) * format.nSamplesPerSec;
}

// ---------------------------------------------------------------------------------------------
// TWaveRenderFile

void TWaveRenderFile::Load(const QString& sFileName)
{
    QFile file(sFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EError(
            ::Format(QStringLiteral("Cannot open file \"%s\". %s"), {sFileName, file.errorString()}));
    LoadData(file.readAll());
}

void TWaveRenderFile::LoadData(const QByteArray& aData)
{
    fData = aData;
    ParseWave();
}

void TWaveRenderFile::ParseWave()
{
    fFormat = tWAVEFORMATEX{};
    fnDataStartPos = 0;
    fnDataEndPos = 0;
    fnReadPos = 0;
    const qint64 iSize = fData.size();
    qint64 iPos = 0;
    while (iPos < iSize - 4) {
        const QByteArray id = fData.mid(int(iPos), 4);
        iPos += 4;
        if (id == "RIFF") {
            if (iPos + 8 > iSize)
                return;
            const QByteArray type = fData.mid(int(iPos) + 4, 4);
            iPos += 8;
            if (type != "WAVE")
                throw EError(::Format(QStringLiteral("Invalid RIFF type \"%s\" instead of \"%s\"!"),
                                      {QString::fromLatin1(type), QStringLiteral("WAVE")}));
            continue;
        }
        if (iPos + 4 > iSize)
            return;
        const qint64 iChunkSize = ReadUInt32(fData, iPos);
        iPos += 4;
        if (id == "data") {
            // A declared size beyond the file (a recording cut short, a streamed header) plays
            // what is there.
            fnDataStartPos = std::uint32_t(iPos);
            fnDataEndPos = std::uint32_t(std::min(iPos + iChunkSize, iSize));
            fnReadPos = fnDataStartPos;
            return;
        }
        if (id == "fmt ") {
            const qint64 iCopy = std::min<qint64>({iChunkSize, qint64(sizeof(fFormat)), iSize - iPos});
            std::memcpy(&fFormat, fData.constData() + iPos, std::size_t(iCopy));
        }
        // Every other chunk (LIST, fact, cue, ...) is skipped, as is the rest of a long "fmt "
        // chunk; chunks are padded to an even size.
        iPos += iChunkSize + (iChunkSize & 1);
    }
}

void TWaveRenderFile::SetFormat(const tWAVEFORMATEX& aFormat)
{
    const struct
    {
        const char* sFormat;
        std::uint32_t dwHw;
        std::uint32_t dwWave;
    } checks[] = {
        {"Different channel count HW=%d <> %d=Wave", aFormat.nChannels, fFormat.nChannels},
        {"Different samples rate HW=%d <> %d=Wave", aFormat.nSamplesPerSec, fFormat.nSamplesPerSec},
        {"Different buffer estimation HW=%d <> %d=Wave", aFormat.nAvgBytesPerSec, fFormat.nAvgBytesPerSec},
        {"Different frame data size HW=%d <> %d=Wave", aFormat.nBlockAlign, fFormat.nBlockAlign},
        {"Different bits rate HW=%d <> %d=Wave", aFormat.wBitsPerSample, fFormat.wBitsPerSample},
    };
    for (const auto& check : checks) {
        if (check.dwHw != check.dwWave)
            throw EError(::Format(QString::fromLatin1(check.sFormat), {check.dwHw, check.dwWave}));
    }
}

std::uint32_t TWaveRenderFile::Read(std::uint8_t* pData, std::uint32_t nFrameCount)
{
    const std::uint64_t nByteCount = std::uint64_t(nFrameCount) * fFormat.nBlockAlign;
    const std::uint64_t nAvailable = fnDataEndPos > fnReadPos ? fnDataEndPos - fnReadPos : 0;
    if (nByteCount == 0 || nAvailable == 0) {
        fnReadPos = fnDataEndPos;
        return cBufferSilent;
    }
    if (nAvailable < nByteCount) {
        // The last block is padded with silence, so that the end of the file (all of a file
        // shorter than a block) is heard too.
        std::memcpy(pData, fData.constData() + fnReadPos, std::size_t(nAvailable));
        std::memset(pData + nAvailable, fFormat.wBitsPerSample == 8 ? 0x80 : 0,
                    std::size_t(nByteCount - nAvailable));
        fnReadPos = fnDataEndPos;
        return cBufferData;
    }
    std::memcpy(pData, fData.constData() + fnReadPos, std::size_t(nByteCount));
    fnReadPos += std::uint32_t(nByteCount);
    return cBufferData;
}

// ---------------------------------------------------------------------------------------------
// TWaveRenderSynthesizer

void TWaveRenderSynthesizer::SetFormat(const tWAVEFORMATEX& aFormat)
{
    fFormat = aFormat;
    fFormat.cbSize = 0;
    ffApplitude = std::ldexp(1.0, aFormat.wBitsPerSample - 1) * 0.99;
    fiBytePerSample = aFormat.wBitsPerSample / 8;
}

std::uint32_t TWaveRenderSynthesizer::Read(std::uint8_t* pData, std::uint32_t nFrameCount)
{
    if (FdwDuration > 0 && fdwMilliseconds >= FdwDuration) {
        fdwMilliseconds = 0;
        fdwPlayedFrames = 0;
        return cBufferSilent;
    }
    // Checked before writing, so that a format whose frame is smaller than its samples never
    // writes beyond the block.
    const std::uint64_t nByteCount = std::uint64_t(nFrameCount) * fFormat.nBlockAlign;
    const std::uint64_t nProduced =
        std::uint64_t(nFrameCount) * fFormat.nChannels * std::uint64_t(fiBytePerSample);
    if (nProduced != nByteCount)
        throw EError(QStringLiteral("TWaveSynthesizer.Read: ms.Size <> nByteCount"));
    const double rOmega = double(FdwFrequency) * 2.0 * M_PI;
    const long double rStep =
        static_cast<long double>(rOmega) / static_cast<long double>(fFormat.nSamplesPerSec);
    std::uint8_t* p = pData;
    for (std::uint32_t i = 0; i < nFrameCount; ++i) {
        const long double rK = static_cast<long double>(fdwPlayedFrames) + i;
        const auto iValue = static_cast<std::int64_t>(std::sin(rK * rStep) * ffApplitude);
        for (int ch = 0; ch < fFormat.nChannels; ++ch) {
            for (int b = 0; b < fiBytePerSample; ++b)
                *p++ = std::uint8_t((std::uint64_t(iValue) >> (8 * b)) & 0xFF);
        }
    }
    fdwMilliseconds = std::uint32_t(double(nFrameCount) * 1000.0 / double(fFormat.nSamplesPerSec) +
                                    double(fdwMilliseconds));
    fdwPlayedFrames += nFrameCount;
    return cBufferData;
}

// ---------------------------------------------------------------------------------------------
// Capture sinks

void TWaveCapture::SetFormat(const tWAVEFORMATEX& aFormat)
{
    fFormat = aFormat;
    fFormat.wFormatTag = cWaveFormatPcm;
}

void TWaveCaptureStream::SetFormat(const tWAVEFORMATEX& aFormat)
{
    TWaveCapture::SetFormat(aFormat);
    FData.clear();
    WriteHeader();
}

void TWaveCaptureStream::WriteHeader()
{
    FData.append("RIFF", 4);
    fiFileSizePosition = FData.size();
    AppendUInt32(FData, 0);
    FData.append("WAVEfmt ", 8);
    AppendUInt32(FData, sizeof(fFormat));
    FData.append(reinterpret_cast<const char*>(&fFormat), sizeof(fFormat));
    FData.append("data", 4);
    fiDataSizePosition = FData.size();
    AppendUInt32(FData, 0);
}

bool TWaveCaptureStream::Write(const std::uint8_t* pData, std::uint32_t nFrameCount)
{
    const int iBytes = int(nFrameCount * fFormat.nBlockAlign);
    if (pData)
        FData.append(reinterpret_cast<const char*>(pData), iBytes);
    else
        FData.append(iBytes, '\0');
    return FnMaxSize == 0 || std::uint32_t(FData.size()) < FnMaxSize;
}

void TWaveCaptureStream::UpdateHeader()
{
    if (fiDataSizePosition + 4 >= FData.size())
        throw EError(QStringLiteral("Wave header update failed!"));
    WriteUInt32(FData, fiFileSizePosition, std::uint32_t(FData.size() - 8));
    WriteUInt32(FData, fiDataSizePosition, std::uint32_t(FData.size() - ciHeaderSize));
}

void TWaveCaptureStream::Complete()
{
    UpdateHeader();
    if (FsFileName.isEmpty())
        return;
    QFile file(FsFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(FData) != FData.size())
        throw EError(
            ::Format(QStringLiteral("Cannot create file \"%s\". %s"), {FsFileName, file.errorString()}));
}

void TWaveCaptureAnalyser::SetFormat(const tWAVEFORMATEX& aFormat)
{
    TWaveCapture::SetFormat(aFormat);
    if (aFormat.wBitsPerSample != 16)
        throw EError(::Format(QStringLiteral("Only 16 bits per sample are supported! (%d)"),
                              {int(aFormat.wBitsPerSample)}));
}

// ---------------------------------------------------------------------------------------------
// TWaveCaptureRms

void TWaveCaptureRms::SetFormat(const tWAVEFORMATEX& aFormat)
{
    TWaveCaptureAnalyser::SetFormat(aFormat);
    fiAccuSamples = int((std::uint64_t(aFormat.nSamplesPerSec) * FnMeasureTime) / 1000);
    fiRmsAccuCounter = 0;
    fRmsAccu.assign(aFormat.nChannels, 0.0);
    FRmsValues.assign(aFormat.nChannels, 0);
}

bool TWaveCaptureRms::Write(const std::uint8_t* pData, std::uint32_t nFrameCount)
{
    const std::size_t nChannels = fFormat.nChannels;
    std::size_t nIndex = 0;
    for (std::uint32_t i = 0; i < nFrameCount; ++i) {
        ++fiRmsAccuCounter;
        const bool bWindowFull = fiRmsAccuCounter >= fiAccuSamples;
        for (std::size_t ch = 0; ch < nChannels; ++ch, ++nIndex) {
            const double s = Sample(pData, nIndex);
            fRmsAccu[ch] += s * s;
            if (bWindowFull) {
                // nearbyint rounds half to even in the default rounding mode.
                FRmsValues[ch] = std::int32_t(std::nearbyint(std::sqrt(fRmsAccu[ch] / fiRmsAccuCounter)));
                Post(EWaveEvent::Rms, std::uint32_t(ch), FRmsValues[ch]);
                fRmsAccu[ch] = 0.0;
            }
        }
        if (bWindowFull)
            fiRmsAccuCounter = 0;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TWaveCaptureAvg

void TWaveCaptureAvg::InitOffsets(const QString& aCsv)
{
    fOffsets = ParseChannelValues(aCsv);
}

void TWaveCaptureAvg::InitThresholds(const QString& aCsv)
{
    fThresholds = ParseChannelValues(aCsv);
}

void TWaveCaptureAvg::SetFormat(const tWAVEFORMATEX& aFormat)
{
    TWaveCaptureAnalyser::SetFormat(aFormat);
    fMaxSampleAccu = std::numeric_limits<std::uint64_t>::max() - 32768;
    const int iChannels = aFormat.nChannels;
    if (int(fOffsets.size()) != iChannels)
        throw EError(
            ::Format(QStringLiteral("Definied offset count %d differs from hardware channel count %d!"),
                     {int(fOffsets.size()), iChannels}));
    if (int(fThresholds.size()) != iChannels)
        throw EError(
            ::Format(QStringLiteral("Definied threshold count %d differs from hardware channel count %d!"),
                     {int(fThresholds.size()), iChannels}));
    FSampleAccu.assign(std::size_t(iChannels), 0);
    FSampleCounts.assign(std::size_t(iChannels), 0);
    FPeakValues.assign(std::size_t(iChannels), 0);
    fPeakUpdates.assign(std::size_t(iChannels), 0);
    FAverages.assign(std::size_t(iChannels), 0);
}

bool TWaveCaptureAvg::Write(const std::uint8_t* pData, std::uint32_t nFrameCount)
{
    const std::size_t nChannels = fFormat.nChannels;
    std::size_t nIndex = 0;
    for (std::uint32_t i = 0; i < nFrameCount; ++i) {
        for (std::size_t ch = 0; ch < nChannels; ++ch, ++nIndex) {
            const std::int64_t d = std::llabs(std::int64_t(Sample(pData, nIndex)) - fOffsets[ch]);
            if (d > FPeakValues[ch]) {
                FPeakValues[ch] = std::int32_t(d);
                ++fPeakUpdates[ch];
            }
            if (d > fThresholds[ch])
                FSampleAccu[ch] += std::uint64_t(d);
            ++FSampleCounts[ch];
            FAverages[ch] = std::int32_t(FSampleAccu[ch] / FSampleCounts[ch]);
            if (FSampleAccu[ch] > fMaxSampleAccu) {
                FSampleAccu[ch] = 0;
                FSampleCounts[ch] = 0;
                Post(EWaveEvent::AverageReset, std::uint32_t(ch), 0);
            }
        }
    }
    if (fWindowHandle) {
        for (std::size_t ch = 0; ch < nChannels; ++ch) {
            if (fPeakUpdates[ch] > 0) {
                fPeakUpdates[ch] = 0;
                Post(EWaveEvent::Peak, std::uint32_t(ch), FPeakValues[ch]);
            }
            if (FSampleCounts[ch] % 200 == 0)
                Post(EWaveEvent::Average, std::uint32_t(ch), FAverages[ch]);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TWaveCapturePeak

void TWaveCapturePeak::SetFormat(const tWAVEFORMATEX& aFormat)
{
    TWaveCaptureAnalyser::SetFormat(aFormat);
    const std::size_t nChannels = aFormat.nChannels;
    fLastValues.assign(nChannels, 0);
    fMinValues.assign(nChannels, std::numeric_limits<std::int32_t>::max());
    fMaxValues.assign(nChannels, std::numeric_limits<std::int32_t>::min());
    fSampleDeltas.assign(nChannels, -1);
    fMinUpdates.assign(nChannels, 0);
    fMaxUpdates.assign(nChannels, 0);
    fSampleDeltaUpdates.assign(nChannels, 0);
}

bool TWaveCapturePeak::Write(const std::uint8_t* pData, std::uint32_t nFrameCount)
{
    const std::size_t nChannels = fFormat.nChannels;
    std::size_t nIndex = 0;
    for (std::uint32_t i = 0; i < nFrameCount; ++i) {
        for (std::size_t ch = 0; ch < nChannels; ++ch, ++nIndex) {
            const std::int32_t s = Sample(pData, nIndex);
            if (fSampleDeltas[ch] < 0) {
                fSampleDeltas[ch] = 0;
            } else {
                const std::int32_t d = std::abs(fLastValues[ch] - s);
                if (d > fSampleDeltas[ch]) {
                    fSampleDeltas[ch] = d;
                    ++fSampleDeltaUpdates[ch];
                    Post(EWaveEvent::Step, std::uint32_t(ch), d);
                }
            }
            fLastValues[ch] = s;
            if (s < fMinValues[ch]) {
                fMinValues[ch] = s;
                ++fMinUpdates[ch];
            }
            if (s > fMaxValues[ch]) {
                fMaxValues[ch] = s;
                ++fMaxUpdates[ch];
            }
        }
    }
    if (fWindowHandle) {
        for (std::size_t ch = 0; ch < nChannels; ++ch) {
            if (fMinUpdates[ch] > 0) {
                fMinUpdates[ch] = 0;
                Post(EWaveEvent::Minimum, std::uint32_t(ch), fMinValues[ch]);
            }
            if (fMaxUpdates[ch] > 0) {
                fMaxUpdates[ch] = 0;
                Post(EWaveEvent::Maximum, std::uint32_t(ch), fMaxValues[ch]);
            }
        }
    }
    return true;
}

} // namespace audio
