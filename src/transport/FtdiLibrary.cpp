#include "FtdiLibrary.h"

namespace ports {

QString FtdiStatusText(int iStatus)
{
    switch (iStatus) {
    case ftOk:
        return QStringLiteral("success");
    case ftInvalidHandle:
        return QStringLiteral("converter not open");
    case ftDeviceNotFound:
        return QStringLiteral("converter not found");
    case ftDeviceNotOpened:
        return QStringLiteral("converter could not be opened");
    case ftIoError:
        return QStringLiteral("USB transfer failed");
    case ftInsufficientResources:
        return QStringLiteral("insufficient resources");
    case ftInvalidParameter:
        return QStringLiteral("invalid parameter");
    case ftInvalidBaudRate:
        return QStringLiteral("invalid baud rate");
    case ftAccessDenied:
        return QStringLiteral("access denied");
    case ftDeviceGone:
        return QStringLiteral("converter unplugged");
    case ftNotSupported:
        return QStringLiteral("not supported by the converter");
    default:
        return QStringLiteral("converter library error %1").arg(iStatus);
    }
}

QString FtdiAccessHint()
{
    return QStringLiteral("this user may not open the USB converter: install the udev rule "
                          "/etc/udev/rules.d/60-tzk-ftdi.rules (see the FTDI device reference) "
                          "and plug the converter in again");
}

} // namespace ports
