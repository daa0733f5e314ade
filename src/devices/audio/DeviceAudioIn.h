#pragma once

#include "AudioCapture.h"
#include "DeviceAudioBase.h"

#include <QString>

#include <memory>
#include <vector>

class IRunnerControl;

namespace audio {

class TCmdStartAvgCheck;
class TCmdStartPeakCheck;

// AudioInput: measures or records what one capture endpoint hears.
class TDeviceAudioIn : public TDeviceAudioBase
{
public:
    explicit TDeviceAudioIn(TDeviceContext& aContext);
    ~TDeviceAudioIn() override;

    static QString KeyName() { return QStringLiteral("AudioInput"); }
    // The input's own functions, after the base's.
    static const TCmdCreateCmd::TTable& FunctionTable();
    void Init(const QString& sDefinition) override;
    void RunEnded() override;
    void Released() override;

    bool CheckRms();
    bool StartRmsRecorder();
    bool StartWaveRecorder(const QString& sFileName);
    bool StartAvgRecorder(TCmdStartAvgCheck& aCmd);
    bool StartPeakRecorder(TCmdStartPeakCheck& aCmd);
    bool Stop() override;
    bool GetMeasuredValue(unsigned aId, int& aValue) const;
    void ReleaseEvents();

private:
    bool Busy() const;
    void BindStartHandler();
    bool StartCapture(const QString& sDebugPrefix, const QString& sTerm, const char* sInitFailed);
    void RmsUpdate(std::uint32_t aSource, std::int32_t aValue);

    std::unique_ptr<TAudioCapture> fAudioCapture;
    int fiMeasurementCount = 0;
    std::vector<int> fRmsValues;
};

class TCmdCheckRms : public TCommandOf<TDeviceAudioIn, TCmdAudioWait>
{
public:
    explicit TCmdCheckRms(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

protected:
    bool StartOperation() override;
    void StopOperation() override;
    void Conclusion() override;

private:
    QString fsLogName;
    std::vector<int> faiMin;
    std::vector<int> faiMax;
};

class TCmdStartRms : public TCommandOf<TDeviceAudioIn, TCmdAudioStart>
{
public:
    explicit TCmdStartRms(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

protected:
    bool StartOperation() override;
};

class TCmdStartWaveRecorder : public TCommandOf<TDeviceAudioIn, TCmdAudioStart>
{
public:
    explicit TCmdStartWaveRecorder(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

protected:
    bool StartOperation() override;

private:
    QString fsFileName;
};

// Base of the two open-ended checks: they run until the operator presses Enter or Escape (or a
// limit ends an average check) and hold the runner's key hook meanwhile.
class TCmdAudioKeyCheck : public TCommandOf<TDeviceAudioIn, TCmdAudioWait>
{
public:
    using TCommandOf::TCommandOf;

protected:
    bool StartOperation() override;
    void StopOperation() override;
    virtual bool StartRecorder() = 0;
    virtual const char* KeyDebug() const = 0;
    void UnhookKey();

    ECmdResult feResult = crUnknown;

private:
    bool KeyPressed(int iKey);

    IRunnerControl* fHookedRunner = nullptr;
};

class TCmdStartAvgCheck : public TCmdAudioKeyCheck
{
public:
    explicit TCmdStartAvgCheck(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

    const std::vector<int>& Offsets() const { return fOffsets; }
    const std::vector<int>& Thresholds() const { return fThresholds; }

    void AverageUpdate(std::uint32_t aSource, std::int32_t aValue);
    void PeakUpdate(std::uint32_t aSource, std::int32_t aValue);
    void ResetUpdate(std::uint32_t aSource);
    void CaptureComplete(const TWaveCapture& aWave);

protected:
    bool StartRecorder() override;
    const char* KeyDebug() const override { return "AudioIn TCmdStartAvgCheck.UserKeyEvent"; }
    void Conclusion() override;

private:
    QString fsLogValNamePrefix;
    bool fbEndOnError = false;
    std::vector<int> fOffsets;
    std::vector<int> fThresholds;
    std::vector<int> fMaxAverages;
    std::vector<int> fMaxPeaks;
};

class TCmdStartPeakCheck : public TCmdAudioKeyCheck
{
public:
    explicit TCmdStartPeakCheck(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

    void MinUpdate(std::uint32_t aSource, std::int32_t aValue);
    void MaxUpdate(std::uint32_t aSource, std::int32_t aValue);
    void StepUpdate(std::uint32_t aSource, std::int32_t aValue);

protected:
    bool StartRecorder() override;
    const char* KeyDebug() const override { return "AudioIn TCmdStartPeakCheck.UserKeyEvent"; }
    void Conclusion() override;

private:
    QString Summary(std::size_t nChannel) const;
    void CheckPeakToPeak(std::size_t nChannel);
    void LimitExceeded() { fbLimitExceeded = true; }

    std::vector<int> fMinValues;
    std::vector<int> fMinLimits;
    std::vector<int> fMaxValues;
    std::vector<int> fMaxLimits;
    std::vector<int> fMaxValueDelta;
    std::vector<int> fSampleDeltaValues;
    std::vector<int> fMaxSampleIncrease;
    std::vector<int> fMaxSampleDelta;
    bool fbLimitExceeded = false;
};

} // namespace audio
