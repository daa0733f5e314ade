#include "MsgLog.h"

#include "MsgClasses.h"
#include "MsgExceptions.h"

#include <QRegularExpression>

TMsgLog::TMsgLog(QObject* aParent) : QObject(aParent), fClock([] { return QTime::currentTime(); }) {}

TMsgLog::~TMsgLog()
{
    Detach();
}

void TMsgLog::Attach()
{
    TMsgClass::Instance().SetOnNewMsg(
        [this](const void* aSender, TMsgId aId, const QString& aText) { LogMessage(aSender, aId, aText); },
        ShownTypes());
    fbAttached = true;
}

std::uint32_t TMsgLog::ShownTypes() const
{
    std::uint32_t iTypes = TMsgClass::ciAllTypes;
    if (!fbShowDebug)
        iTypes &= ~(1u << eDebug);
    if (!fbShowTrace)
        iTypes &= ~(1u << eTrace);
    return iTypes;
}

void TMsgLog::SetShowDebug(bool bShow)
{
    fbShowDebug = bShow;
    if (fbAttached)
        TMsgClass::Instance().SetShownTypes(ShownTypes());
}

void TMsgLog::SetShowTrace(bool bShow)
{
    fbShowTrace = bShow;
    if (fbAttached)
        TMsgClass::Instance().SetShownTypes(ShownTypes());
}

void TMsgLog::Detach()
{
    if (fbAttached) {
        TMsgClass::Instance().SetOnNewMsg(nullptr);
        fbAttached = false;
    }
}

QString TMsgLog::Prefix(TMsgTypeId aType) const
{
    switch (aType) {
    case eDebug:
        return fbShowDebug ? QStringLiteral("Debug: ") : QString();
    case eTrace:
        return fbShowTrace ? QStringLiteral("Trace: ") : QString();
    case eInfo:
        return QStringLiteral("Info: ");
    case eWarning:
        return QStringLiteral("Warning: ");
    case eError:
        return QStringLiteral("Error: ");
    case eFatal:
        return QStringLiteral("Fatal: ");
    default:
        return QString();
    }
}

TLogColour TMsgLog::Colour(TMsgTypeId aType)
{
    switch (aType) {
    case eDebug:
        return {0, 128, 128, false};
    case eTrace:
        return {128, 128, 128, false};
    case eInfo:
        return {0, 0, 0, true};
    case eWarning:
        return {0, 0, 255, false};
    case eError:
    case eFatal:
        return {255, 0, 0, false};
    default:
        return {0, 0, 0, false};
    }
}

void TMsgLog::LogMessage(const void* aSender, TMsgId aId, const QString& aText)
{
    const auto eType = static_cast<TMsgTypeId>(aId.TypeNo());
    if (aId.TypeNo() == eNone || aId.TypeNo() > eFatal)
        throw EMsg(TMsgId(0x01010A), int(aId.TypeNo()));
    if (eType == eHint) {
        Q_EMIT HintChanged(aText);
        return;
    }
    const QString sPrefix = Prefix(eType);
    if (sPrefix.isEmpty())
        return;

    if (Count() > ciTrimAbove) {
        const int iRemove = Count() - ciTrimTo;
        fLines.erase(fLines.begin(), fLines.begin() + iRemove);
        Q_EMIT LinesRemoved(iRemove);
    }

    const QString sTime = fClock().toString(QStringLiteral("HH:mm:ss.zzz"));
    const QString sSource = fSourceLabel ? fSourceLabel(aSender) : QString();
    std::vector<TLogLine> newLines;
    if (!aText.contains(QLatin1Char('\r'))) {
        newLines.push_back({sSource + sTime + QLatin1Char(' ') + sPrefix + aText, eType});
    } else {
        static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
        const QStringList parts = aText.split(lineBreak);
        newLines.push_back({sSource + sTime + QLatin1Char(' ') + sPrefix + parts.first(), eType});
        for (int i = 1; i < parts.size(); ++i)
            newLines.push_back({sSource + QStringLiteral("> ") + parts.at(i), eType});
    }
    AddLines(newLines);
}

void TMsgLog::AddSeparator(const QString& sLabel)
{
    AddLines({TLogLine{sLabel, eInfo}});
}

void TMsgLog::AddLines(const std::vector<TLogLine>& aLines)
{
    const int iFirst = Count();
    fLines.insert(fLines.end(), aLines.begin(), aLines.end());
    Q_EMIT LinesAdded(iFirst, int(aLines.size()));
}

void TMsgLog::Clear()
{
    fLines.clear();
    Q_EMIT Cleared();
}

QString TMsgLog::CopyText(const std::vector<int>& aRows) const
{
    QString sText;
    for (const int iRow : aRows) {
        if (iRow >= 0 && iRow < Count())
            sText += fLines[std::size_t(iRow)].sText + QStringLiteral("\r\n");
    }
    return sText;
}
