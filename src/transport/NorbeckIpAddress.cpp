#include "NorbeckIpAddress.h"

#include <QStringList>

namespace ports {

TNorbeckIpAddress TNorbeckIpAddress::FromText(const QString& sText)
{
    TNorbeckIpAddress address;
    const QStringList parts = sText.split(QLatin1Char(':'));
    if (parts.isEmpty())
        return address;
    // An empty first part leaves the host open, so that ":8000" names only a port.
    const QString& sHost = parts.at(0);
    if (IsIPv4(sHost))
        address.IPv4 = sHost;
    else
        address.Host = sHost;
    if (parts.size() > 1) {
        bool bOk = false;
        const int iPort = parts.at(1).trimmed().toInt(&bOk);
        address.Port = bOk ? iPort : -1;
    }
    if (parts.size() > 2)
        address.Extension = parts.at(2);
    return address;
}

QString TNorbeckIpAddress::ToText() const
{
    QString sText = HostOrIPv4();
    if (Port >= 0)
        sText += QLatin1Char(':') + QString::number(Port);
    if (!Extension.isEmpty())
        sText += QLatin1Char(':') + Extension;
    return sText;
}

bool TNorbeckIpAddress::IsIPv4(const QString& sText)
{
    const QStringList items = sText.split(QLatin1Char('.'));
    if (items.size() != 4)
        return false;
    for (const QString& sItem : items) {
        bool bOk = false;
        const int iValue = sItem.trimmed().toInt(&bOk);
        if (!bOk || iValue < 0 || iValue > 255)
            return false;
    }
    return true;
}

void TNorbeckIpAddress::Retarget(const QString& sStatement)
{
    const TNorbeckIpAddress address = FromText(sStatement);
    if (!address.HostOrIPv4().isEmpty()) {
        Host = address.Host;
        IPv4 = address.IPv4;
    }
    if (address.Port > 0)
        Port = address.Port;
}

} // namespace ports
