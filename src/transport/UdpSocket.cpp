#include "UdpSocket.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

namespace ports {

namespace {

const std::map<int, const char*>& ErrorTexts()
{
    static const std::map<int, const char*> texts = {
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network sub-system is unusable"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11003, "Non-recoverable error"},
        {11004, "No Data"},
    };
    return texts;
}

// The IPv4 address of a dotted address or a host name, in network order; false when neither.
bool ResolveIPv4(const QString& sHost, std::uint32_t& nAddress)
{
    const QByteArray host = sHost.toLatin1();
    in_addr address{};
    if (inet_pton(AF_INET, host.constData(), &address) == 1) {
        nAddress = address.s_addr;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* pResult = nullptr;
    if (getaddrinfo(host.constData(), nullptr, &hints, &pResult) != 0 || !pResult)
        return false;
    nAddress = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(pResult);
    return true;
}

} // namespace

TUdpSocket::TUdpSocket() = default;

TUdpSocket::~TUdpSocket()
{
    CloseSocket();
}

QString TUdpSocket::ErrorText(int iCode)
{
    const auto it = ErrorTexts().find(iCode);
    const QString sText = it != ErrorTexts().end() ? QString::fromLatin1(it->second)
                                                   : QStringLiteral("#%1 is not a WinSock error").arg(iCode);
    return sText + QLatin1Char('!');
}

int TUdpSocket::ErrorCode(int iErrno)
{
    static const std::map<int, int> codes = {
        {EINTR, 10004},           {EBADF, 10009},         {EACCES, 10013},       {EPERM, 10013},
        {EFAULT, 10014},          {EINVAL, 10022},        {EMFILE, 10024},       {EWOULDBLOCK, 10035},
        {EINPROGRESS, 10036},     {EALREADY, 10037},      {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039},
        {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
        {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},
        {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},     {ENETUNREACH, 10051},
        {ENETRESET, 10052},       {ECONNABORTED, 10053},  {ECONNRESET, 10054},   {ECONNREFUSED, 10054},
        {ENOBUFS, 10055},         {EISCONN, 10056},       {ENOTCONN, 10057},     {ESHUTDOWN, 10058},
        {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},     {ELOOP, 10062},        {ENAMETOOLONG, 10063},
        {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},  {ENOTEMPTY, 10066},    {EUSERS, 10068},
        {EDQUOT, 10069},          {ESTALE, 10070},        {EREMOTE, 10071},
    };
    const auto it = codes.find(iErrno);
    return it != codes.end() ? it->second : iErrno;
}

void TUdpSocket::Report(const QString& sMessage, int iCode)
{
    if (FOnError)
        FOnError(sMessage, iCode);
}

void TUdpSocket::CloseSocket()
{
    fNotifier.reset();
    if (Socket_Handle >= 0)
        ::close(Socket_Handle);
    Socket_Handle = -1;
    Socket_IsBound = false;
}

bool TUdpSocket::Start(std::uint16_t aListeningPort, bool bLoopbackOnly)
{
    CloseSocket();
    Socket_Handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (Socket_Handle < 0) {
        Report(QStringLiteral("Start: Cannot Create Socket."), 0);
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(bLoopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    local.sin_port = htons(aListeningPort);
    if (::bind(Socket_Handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        CloseSocket();
        Report(QStringLiteral("Start: Cannot Bind Socket."), 0);
        return false;
    }
    // Without this an unconnected socket never hears that a destination port does not listen.
    const int iOn = 1;
    if (::setsockopt(Socket_Handle, IPPROTO_IP, IP_RECVERR, &iOn, sizeof iOn) != 0) {
        CloseSocket();
        Report(QStringLiteral("Start: Cannot Select Socket."), 0);
        return false;
    }
    ::setsockopt(Socket_Handle, SOL_SOCKET, SO_BROADCAST, &iOn, sizeof iOn);
    fNotifier = std::make_unique<QSocketNotifier>(Socket_Handle, QSocketNotifier::Read);
    QObject::connect(fNotifier.get(), &QSocketNotifier::activated, fNotifier.get(), [this] { Readable(); });
    Socket_IsBound = true;
    return true;
}

std::uint16_t TUdpSocket::LocalPort() const
{
    if (!Socket_IsBound)
        return 0;
    sockaddr_in local{};
    socklen_t nLength = sizeof local;
    if (::getsockname(Socket_Handle, reinterpret_cast<sockaddr*>(&local), &nLength) != 0)
        return 0;
    return ntohs(local.sin_port);
}

QString TUdpSocket::LocalAddress() const
{
    if (!Socket_IsBound)
        return {};
    sockaddr_in local{};
    socklen_t nLength = sizeof local;
    if (::getsockname(Socket_Handle, reinterpret_cast<sockaddr*>(&local), &nLength) != 0)
        return {};
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &local.sin_addr, address, sizeof address);
    return QString::fromLatin1(address);
}

int TUdpSocket::SendTo(const char* sWhere, std::uint32_t nAddress, std::uint16_t aPort,
                       const QByteArray& aBuffer, int iFlags)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = nAddress;
    peer.sin_port = htons(aPort);
    const ssize_t nSent =
        ::sendto(Socket_Handle, aBuffer.constData(), std::size_t(aBuffer.size()), iFlags | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (nSent < 0) {
        const int iCode = ErrorCode(errno);
        Report(QString::fromLatin1(sWhere) + ErrorText(iCode), iCode);
        return 0;
    }
    return int(nSent);
}

int TUdpSocket::SendData(const QString& aHost, std::uint16_t aPort, const QByteArray& aBuffer)
{
    if (aHost.isEmpty()) {
        Report(QStringLiteral("SendData: No Host Specified."), 0);
        return 0;
    }
    if (!Socket_IsBound) {
        Report(QStringLiteral("SendData: Socket Not Bound."), 0);
        return 0;
    }
    if (aBuffer.size() > FiMaxLength) {
        Report(QStringLiteral("SendData: Packet Too Big (%1 Bytes Max).").arg(FiMaxLength), 0);
        return 0;
    }
    std::uint32_t nAddress = 0;
    if (!ResolveIPv4(aHost, nAddress)) {
        Report(QStringLiteral("SendData: Host Not Found."), 0);
        return 0;
    }
    return SendTo("SendData: ", nAddress, aPort, aBuffer, 0);
}

int TUdpSocket::Broadcast(std::uint16_t aPort, const QByteArray& aBuffer, bool bLocal)
{
    if (!Socket_IsBound) {
        Report(QStringLiteral("Broadcast: Socket Not Bound."), 0);
        return 0;
    }
    if (aBuffer.size() > 512) {
        Report(QStringLiteral("Broadcast: Packet Too Big (512 Bytes Max)."), 0);
        return 0;
    }
    return SendTo("Broadcast: ", htonl(INADDR_BROADCAST), aPort, aBuffer, bLocal ? MSG_DONTROUTE : 0);
}

void TUdpSocket::Readable()
{
    // One datagram per notification, as the platform reported it; the notifier fires again while
    // more are queued.
    std::vector<char> buffer(static_cast<std::size_t>(FiMaxLength));
    sockaddr_in peer{};
    socklen_t nPeerLength = sizeof peer;
    const ssize_t nRead = ::recvfrom(Socket_Handle, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&peer), &nPeerLength);
    if (nRead < 0) {
        const int iErrno = errno;
        // The details of an ICMP answer wait in the error queue: take them, or the socket stays
        // readable for ever. A send may already have reported the answer (and cleared the error)
        // while its details still wait here.
        char control[512];
        msghdr message{};
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        while (::recvmsg(Socket_Handle, &message, MSG_ERRQUEUE | MSG_DONTWAIT) >= 0)
            message.msg_controllen = sizeof control;
        if (iErrno == EAGAIN || iErrno == EWOULDBLOCK)
            return;
        const int iCode = ErrorCode(iErrno);
        Report(QStringLiteral("OnReceive: ") + ErrorText(iCode), iCode);
        return;
    }
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
    if (FOnReceive)
        FOnReceive(QString::fromLatin1(address), ntohs(peer.sin_port), QByteArray(buffer.data(), int(nRead)));
}

} // namespace ports
