#pragma once

#include <QString>
#include <QStringList>

// The installed printers that are online, from the printing system (CUPS). A printer is online
// when it is enabled, accepts jobs and none of its state reasons says offline or paused.
class TWinPrintersOnline
{
public:
    // Rebuilds the list; returns the number of online printers.
    int Init();
    // Position of aName in the list, ignoring case; -1 when absent.
    int IndexOf(const QString& aName) const;
    const QStringList& List() const { return fslList; }
    // The errors met by the last Init, joined by "; ".
    const QString& LastError() const { return FsLastError; }

    // The names of all installed printers, online or not.
    static QStringList InstalledPrinters();

private:
    QStringList fslList;
    QString FsLastError;
};
