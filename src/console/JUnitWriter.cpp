#include "JUnitWriter.h"

#include "RunSummary.h"

#include "core/MsgClasses.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

QString Label(const TTreeNode* aNode)
{
    const QString& sText = aNode->Text();
    const int iBlank = sText.indexOf(QLatin1Char(' '));
    return iBlank < 0 ? sText : sText.mid(iBlank + 1);
}

// XML 1.0 cannot carry control characters, not even as references; device texts may hold them.
QString XmlSafe(const QString& sText)
{
    QString sResult;
    sResult.reserve(sText.size());
    for (const QChar c : sText) {
        const char16_t u = c.unicode();
        const bool bControl = u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r';
        if (bControl || u == 0xFFFE || u == 0xFFFF)
            sResult += QStringLiteral("\\%1").arg(int(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            sResult += c;
    }
    return sResult;
}

QString Seconds(qint64 iMilliseconds)
{
    return QString::number(double(iMilliseconds) / 1000.0, 'f', 3);
}

} // namespace

TJUnitWriter::TJUnitWriter(TProcessRunner& aRunner, const TTestTree& aTree, const QString& sFileName,
                           const QString& sSuiteName, QObject* aParent)
    : QObject(aParent), fRunner(aRunner), fTree(aTree), fsFileName(sFileName), fsSuiteName(sSuiteName)
{
    connect(&fRunner, &TProcessRunner::NodeStarted, this, &TJUnitWriter::NodeStarted);
    connect(&fRunner, &TProcessRunner::NodeFinished, this, &TJUnitWriter::NodeFinished);
    connect(&fRunner, &TProcessRunner::ProcessFinished, this, &TJUnitWriter::ProcessFinished);
}

QString TJUnitWriter::ClassName(const TTreeNode* aNode, const QString& sSuiteName)
{
    QStringList slLabels;
    for (const TTreeNode* p = aNode->Parent(); p; p = p->Parent())
        slLabels.prepend(Label(p));
    return slLabels.isEmpty() ? sSuiteName : slLabels.join(QLatin1Char('.'));
}

TJUnitWriter::TSuite& TJUnitWriter::CurrentSuite()
{
    if (!fbSuiteOpen) {
        fSuites.push_back(TSuite{QDateTime::currentDateTime(), 0, {}, {}});
        fSuiteTimer.start();
        fbSuiteOpen = true;
    }
    return fSuites.back();
}

void TJUnitWriter::NodeStarted(TTreeNode* aNode)
{
    CurrentSuite();
    fStartedNode = aNode;
    fNodeTimer.start();
}

void TJUnitWriter::NodeFinished(TTreeNode* aNode)
{
    TSuite& suite = CurrentSuite();
    if (!aNode || !aNode->Children().empty())
        return;
    TCase testCase;
    testCase.sClassName = ClassName(aNode, fsSuiteName);
    testCase.sName = aNode->Text();
    // A node stopped before it started has run for no time.
    testCase.iMilliseconds = aNode == fStartedNode ? fNodeTimer.elapsed() : 0;
    fStartedNode = nullptr;
    suite.run.insert(aNode);
    const TJob* pJob = aNode->Job();
    if (pJob && !pJob->Passed()) {
        testCase.bFailed = true;
        // The runner handles the operator's request after this signal, so it still tells.
        if (fRunner.OperatorRequest() == EOperatorRequest::Pause)
            testCase.sFailureType = QStringLiteral("Paused");
        else if (fRunner.OperatorRequest() == EOperatorRequest::Stop)
            testCase.sFailureType = QStringLiteral("Stopped");
        else
            testCase.sFailureType = QStringLiteral("Error");
        testCase.sMessage = pJob->ErrorText();
        if (testCase.sMessage.isEmpty())
            testCase.sMessage =
                testCase.sFailureType == QStringLiteral("Error")
                    ? QStringLiteral("Failed")
                    : QStringLiteral("Process %1 by user").arg(testCase.sFailureType.toLower());
    }
    suite.cases.push_back(testCase);
}

void TJUnitWriter::ProcessFinished(bool /*bPassed*/)
{
    TSuite& suite = CurrentSuite();
    for (const TTreeNode* pNode : TRunSummary::StepsNotRun(fTree, suite.run)) {
        TCase testCase;
        testCase.sClassName = ClassName(pNode, fsSuiteName);
        testCase.sName = pNode->Text();
        testCase.bSkipped = true;
        suite.cases.push_back(testCase);
    }
    suite.iMilliseconds = fSuiteTimer.elapsed();
    fbSuiteOpen = false;
    if (!Write())
        TMsg::Error(QStringLiteral("JUnit report not written: %s"), {fsLastError});
}

bool TJUnitWriter::Write()
{
    if (fCombinedWrite) {
        if (fCombinedWrite(fsLastError))
            return true;
        fbWriteFailed = true;
        return false;
    }
    if (!WriteCombined({this}, fsFileName, fsSuiteName, fsLastError)) {
        fbWriteFailed = true;
        return false;
    }
    return true;
}

bool TJUnitWriter::WriteCombined(const std::vector<TJUnitWriter*>& aWriters, const QString& sFileName,
                                 const QString& sName, QString& sError)
{
    int iTests = 0;
    int iFailures = 0;
    int iSkipped = 0;
    qint64 iMilliseconds = 0;
    for (TJUnitWriter* pWriter : aWriters) {
        if (pWriter->fbSuiteOpen)
            pWriter->fSuites.back().iMilliseconds = pWriter->fSuiteTimer.elapsed();
        for (const TSuite& suite : pWriter->fSuites) {
            iTests += int(suite.cases.size());
            for (const TCase& c : suite.cases) {
                iFailures += c.bFailed ? 1 : 0;
                iSkipped += c.bSkipped ? 1 : 0;
            }
            iMilliseconds += suite.iMilliseconds;
        }
    }

    QSaveFile file(sFileName);
    if (!file.open(QIODevice::WriteOnly)) {
        sError = sFileName + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), XmlSafe(sName));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(iTests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(iFailures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(iSkipped));
    xml.writeAttribute(QStringLiteral("time"), Seconds(iMilliseconds));
    for (const TJUnitWriter* pWriter : aWriters)
        pWriter->WriteSuites(xml);
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit()) {
        sError = sFileName + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

void TJUnitWriter::WriteSuites(QXmlStreamWriter& xml) const
{
    for (std::size_t i = 0; i < fSuites.size(); ++i) {
        const TSuite& suite = fSuites[i];
        int iSuiteFailures = 0;
        int iSuiteSkipped = 0;
        for (const TCase& c : suite.cases) {
            iSuiteFailures += c.bFailed ? 1 : 0;
            iSuiteSkipped += c.bSkipped ? 1 : 0;
        }
        xml.writeStartElement(QStringLiteral("testsuite"));
        const QString sName =
            i == 0 ? fsSuiteName : QStringLiteral("%1 (run %2)").arg(fsSuiteName).arg(i + 1);
        xml.writeAttribute(QStringLiteral("name"), XmlSafe(sName));
        xml.writeAttribute(QStringLiteral("tests"), QString::number(suite.cases.size()));
        xml.writeAttribute(QStringLiteral("failures"), QString::number(iSuiteFailures));
        xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("skipped"), QString::number(iSuiteSkipped));
        xml.writeAttribute(QStringLiteral("time"), Seconds(suite.iMilliseconds));
        xml.writeAttribute(QStringLiteral("timestamp"), suite.dtStart.toString(Qt::ISODate));
        for (const TCase& c : suite.cases) {
            xml.writeStartElement(QStringLiteral("testcase"));
            xml.writeAttribute(QStringLiteral("classname"), XmlSafe(c.sClassName));
            xml.writeAttribute(QStringLiteral("name"), XmlSafe(c.sName));
            xml.writeAttribute(QStringLiteral("time"), Seconds(c.iMilliseconds));
            if (c.bFailed) {
                xml.writeStartElement(QStringLiteral("failure"));
                xml.writeAttribute(QStringLiteral("type"), c.sFailureType);
                xml.writeAttribute(QStringLiteral("message"), XmlSafe(c.sMessage));
                xml.writeCharacters(XmlSafe(c.sMessage));
                xml.writeEndElement();
            } else if (c.bSkipped) {
                xml.writeEmptyElement(QStringLiteral("skipped"));
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
}
