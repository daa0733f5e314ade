#include "WinPrintersOnline.h"

#include <cups/cups.h>

namespace {

// The destinations of the CUPS server; released when the object goes.
class TCupsDests
{
public:
    TCupsDests() : fiCount(cupsGetDests2(CUPS_HTTP_DEFAULT, &fDests)) {}
    ~TCupsDests() { cupsFreeDests(fiCount, fDests); }
    TCupsDests(const TCupsDests&) = delete;
    TCupsDests& operator=(const TCupsDests&) = delete;

    int Count() const { return fiCount; }
    const cups_dest_t& At(int i) const { return fDests[i]; }

private:
    cups_dest_t* fDests = nullptr;
    int fiCount;
};

QString Option(const cups_dest_t& dest, const char* sName)
{
    return QString::fromUtf8(cupsGetOption(sName, dest.num_options, dest.options));
}

bool IsOnline(const cups_dest_t& dest)
{
    const bool bEnabled = Option(dest, "printer-state") != QLatin1String("5");
    const bool bAccepting = Option(dest, "printer-is-accepting-jobs") != QLatin1String("false");
    const QString sReasons = Option(dest, "printer-state-reasons");
    const bool bBlocked =
        sReasons.contains(QLatin1String("offline")) || sReasons.contains(QLatin1String("paused"));
    return bEnabled && bAccepting && !bBlocked;
}

bool IsServerError()
{
    const ipp_status_t status = cupsLastError();
    return status > IPP_STATUS_OK_EVENTS_COMPLETE;
}

} // namespace

int TWinPrintersOnline::Init()
{
    fslList.clear();
    FsLastError.clear();
    const TCupsDests dests;
    if (dests.Count() == 0 && IsServerError())
        FsLastError = QString::fromUtf8(cupsLastErrorString());
    for (int i = 0; i < dests.Count(); ++i) {
        const cups_dest_t& dest = dests.At(i);
        if (dest.instance)
            continue; // instances are option sets of a queue, not printers
        if (IsOnline(dest))
            fslList.append(QString::fromUtf8(dest.name));
    }
    return int(fslList.size());
}

int TWinPrintersOnline::IndexOf(const QString& aName) const
{
    for (int i = 0; i < fslList.size(); ++i) {
        if (fslList.at(i).compare(aName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QStringList TWinPrintersOnline::InstalledPrinters()
{
    QStringList names;
    const TCupsDests dests;
    for (int i = 0; i < dests.Count(); ++i) {
        if (!dests.At(i).instance)
            names.append(QString::fromUtf8(dests.At(i).name));
    }
    return names;
}
