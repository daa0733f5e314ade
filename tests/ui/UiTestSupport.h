#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <QSet>

#include <functional>

class QTimer;

// Runs the event loop until aDone holds; false after the bound instead of hanging.
bool RunUntil(const std::function<bool()>& aDone, int iTimeoutMs = 5000);

// Answers every modal window that opens while it lives: runs aAction on it (which must close it,
// by a button or otherwise), or rejects it without an action. The action runs outside the timer
// so that a modal window it opens in turn is answered too.
class TModalCloser
{
public:
    using TAction = std::function<void(QWidget* aModal)>;
    explicit TModalCloser(TAction aAction = nullptr);
    ~TModalCloser();

    int Closed() const { return fiClosed; }

private:
    QTimer* fTimer;
    TAction fAction;
    int fiClosed = 0;
    QSet<QWidget*> fBusy;
};
