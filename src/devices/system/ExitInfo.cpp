#include "ExitInfo.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"

#include <QFile>
#include <QFileInfo>

namespace sys {

bool TExitInfoList::Init(const QString& sFileName, TMsgChannel& aMsg)
{
    QFile file(sFileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Lines end with CR LF; a file written on this system with LF alone reads the same.
    const QList<QByteArray> lines = file.readAll().split('\n');
    int iLine = 0;
    for (const QByteArray& raw : lines) {
        ++iLine;
        const QString sLine = TrimControl(QString::fromUtf8(raw));
        if (sLine.isEmpty() || sLine.startsWith(QLatin1Char(':')))
            continue;
        TCommaSeparatedValue csv;
        csv.SetStringLine(sLine + csv.Separator());
        if (csv.ValueCount() != 3) {
            aMsg.Error(QStringLiteral("Invalid value count at line %d in file %s"), {iLine, sFileName});
            return false;
        }
        const QString sText = csv.GetStringTrimmed(2);
        const bool bSuccess =
            csv.GetValueTrimmed(1).compare(QLatin1String("Success"), Qt::CaseInsensitive) == 0;
        if (csv.GetValueTrimmed(0) == QLatin1String("-")) {
            if (fDefault)
                aMsg.Warning(QStringLiteral("Default exit code overritten at line %d in file %s"),
                             {iLine, sFileName});
            fDefault = std::make_unique<TExitInfo>(0, bSuccess, sText);
            continue;
        }
        std::uint32_t nCode = 0;
        try {
            nCode = std::uint32_t(csv.GetInteger(0));
        } catch (const EError&) {
            aMsg.Error(QStringLiteral("Invalid exit code count at line %d in file %s"), {iLine, sFileName});
            return false;
        }
        fList.push_back(std::make_unique<TExitInfo>(nCode, bSuccess, sText));
    }
    return true;
}

const TExitInfo* TExitInfoList::GetInfo(std::uint32_t aCode) const
{
    for (const auto& info : fList)
        if (info->Code() == aCode)
            return info.get();
    return fDefault.get();
}

const TExitInfoList* TCmdLineExitInfo::Init(const QString& sFileName, TMsgChannel& aMsg)
{
    if (!QFileInfo(sFileName).isFile())
        return nullptr;
    const QString sKey = sFileName.toLower();
    const auto found = fConfigList.find(sKey);
    if (found != fConfigList.end())
        return found->second.get();
    auto list = std::make_unique<TExitInfoList>();
    if (list->Init(sFileName, aMsg))
        aMsg.Info(QStringLiteral("Exit code definition load from %s"), {sFileName});
    else {
        aMsg.Error(QStringLiteral("Exit code definition ignored from %s"), {sFileName});
        list.reset();
    }
    return (fConfigList[sKey] = std::move(list)).get();
}

QString TCmdLineExitInfo::ExitCodeFileName(const QString& sProgram)
{
    const QFileInfo info(sProgram);
    const QString sSuffix = info.suffix();
    if (sSuffix.isEmpty())
        return sProgram + QStringLiteral(".tec");
    return sProgram.left(sProgram.size() - sSuffix.size()) + QStringLiteral("tec");
}

} // namespace sys
