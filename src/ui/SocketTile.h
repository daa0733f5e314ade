#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QScrollArea;

// What a test socket is doing, as its tile shows it.
enum class ESocketState
{
    Ready,
    Running,
    Paused,
    WaitingForDevice,
    WaitingForOperator,
    Passed,
    Failed,
    Stopped
};

// One test socket at a glance: its number, the unit's ID, the current test case and step, the
// time since its run started and its state as a word in large, colour-coded text (the word is
// always there, the colour only repeats it). A click selects the socket; its Start button starts
// it; its Report button opens the error report it keeps.
class TSocketTile : public QFrame
{
    Q_OBJECT

public:
    TSocketTile(int iSocket, QWidget* aParent = nullptr);

    int Socket() const { return fiSocket; }

    // eState with the device a socket waits for (WaitingForDevice).
    void SetState(ESocketState eState, const QString& sDevice = QString());
    ESocketState State() const { return feState; }
    // "Ready", "Running", "Waiting for DMM", "Waiting for operator", "Passed", ...
    QString StateText() const;
    void SetUnitId(const QString& sId);
    // The case and step: shown at most ten times a second, since a run may pass thousands of steps
    // a second and laying out the text of each would slow every socket.
    void SetStep(const QString& sCase, const QString& sStep);
    // What the tile shows, or is about to show, as the current case and step.
    const QString& StepText() const { return fsStep; }
    // The run's clock: started by a run's start, stopped at its end; the text shows whole seconds.
    void StartClock();
    void StopClock();
    void ShowElapsed();
    void SetStartEnabled(bool bEnabled);
    void SetReportWaiting(bool bWaiting);
    void SetSelected(bool bSelected);
    bool Selected() const { return fbSelected; }

    QLabel* StateLabel() const { return fState; }
    QLabel* IdLabel() const { return fId; }
    QLabel* StepLabel() const { return fStep; }
    QLabel* ElapsedLabel() const { return fElapsed; }
    QPushButton* StartButton() const { return fStart; }
    QPushButton* ReportButton() const { return fReport; }

    static QString StateWord(ESocketState eState, const QString& sDevice);
    // The background of a state word.
    static QColor StateColour(ESocketState eState);

Q_SIGNALS:
    void Clicked(int iSocket);
    void StartClicked(int iSocket);
    void ReportClicked(int iSocket);

protected:
    void mousePressEvent(QMouseEvent* aEvent) override;

private:
    void ShowState();
    void ShowStep();

    int fiSocket;
    ESocketState feState = ESocketState::Ready;
    QString fsDevice;
    bool fbSelected = false;
    QElapsedTimer fClock;
    qint64 fiFrozenMs = -1; // the last run's time once it ended; -1 before any run
    QLabel* fNumber;
    QLabel* fId;
    QLabel* fStep;
    QString fsStep;
    QTimer fStepTimer;
    QLabel* fElapsed;
    QLabel* fState;
    QPushButton* fStart;
    QPushButton* fReport;
};

// The row of tiles, one per socket, scrolled sideways when they do not fit.
class TSocketStrip : public QFrame
{
    Q_OBJECT

public:
    TSocketStrip(int iSockets, QWidget* aParent = nullptr);

    int Count() const { return int(fTiles.size()); }
    // Socket iSocket's tile, 1 ... Count().
    TSocketTile* Tile(int iSocket) const { return fTiles.at(std::size_t(iSocket - 1)); }
    void SetSelected(int iSocket);

private:
    std::vector<TSocketTile*> fTiles;
    QScrollArea* fScroll;
};
