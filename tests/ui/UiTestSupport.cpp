#include "UiTestSupport.h"

#include "TestEnvironment.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

bool RunUntil(const std::function<bool()>& aDone, int iTimeoutMs)
{
    return RunEventsUntil(aDone, iTimeoutMs);
}

TModalCloser::TModalCloser(TAction aAction) : fTimer(new QTimer()), fAction(std::move(aAction))
{
    fTimer->setInterval(20);
    QObject::connect(fTimer, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || fBusy.contains(modal))
            return;
        fBusy.insert(modal);
        ++fiClosed;
        QPointer<QWidget> guard(modal);
        QTimer::singleShot(0, [this, modal, guard] {
            if (guard) {
                if (fAction)
                    fAction(modal);
                else if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
            }
            fBusy.remove(modal);
        });
    });
    fTimer->start();
}

TModalCloser::~TModalCloser()
{
    delete fTimer;
}
