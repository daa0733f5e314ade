#pragma once

#include <QHash>
#include <QString>

#include <cstdint>

// Numbers the sockets of one station draw from a common source (a serial-number file): the
// highest number handed out per source, so that a socket is never offered a number another socket
// holds but has not registered yet. Kept on the main thread, where every draw concludes.
class TStationLedger
{
public:
    // The highest number handed out from sSource so far, if any.
    bool Highest(const QString& sSource, std::int64_t& iHighest) const;
    // iNumber was handed out from sSource.
    void Record(const QString& sSource, std::int64_t iNumber);

private:
    QHash<QString, std::int64_t> fHighest;
};
