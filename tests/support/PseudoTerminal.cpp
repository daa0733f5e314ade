#include "PseudoTerminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

QString OpenRawPty(int& iMaster)
{
    iMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (iMaster < 0)
        return {};
    const char* pName = nullptr;
    if (grantpt(iMaster) == 0 && unlockpt(iMaster) == 0)
        pName = ptsname(iMaster);
    if (!pName) {
        ::close(iMaster);
        iMaster = -1;
        return {};
    }
    const QString sPath = QString::fromLocal8Bit(pName);
    termios settings{};
    if (tcgetattr(iMaster, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(iMaster, TCSANOW, &settings);
    }
    fcntl(iMaster, F_SETFL, fcntl(iMaster, F_GETFL) | O_NONBLOCK);
    return sPath;
}
