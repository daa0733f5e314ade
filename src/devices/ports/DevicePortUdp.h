#pragma once

#include "DevicePortBase.h"

#include "transport/NorbeckIpAddress.h"
#include "transport/UdpSocket.h"

#include <cstdint>
#include <memory>

namespace ports {

// "UDP": every send goes out as one datagram to the configured address; every datagram that
// arrives at the device's own port, from whichever sender, is appended to the receive buffer.
class TDevicePortUdp : public TDevicePortBase
{
public:
    explicit TDevicePortUdp(TDeviceContext& aContext);
    ~TDevicePortUdp() override;

    static QString KeyName() { return QStringLiteral("UDP"); }
    void Init(const QString& sDefinition) override;
    void WriteData(const QByteArray& aStream, int iTimeout) override;
    void Open() override;
    void Close() override;
    bool Instruct(const QString& aStatement) override;
    void Released() override;

    const TNorbeckIpAddress& Address() const { return fAddress; }
    std::uint16_t ListeningPort() const { return fwListeningPort; }
    const TUdpSocket* Socket() const { return fUdp.get(); }

private:
    void Received(const QString& aPeerIp, std::uint16_t aPeerPort, const QByteArray& aBuffer);
    void SocketError(const QString& aMessage, int aErrorCode);
    void UpdatePortId();
    void FreeSocket();

    std::unique_ptr<TUdpSocket> fUdp;
    TNorbeckIpAddress fAddress;
    std::uint16_t fwListeningPort = 0;
    bool fbSendFailed = false;
};

} // namespace ports
