#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace ports {

// A datagram socket on the main thread: bound to all local addresses at one port, it reports each
// datagram that arrives and every failure through its two events. The error codes are the numbers
// definitions and their engineers know from the original platform (10054, ...), mapped from the
// system's error numbers.
// The socket is the system's own, watched by a QSocketNotifier, rather than a QUdpSocket: only with
// IP_RECVERR and its error queue drained does an unconnected socket learn, every time, that a
// destination port does not listen, and QUdpSocket reports neither the error nor a second one.
class TUdpSocket
{
public:
    using TNotifyUdpReceive =
        std::function<void(const QString& aPeerIp, std::uint16_t aPeerPort, const QByteArray& aBuffer)>;
    using TNotifyUdpError = std::function<void(const QString& aMessage, int aErrorCode)>;

    TUdpSocket();
    ~TUdpSocket();
    TUdpSocket(const TUdpSocket&) = delete;
    TUdpSocket& operator=(const TUdpSocket&) = delete;

    // Binds to aListeningPort (0: a free port of the system's choice) on all local addresses, or on
    // the loopback address only; false after a report.
    bool Start(std::uint16_t aListeningPort, bool bLoopbackOnly = false);
    // Bytes sent, or 0 after a report.
    int SendData(const QString& aHost, std::uint16_t aPort, const QByteArray& aBuffer);
    int Broadcast(std::uint16_t aPort, const QByteArray& aBuffer, bool bLocal);

    bool IsBound() const { return Socket_IsBound; }
    // The port the socket is bound to (0 when not bound).
    std::uint16_t LocalPort() const;
    // The dotted address the socket is bound to ("0.0.0.0" for all); empty when not bound.
    QString LocalAddress() const;
    int MaxLength() const { return FiMaxLength; }

    TNotifyUdpReceive FOnReceive;
    TNotifyUdpError FOnError;

    // "Connection reset by peer!" for 10054, "#<code> is not a WinSock error!" for unknown codes.
    static QString ErrorText(int iCode);
    // The code of a system error number (ECONNREFUSED, the answer to a datagram sent to a port
    // that does not listen, is 10054 as the original platform reports it); unknown numbers are
    // kept as they are.
    static int ErrorCode(int iErrno);

private:
    void Report(const QString& sMessage, int iCode);
    void CloseSocket();
    void Readable();
    int SendTo(const char* sWhere, std::uint32_t nAddress, std::uint16_t aPort, const QByteArray& aBuffer,
               int iFlags);

    bool Socket_IsBound = false;
    int Socket_Handle = -1;
    int FiMaxLength = 8192;
    std::unique_ptr<QSocketNotifier> fNotifier;
};

} // namespace ports
