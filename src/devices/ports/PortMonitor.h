#pragma once

#include "transport/NorbeckIpAddress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class TMsgChannel;

namespace ports {

class TUdpSocket;

// The traffic monitor a port can be given with "Monitor.Initialize": every block the port sends or
// receives is mirrored as one datagram to the configured address, and datagrams that arrive at the
// monitor's own port are sent through the port to the device under test. Injection takes datagrams
// from any sender, so a monitor belongs on a trusted network.
class TPortMonitor
{
public:
    // aMsg: where the monitor reports (its port's session).
    explicit TPortMonitor(TMsgChannel& aMsg);
    ~TPortMonitor();
    TPortMonitor(const TPortMonitor&) = delete;
    TPortMonitor& operator=(const TPortMonitor&) = delete;

    // aConfig: the line's values split at ";" (value 1 is the monitor type). True when usable.
    bool Init(const QStringList& aConfig);
    // False when already open or when the socket could not start.
    bool Open();
    // False when not open.
    bool Close();
    bool IsOpen() const { return bool(fUdp); }
    // Sent (bSent) or received bytes of the port, in the order they are traced.
    void Display(const QByteArray& aData, bool bSent);

    const TNorbeckIpAddress& Address() const { return fAddress; }
    int ListeningPort() const { return fiListeningPort; }
    // The port the socket is bound to while open (the system's choice when none was configured).
    std::uint16_t BoundPort() const;
    QString BoundAddress() const;
    bool Silent() const { return fbSilent; }
    bool Verbose() const { return fbVerbose; }

    // Text the monitor wants sent through the port: one character per received byte.
    std::function<void(const QString& sText)> OnInject;

private:
    void Received(const QString& aPeerIp, std::uint16_t aPeerPort, const QByteArray& aBuffer);
    void SocketError(const QString& aMessage, int aErrorCode);
    // A datagram the monitor sent to itself (its destination is its own port).
    bool FromItself(const QString& aPeerIp, std::uint16_t aPeerPort) const;

    TMsgChannel& fMsg;
    std::unique_ptr<TUdpSocket> fUdp;
    TNorbeckIpAddress fAddress;
    int fiListeningPort = 0;
    bool fbSilent = false;
    bool fbVerbose = false;
    bool fbLoopWarned = false;
};

} // namespace ports
