#include "MeterSimulator.h"

#include "PseudoTerminal.h"

#include <chrono>

#include <unistd.h>

TMeterSimulator::~TMeterSimulator()
{
    Stop();
}

QByteArray TMeterSimulator::Frame(int iMode, int iDigits, int iExponent, bool bNegative, bool bOverload)
{
    QByteArray frame;
    frame.append(char(0xA0 | (iExponent & 0x0F)));
    frame.append(char((iMode & 0x1F) | (bOverload ? 0x20 : 0)));
    frame.append(char(0x10 | (bNegative ? 0x20 : 0)));
    const QByteArray digits = QByteArray::number(iDigits).rightJustified(5, '0').right(5);
    for (const char c : digits)
        frame.append(char(c - '0'));
    return frame;
}

QString TMeterSimulator::Start()
{
    Stop();
    const QString sPath = OpenRawPty(fiPtyMaster);
    if (sPath.isEmpty())
        return {};
    fbStop = false;
    fThread = std::thread([this] { Send(); });
    return sPath;
}

void TMeterSimulator::Stop()
{
    fbStop = true;
    if (fThread.joinable())
        fThread.join();
    if (fiPtyMaster >= 0)
        ::close(fiPtyMaster);
    fiPtyMaster = -1;
}

void TMeterSimulator::SetFrame(const QByteArray& aFrame)
{
    const std::lock_guard<std::mutex> lock(fLock);
    fFrame = aFrame;
}

void TMeterSimulator::Send()
{
    using namespace std::chrono;
    while (!fbStop) {
        QByteArray frame;
        {
            const std::lock_guard<std::mutex> lock(fLock);
            frame = fFrame;
        }
        for (const char c : frame) {
            if (fbStop)
                return;
            (void)::write(fiPtyMaster, &c, 1);
            std::this_thread::sleep_for(microseconds(ciByteMicroseconds));
        }
        if (!frame.isEmpty())
            ++fiFramesSent;
        std::this_thread::sleep_for(milliseconds(fiPauseMs));
    }
}
