#include "RegIO.h"

#include "MsgExceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <limits>
#include <memory>

namespace {

const QString csOrganisation = QStringLiteral("Norbeck Software Design");
const QString csApplication = QStringLiteral("TZK2");

std::unique_ptr<TRegIO>& Singleton()
{
    static std::unique_ptr<TRegIO> instance;
    return instance;
}

[[noreturn]] void MissingValue(const QString& sName)
{
    throw EError(Format(QStringLiteral("Failed to get data for '%s'"), {sName}));
}

[[noreturn]] void InvalidType(const QString& sName)
{
    throw EError(Format(QStringLiteral("Invalid data type for '%s'"), {sName}));
}

// An INI file keeps every value as text, so a value is an integer when its text is a decimal
// 32-bit number; anything else stored under an integer's name has the wrong type.
int ReadInteger(const QSettings& settings, const QString& sName)
{
    const QVariant value = settings.value(sName);
    if (!value.isValid())
        MissingValue(sName);
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int &&
        value.typeId() != QMetaType::LongLong)
        InvalidType(sName);
    bool bOk = false;
    const qlonglong iValue = value.toLongLong(&bOk);
    if (!bOk || iValue < std::numeric_limits<int>::min() || iValue > std::numeric_limits<int>::max())
        InvalidType(sName);
    return int(iValue);
}

bool ReadBool(const QSettings& settings, const QString& sName)
{
    return ReadInteger(settings, sName) != 0;
}

// A missing string reads empty; a list or another stored type is the wrong type.
QString ReadString(const QSettings& settings, const QString& sName)
{
    const QVariant value = settings.value(sName);
    if (!value.isValid())
        return QString();
    if (value.typeId() != QMetaType::QString)
        InvalidType(sName);
    return value.toString();
}

} // namespace

TRegIO::TRegIO()
{
    fsUserFileName =
        QSettings(QSettings::IniFormat, QSettings::UserScope, csOrganisation, csApplication).fileName();
    fsDefaultFileName =
        QSettings(QSettings::IniFormat, QSettings::SystemScope, csOrganisation, csApplication).fileName();
}

TRegIO& TRegIO::Instance()
{
    auto& instance = Singleton();
    if (!instance)
        instance = std::make_unique<TRegIO>();
    return *instance;
}

void TRegIO::InstanceRelease()
{
    Singleton().reset();
}

bool TRegIO::CurrentUserLoad()
{
    if (!QFileInfo(fsUserFileName).isFile())
        return false;
    const QSettings settings(fsUserFileName, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return false;

    FPosition.Left = ReadInteger(settings, QStringLiteral("pl"));
    FPosition.Top = ReadInteger(settings, QStringLiteral("pt"));
    FPosition.Right = ReadInteger(settings, QStringLiteral("pr"));
    FPosition.Bottom = ReadInteger(settings, QStringLiteral("pb"));
    FSplitterPosH = ReadInteger(settings, QStringLiteral("ph"));
    FSplitterPosV = ReadInteger(settings, QStringLiteral("pv"));
    FLastFile = ReadString(settings, QStringLiteral("lf"));
    FsRecentFileList = ReadString(settings, QStringLiteral("rf"));
    FViewMsgTrace = ReadBool(settings, QStringLiteral("vmt"));
    FShowToolbarTips = ReadBool(settings, QStringLiteral("stt"));
    FShowToolbarCaption = ReadBool(settings, QStringLiteral("stc"));
    FShowTreeButtonAndLines = ReadBool(settings, QStringLiteral("stb"));
    FShowCmdLineInTreeView = ReadBool(settings, QStringLiteral("scl"));
    FbOptionsSkipErrors = ReadBool(settings, QStringLiteral("ose"));
    // Written only by later versions; older files lack them.
    FbShowErrorReportDlg =
        settings.contains(QStringLiteral("sed")) ? ReadBool(settings, QStringLiteral("sed")) : true;
    FEndOnFailure =
        settings.contains(QStringLiteral("eof")) ? ReadBool(settings, QStringLiteral("eof")) : true;
    return true;
}

bool TRegIO::CurrentUserSave()
{
    QSettings settings(fsUserFileName, QSettings::IniFormat);
    settings.setValue(QStringLiteral("pl"), FPosition.Left);
    settings.setValue(QStringLiteral("pt"), FPosition.Top);
    settings.setValue(QStringLiteral("pr"), FPosition.Right);
    settings.setValue(QStringLiteral("pb"), FPosition.Bottom);
    settings.setValue(QStringLiteral("ph"), FSplitterPosH);
    settings.setValue(QStringLiteral("pv"), FSplitterPosV);
    settings.setValue(QStringLiteral("lf"), FLastFile);
    settings.setValue(QStringLiteral("rf"), FsRecentFileList);
    settings.setValue(QStringLiteral("vmt"), int(FViewMsgTrace));
    settings.setValue(QStringLiteral("stt"), int(FShowToolbarTips));
    settings.setValue(QStringLiteral("stc"), int(FShowToolbarCaption));
    settings.setValue(QStringLiteral("stb"), int(FShowTreeButtonAndLines));
    settings.setValue(QStringLiteral("scl"), int(FShowCmdLineInTreeView));
    settings.setValue(QStringLiteral("ose"), int(FbOptionsSkipErrors));
    settings.setValue(QStringLiteral("sed"), int(FbShowErrorReportDlg));
    settings.setValue(QStringLiteral("eof"), int(FEndOnFailure));
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        FsLastError = QStringLiteral("No permission to write in the user registry file!");
        return false;
    }
    return true;
}

bool TRegIO::OpenDefaultForWriting()
{
    if (!QDir().mkpath(QFileInfo(fsDefaultFileName).absolutePath()))
        return false;
    // Append mode creates a missing file and leaves an existing one as it is.
    QFile file(fsDefaultFileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

bool TRegIO::DefaultAvailable()
{
    return OpenDefaultForWriting();
}

bool TRegIO::DefaultLoad()
{
    QFile file(fsDefaultFileName);
    return QFileInfo(fsDefaultFileName).isFile() && file.open(QIODevice::ReadOnly);
}

bool TRegIO::DefaultSave()
{
    if (!OpenDefaultForWriting()) {
        FsLastError = QStringLiteral("No permission to write in the default registry file!");
        return false;
    }
    return true;
}
