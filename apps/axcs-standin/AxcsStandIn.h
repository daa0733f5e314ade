#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QTimer>

// A small automation server for the AXCC device: the object /org/tzk/Axcs with the interface
// org.tzk.Axcs under the well-known name org.tzk.Axcs. A function call is a word and an argument
// text, separated by a blank:
//
//   Echo <text>              finishes at once with <text>
//   Later <ms> <text>        started; FunctionResult(0, <text>) after <ms>
//   Ask <request>            started; asks the caller with Notify(<request>) and finishes with the
//                            answer ("AGREED", "REJECTED"); after "ERROR" it waits to be cancelled
//   AskLimited <ms> <request>  as Ask, but finishes with "Expired" after <ms> if no answer came
//   Hang                     started and never finishes on its own (only CancelFunction ends it)
//   Fail <code> [<text>]     returns the negative <code> with <text>
//
// Functions that finish later obey the time limit of SetTimeout (Hang excepted): past it they
// finish with -3 "Timeout". One function runs at a time; a call meanwhile returns -2 "Busy". A
// cancelled function reports -4 "Cancelled" through FunctionResult.
class TAxcsStandIn : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tzk.Axcs")

public:
    explicit TAxcsStandIn(QDBusConnection aBus);

public Q_SLOTS:
    QString GetInfo();
    void SetTimeout(int interval);
    int ExecuteFunction(const QString& functionCall, QString& functionResult);
    void CancelFunction();
    uint GetCurrentIds(uint& threadId);
    QString GetLastErrorMsg();
    void ResetLastError();

Q_SIGNALS:
    void FunctionResult(int returnCode, const QString& functionResult);

private:
    // Starts a function that finishes later; returns its positive code.
    int Started();
    void Finish(int iCode, const QString& sResult);
    int Refuse(int iCode, const QString& sText, QString& sResult);
    void Ask(const QString& sRequest);

    QDBusConnection fBus;
    QString fsCaller; // unique name of the client whose function runs
    QTimer fLimit;    // the time limit of the running function
    QTimer fLater;    // the planned end of Later and AskLimited
    QString fsLaterResult;
    bool fbRunning = false;
    quint64 fiJob = 0; // the running function; answers for an older one are dropped
    int fiTimeout = 10000;
    QString fsLastError;
};
