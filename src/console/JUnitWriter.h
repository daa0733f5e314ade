#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <set>
#include <vector>

class QXmlStreamWriter;
class TProcessRunner;
class TTestTree;
class TTreeNode;

// Writes the runs of a headless process as JUnit XML: one test suite per run, one test case per
// executed function node (a node without children) with the labels of its enclosing test cases
// joined by "." as class name and the node text as name; the function nodes a finished run did
// not execute follow as skipped cases. The file is written again whenever a run finishes, so it
// always holds every finished run.
class TJUnitWriter : public QObject
{
    Q_OBJECT

public:
    TJUnitWriter(TProcessRunner& aRunner, const TTestTree& aTree, const QString& sFileName,
                 const QString& sSuiteName, QObject* aParent = nullptr);

    // Writes all runs so far, an unfinished one included; false (with LastError) when the file
    // cannot be written.
    bool Write();
    // Writers that share one file (a station's sockets, one suite each): every write of one of them
    // calls aWrite instead, which writes them all with WriteCombined (or says why not in sError).
    void SetCombinedWrite(std::function<bool(QString& sError)> aWrite) { fCombinedWrite = std::move(aWrite); }
    // The runs of every writer of aWriters into one file sFileName named sName; false with sError
    // when it cannot be written.
    static bool WriteCombined(const std::vector<TJUnitWriter*>& aWriters, const QString& sFileName,
                              const QString& sName, QString& sError);
    const QString& LastError() const { return fsLastError; }
    // A write has failed since this object was created.
    bool WriteFailed() const { return fbWriteFailed; }

    // The class name of a node's test case: its ancestors' labels (texts without their number).
    static QString ClassName(const TTreeNode* aNode, const QString& sSuiteName);

private:
    struct TCase
    {
        QString sClassName;
        QString sName;
        qint64 iMilliseconds = 0;
        bool bFailed = false;
        bool bSkipped = false;
        QString sFailureType;
        QString sMessage;
    };
    struct TSuite
    {
        QDateTime dtStart;
        qint64 iMilliseconds = 0;
        std::vector<TCase> cases;
        std::set<const TTreeNode*> run;
    };

    void NodeStarted(TTreeNode* aNode);
    void NodeFinished(TTreeNode* aNode);
    void ProcessFinished(bool bPassed);
    TSuite& CurrentSuite();
    void WriteSuites(QXmlStreamWriter& xml) const;

    TProcessRunner& fRunner;
    const TTestTree& fTree;
    QString fsFileName;
    QString fsSuiteName;
    std::vector<TSuite> fSuites;
    bool fbSuiteOpen = false;
    QElapsedTimer fSuiteTimer;
    const TTreeNode* fStartedNode = nullptr;
    QElapsedTimer fNodeTimer;
    QString fsLastError;
    bool fbWriteFailed = false;
    std::function<bool(QString&)> fCombinedWrite;
};
