#pragma once

#include "AudioRender.h"
#include "DeviceAudioBase.h"

#include <QString>

#include <memory>

namespace audio {

// AudioOutput: plays a sine tone or a wave file on one render endpoint.
class TDeviceAudioOut : public TDeviceAudioBase
{
public:
    explicit TDeviceAudioOut(TDeviceContext& aContext);
    ~TDeviceAudioOut() override;

    static QString KeyName() { return QStringLiteral("AudioOutput"); }
    // The output's own functions, after the base's.
    static const TCmdCreateCmd::TTable& FunctionTable();
    void Init(const QString& sDefinition) override;
    void RunEnded() override;
    void Released() override;

    bool StartSine(int iFrequency, int iDuration);
    bool StartFile(const QString& sFileName);
    bool Stop() override;

private:
    bool StartRender(const QString& sTerm);

    std::unique_ptr<TAudioRender> fAudioRender;
};

// Registers "AudioInput" and "AudioOutput" with the device list.
void RegisterDevices(TDeviceTypes& aTypes);

class TCmdStartSine : public TCommandOf<TDeviceAudioOut, TCmdAudioStart>
{
public:
    explicit TCmdStartSine(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

protected:
    bool StartOperation() override;

private:
    int fiFrequency = 0;
    int fiDuration = 0;
};

class TCmdStartFile : public TCommandOf<TDeviceAudioOut, TCmdAudioStart>
{
public:
    explicit TCmdStartFile(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

protected:
    bool StartOperation() override;

private:
    QString fsFileName;
};

} // namespace audio
