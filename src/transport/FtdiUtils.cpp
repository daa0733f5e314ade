#include "FtdiUtils.h"

#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

namespace ports {

namespace {

struct TSharedDetector
{
    std::weak_ptr<TFtdiDetector> detector;
    IFtdiLibrary* library = nullptr;
};

// Used on the main thread only.
TSharedDetector& Shared()
{
    static TSharedDetector shared;
    return shared;
}

} // namespace

TFtdiDetector::TFtdiDetector(IFtdiLibrary& aLibrary)
    : fDeviceList(std::make_unique<TFtdiD2xxDeviceList>(aLibrary))
{}

std::shared_ptr<TFtdiDetector> TFtdiDetector::Instance(IFtdiLibrary& aLibrary)
{
    TSharedDetector& shared = Shared();
    std::shared_ptr<TFtdiDetector> detector = shared.detector.lock();
    if (!detector || shared.library != &aLibrary) {
        detector = std::make_shared<TFtdiDetector>(aLibrary);
        shared.detector = detector;
        shared.library = &aLibrary;
    }
    return detector;
}

void TFtdiDetector::InstanceRelease()
{
    Shared() = TSharedDetector();
}

bool TFtdiDetector::Fail(const QString& sText)
{
    FsErrorText = sText;
    return false;
}

bool TFtdiDetector::LoadList(TMsgChannel* aMsg)
{
    if (fbLoaded)
        return true;
    if (!TFtdiD2xxBase::Available(fDeviceList->Library()))
        return false;
    if (fDeviceList->Load() <= 0)
        return false;
    fbLoaded = true;
    for (int i = 0; i < fDeviceList->Count(); ++i) {
        if (!fDeviceList->AccessDenied(i))
            continue;
        const QString sFormat = QStringLiteral("FTDI converter at USB%.4x: %s");
        if (aMsg)
            aMsg->Warning(sFormat, {fDeviceList->LocId(i), FtdiAccessHint()});
        else
            TMsg::Warning(sFormat, {fDeviceList->LocId(i), FtdiAccessHint()});
    }
    return true;
}

bool TFtdiDetector::Find(const QString& sName, TMsgChannel* aMsg)
{
    FsErrorText.clear();
    if (!LoadList(aMsg))
        return Fail(QStringLiteral("No FTDI devices available!"));
    int iIndex = -1;
    if (sName.startsWith(QLatin1String("USB"))) {
        const std::int64_t iLocId = TFtdiD2xxBase::UsbPortId(sName.mid(3));
        if (iLocId >= 0)
            iIndex = fDeviceList->Find(std::uint32_t(iLocId));
        if (iIndex < 0)
            return Fail(Format(QStringLiteral("No FTDI device found at %s"), {sName}));
    } else if (sName.startsWith(QLatin1String("SN:")) || sName.startsWith(QLatin1String("DS:"))) {
        QString sSearch = sName.mid(sName.indexOf(QLatin1Char(':')) + 1);
        const int iQuote = sSearch.indexOf(QLatin1Char('"'));
        if (iQuote >= 0) {
            const int iEnd = sSearch.indexOf(QLatin1Char('"'), iQuote + 1);
            sSearch = iEnd < 0 ? sSearch.mid(iQuote + 1) : sSearch.mid(iQuote + 1, iEnd - iQuote - 1);
        } else {
            sSearch = sSearch.trimmed();
        }
        const EDeviceInfoNoteField eField =
            sName.startsWith(QLatin1String("SN:")) ? eiSerialNr : eiDescription;
        // An empty search text would take any converter: it finds none.
        if (!sSearch.isEmpty())
            iIndex = fDeviceList->Find(eField, sSearch);
        if (iIndex < 0)
            return Fail(Format(QStringLiteral("No FTDI device found with [%s]"), {sName}));
    } else {
        return Fail(QStringLiteral("Unknown port identification: ") + sName);
    }
    FsDeviceSerialNo = fDeviceList->SerialNumber(iIndex);
    FdwUsbLocationId = fDeviceList->LocId(iIndex);
    FsDeviceIndication = FdwUsbLocationId != 0
                             ? Format(QStringLiteral("USB%.4x [%s]"), {FdwUsbLocationId, sName})
                             : Format(QStringLiteral("USB3 [%s]"), {sName});
    return true;
}

QString TFtdiDetector::IdentificationError(const QString& sName)
{
    if (sName.startsWith(QLatin1String("USB"))) {
        if (TFtdiD2xxBase::UsbPortId(sName.mid(3)) < 0)
            return Format(QStringLiteral("No FTDI device found at %s"), {sName});
        return QString();
    }
    if (sName.startsWith(QLatin1String("SN:")) || sName.startsWith(QLatin1String("DS:"))) {
        QString sSearch = sName.mid(3);
        sSearch.remove(QLatin1Char('"'));
        if (sSearch.trimmed().isEmpty())
            return Format(QStringLiteral("No FTDI device found with [%s]"), {sName});
        return QString();
    }
    return QStringLiteral("Unknown port identification: ") + sName;
}

} // namespace ports
