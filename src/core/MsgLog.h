#pragma once

#include "MsgTypes.h"

#include <QObject>
#include <QString>
#include <QTime>

#include <functional>
#include <vector>

// One line of the message log: its text and the type that chooses its colour.
struct TLogLine
{
    QString sText;
    TMsgTypeId eType = eInfo;
};

// An RGB colour for a log line; bSystemText asks for the platform's tooltip-text colour.
struct TLogColour
{
    int iRed = 0;
    int iGreen = 0;
    int iBlue = 0;
    bool bSystemText = false;
};

// The message log without its window: turns dispatched messages into time-stamped, prefixed
// lines, filters debug and trace messages, routes hints and keeps the list bounded. The Qt log
// window and the console both show exactly these lines.
class TMsgLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int ciTrimAbove = 1600;
    static constexpr int ciTrimTo = 1200;

    explicit TMsgLog(QObject* aParent = nullptr);
    ~TMsgLog() override;

    // Makes this log the dispatcher's sink (OnNewMsg) until it is destroyed or detached.
    void Attach();
    void Detach();

    // The sink: adds the message's lines, or raises EMsg 01010A for a type without a log form.
    void LogMessage(const void* aSender, TMsgId aId, const QString& aText);

    bool ShowDebug() const { return fbShowDebug; }
    void SetShowDebug(bool bShow);
    bool ShowTrace() const { return fbShowTrace; }
    void SetShowTrace(bool bShow);

    const std::vector<TLogLine>& Lines() const { return fLines; }
    int Count() const { return int(fLines.size()); }

    // A separator line (the start of a test process adds one); sLabel marks whose it is (the "[2] "
    // of a station's socket), empty for a blank line.
    void AddSeparator(const QString& sLabel = QString());
    void Clear();

    // The given lines, each followed by CR LF, as the clipboard gets them.
    QString CopyText(const std::vector<int>& aRows) const;

    // The prefix of a type ("Info: "), empty for a type that is not shown.
    QString Prefix(TMsgTypeId aType) const;
    static TLogColour Colour(TMsgTypeId aType);

    // The clock of the time stamps; tests set a fixed one.
    void SetClock(std::function<QTime()> aClock) { fClock = std::move(aClock); }
    // A label in front of every line of a message, by the channel that sent it (the "[2] " of a
    // station's socket); none by default.
    void SetSourceLabel(std::function<QString(const void* aSender)> aLabel)
    {
        fSourceLabel = std::move(aLabel);
    }

Q_SIGNALS:
    void LinesAdded(int aFirst, int aCount);
    void LinesRemoved(int aCount); // from the top, in one batch
    void Cleared();
    void HintChanged(const QString& aText);

private:
    void AddLines(const std::vector<TLogLine>& aLines);
    // The types this log shows, for the dispatcher, which then leaves the hidden ones unformatted.
    std::uint32_t ShownTypes() const;

    std::vector<TLogLine> fLines;
    bool fbShowDebug = false;
    bool fbShowTrace = false;
    bool fbAttached = false;
    std::function<QTime()> fClock;
    std::function<QString(const void*)> fSourceLabel;
};
