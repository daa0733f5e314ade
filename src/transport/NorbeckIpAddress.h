#pragma once

#include <QString>

namespace ports {

// A remote address as definitions write it: "host:port", "10.0.0.7:5025", optionally with a third,
// free part after another ":".
struct TNorbeckIpAddress
{
    QString Host;  // a host name; empty when the text held a dotted IPv4 address
    QString IPv4;  // a dotted IPv4 address; empty when the text held a host name
    int Port = -1; // -1 when the text held no port
    QString Extension;

    QString HostOrIPv4() const { return Host.isEmpty() ? IPv4 : Host; }

    static TNorbeckIpAddress FromText(const QString& sText);
    // Takes what an Instruct statement names: a host or address replaces host and address, a port
    // greater than 0 replaces the port.
    void Retarget(const QString& sStatement);
    QString ToText() const;
    // Four items separated by "." that are each an integer from 0 to 255.
    static bool IsIPv4(const QString& sText);
};

} // namespace ports
