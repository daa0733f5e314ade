#include "OperatorAnswers.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QFile>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

struct TButtonWord
{
    const char* sWord;
    EAnswerButton eButton;
};

constexpr TButtonWord cButtonWords[] = {
    {"yes", abYes}, {"no", abNo}, {"ok", abOk}, {"next", abNext}, {"cancel", abCancel}};

QString ButtonWord(EAnswerButton eButton)
{
    for (const TButtonWord& w : cButtonWords) {
        if (w.eButton == eButton)
            return QString::fromLatin1(w.sWord);
    }
    return QString();
}

QString KindName(EAnswerKind eKind)
{
    switch (eKind) {
    case akText:
        return QStringLiteral("a text");
    case akKey:
        return QStringLiteral("a key");
    case akButton:
        return QStringLiteral("a button");
    case akStopBox:
        return QStringLiteral("stop or nostop");
    }
    return QString();
}

QString Hint(EAnswerKind eKind, const std::vector<EAnswerButton>& aAllowed)
{
    switch (eKind) {
    case akText:
        return QString();
    case akKey:
        return QStringLiteral(" [Enter, Escape or a key name]");
    case akButton: {
        QStringList slWords;
        for (const EAnswerButton e : aAllowed)
            slWords.append(ButtonWord(e));
        return QStringLiteral(" [") + slWords.join(QLatin1Char('/')) + QLatin1Char(']');
    }
    case akStopBox:
        return QStringLiteral(" [stop/nostop]");
    }
    return QString();
}

bool Fits(const TOperatorAnswer& aAnswer, EAnswerKind eKind, const std::vector<EAnswerButton>& aAllowed)
{
    if (aAnswer.eKind != eKind)
        return false;
    if (eKind != akButton)
        return true;
    return std::find(aAllowed.begin(), aAllowed.end(), aAnswer.eButton) != aAllowed.end();
}

// A line without its line break (a file written on Windows keeps its CR otherwise).
QString WithoutLineBreak(QString sLine)
{
    while (sLine.endsWith(QLatin1Char('\n')) || sLine.endsWith(QLatin1Char('\r')))
        sLine.chop(1);
    return sLine;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Syntax

std::optional<int> TOperatorAnswers::KeyFromName(const QString& sName)
{
    const QString sTrimmed = sName.trimmed();
    if (sTrimmed.isEmpty())
        return std::nullopt;
    // The key that confirms: the main keyboard's Enter, which Qt calls Return.
    if (sTrimmed.compare(QStringLiteral("Enter"), Qt::CaseInsensitive) == 0)
        return int(Qt::Key_Return);
    const QString sQtName = sTrimmed.startsWith(QStringLiteral("Key_"), Qt::CaseInsensitive)
                                ? sTrimmed
                                : QStringLiteral("Key_") + sTrimmed;
    const QMetaEnum keys = QMetaEnum::fromType<Qt::Key>();
    for (int i = 0; i < keys.keyCount(); ++i) {
        if (sQtName.compare(QLatin1String(keys.key(i)), Qt::CaseInsensitive) == 0)
            return keys.value(i);
    }
    return std::nullopt;
}

QString TOperatorAnswers::KeyName(int iKey)
{
    if (iKey == Qt::Key_Return)
        return QStringLiteral("Enter");
    // "Enter" alone names the main Enter key, so the keypad's keeps its full name.
    if (iKey == Qt::Key_Enter)
        return QStringLiteral("Key_Enter");
    const char* sName = QMetaEnum::fromType<Qt::Key>().valueToKey(iKey);
    if (!sName)
        return QString::number(iKey);
    return QString::fromLatin1(sName).mid(4);
}

std::optional<TOperatorAnswer> TOperatorAnswers::ParseLine(const QString& sRawLine)
{
    const QString sLine = WithoutLineBreak(sRawLine);
    // "[Label] answer": the answer belongs to the question of that name.
    const QString sLead = sLine.trimmed();
    if (sLead.startsWith(QLatin1Char('['))) {
        const qsizetype iClose = sLead.indexOf(QLatin1Char(']'));
        const QString sLabel = iClose > 0 ? sLead.mid(1, iClose - 1).trimmed() : QString();
        if (!sLabel.isEmpty()) {
            const QString sRest = sLead.mid(iClose + 1);
            std::optional<TOperatorAnswer> answer =
                sRest.trimmed().isEmpty() ? std::nullopt : ParseLine(sRest.trimmed());
            if (!answer)
                throw EError(Format(QStringLiteral("No answer after the label \"[%s]\""), {sLabel}));
            if (!answer->sLabel.isEmpty())
                throw EError(Format(QStringLiteral("Two labels \"[%s]\" and \"[%s]\" for one answer"),
                                    {sLabel, answer->sLabel}));
            answer->sLabel = sLabel;
            return answer;
        }
    }
    TOperatorAnswer answer;
    answer.sText = sLine;
    if (sLine.startsWith(QLatin1Char('\\'))) {
        answer.sText = sLine.mid(1);
        return answer;
    }
    const QString sTrimmed = sLine.trimmed();
    if (sTrimmed.isEmpty() || sTrimmed.startsWith(QLatin1Char('#')))
        return std::nullopt;
    answer.sText = sTrimmed;
    if (sTrimmed.startsWith(QStringLiteral("key:"), Qt::CaseInsensitive)) {
        const QString sName = sTrimmed.mid(4).trimmed();
        const std::optional<int> iKey = KeyFromName(sName);
        if (!iKey)
            throw EError(Format(QStringLiteral("Unknown key name \"%s\""), {sName}));
        answer.eKind = akKey;
        answer.iKey = *iKey;
        return answer;
    }
    for (const TButtonWord& w : cButtonWords) {
        if (sTrimmed.compare(QLatin1String(w.sWord), Qt::CaseInsensitive) == 0) {
            answer.eKind = akButton;
            answer.eButton = w.eButton;
            return answer;
        }
    }
    for (const bool bStop : {true, false}) {
        if (sTrimmed.compare(bStop ? QStringLiteral("stop") : QStringLiteral("nostop"),
                             Qt::CaseInsensitive) == 0) {
            answer.eKind = akStopBox;
            answer.bStop = bStop;
            return answer;
        }
    }
    return answer;
}

TOperatorAnswers::EConsoleParse TOperatorAnswers::ParseConsoleLine(const QString& sRawLine, EAnswerKind eKind,
                                                                   TOperatorAnswer& aAnswer)
{
    const QString sLine = WithoutLineBreak(sRawLine);
    const QString sTrimmed = sLine.trimmed();
    aAnswer = TOperatorAnswer();
    aAnswer.sText = sTrimmed;
    switch (eKind) {
    case akText:
        // A typed line is the text, whatever it looks like.
        aAnswer.eKind = akText;
        return cpAnswer;
    case akKey: {
        aAnswer.eKind = akKey;
        if (sTrimmed.isEmpty()) {
            aAnswer.iKey = Qt::Key_Return;
            return cpAnswer;
        }
        const QString sName =
            sTrimmed.startsWith(QStringLiteral("key:"), Qt::CaseInsensitive) ? sTrimmed.mid(4) : sTrimmed;
        const std::optional<int> iKey = KeyFromName(sName);
        if (!iKey)
            return cpInvalid;
        aAnswer.iKey = *iKey;
        return cpAnswer;
    }
    case akButton:
    case akStopBox:
        if (sTrimmed.isEmpty())
            return cpDefault;
        try {
            const std::optional<TOperatorAnswer> answer = ParseLine(sTrimmed);
            if (answer && answer->eKind == eKind) {
                aAnswer = *answer;
                return cpAnswer;
            }
        } catch (const EError&) {
        }
        return cpInvalid;
    }
    return cpInvalid;
}

TOperatorAnswers::EConsoleParse
TOperatorAnswers::ParseConsoleAnswer(const QString& sLine, EAnswerKind eKind,
                                     const std::vector<EAnswerButton>& aAllowed, TOperatorAnswer& aAnswer)
{
    const EConsoleParse eParse = ParseConsoleLine(sLine, eKind, aAnswer);
    if (eParse == cpAnswer && !Fits(aAnswer, eKind, aAllowed))
        return cpInvalid;
    return eParse;
}

QString TOperatorAnswers::ConsolePrompt(const QString& sQuestion, EAnswerKind eKind,
                                        const std::vector<EAnswerButton>& aAllowed)
{
    return sQuestion + Hint(eKind, aAllowed) + QStringLiteral(": ");
}

QString TOperatorAnswers::ConsoleRetry(EAnswerKind eKind)
{
    return QStringLiteral("Please answer with ") + KindName(eKind) + QLatin1Char('.');
}

// ---------------------------------------------------------------------------------------------
// Sources

TOperatorAnswers TOperatorAnswers::FromText(const QString& sText, const QString& sSourceName)
{
    TOperatorAnswers answers;
    answers.feSource = asList;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList slLines = sText.split(lineBreak);
    if (!slLines.isEmpty() && slLines.first().startsWith(QChar(0xFEFF)))
        slLines.first().remove(0, 1);
    for (int i = 0; i < slLines.size(); ++i) {
        try {
            std::optional<TOperatorAnswer> answer = ParseLine(slLines.at(i));
            if (!answer)
                continue;
            answer->iLine = i + 1;
            answers.fAnswers.push_back(*answer);
            answers.fTaken.push_back(false);
        } catch (const EError& e) {
            throw EError(Format(QStringLiteral("%s, line %d: %s"), {sSourceName, i + 1, e.Message()}));
        }
    }
    return answers;
}

TOperatorAnswers TOperatorAnswers::FromFile(const QString& sFileName)
{
    QFile file(sFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EError(Format(QStringLiteral("Cannot read the answers file \"%s\": %s"),
                            {sFileName, file.errorString()}));
    return FromText(QString::fromUtf8(file.readAll()), sFileName);
}

TOperatorAnswers TOperatorAnswers::Console(int iInputFd, QTextStream& aPrompt)
{
    TOperatorAnswers answers;
    answers.feSource = asConsole;
    answers.fiInputFd = iInputFd;
    answers.fPrompt = &aPrompt;
    return answers;
}

int TOperatorAnswers::Remaining() const
{
    if (feSource != asList || fbListEnded)
        return 0;
    return int(std::count(fTaken.begin() + std::ptrdiff_t(fiNext), fTaken.end(), false));
}

const TOperatorAnswer* TOperatorAnswers::NextAnswer() const
{
    // fiNext is never a taken answer.
    return Remaining() > 0 ? &fAnswers[fiNext] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Questions

std::optional<QString> TOperatorAnswers::AskText(const QString& sQuestion, const QStringList& slNames)
{
    const std::optional<TOperatorAnswer> answer = Take(akText, sQuestion, {}, slNames);
    if (!answer)
        return std::nullopt;
    return answer->sText;
}

std::optional<int> TOperatorAnswers::AskKey(const QString& sQuestion, const QStringList& slNames)
{
    const std::optional<TOperatorAnswer> answer = Take(akKey, sQuestion, {}, slNames);
    if (!answer)
        return std::nullopt;
    return answer->iKey;
}

std::optional<EAnswerButton> TOperatorAnswers::AskButton(const QString& sQuestion,
                                                         const std::vector<EAnswerButton>& aAllowed,
                                                         const QStringList& slNames)
{
    const std::optional<TOperatorAnswer> answer = Take(akButton, sQuestion, aAllowed, slNames);
    if (!answer)
        return std::nullopt;
    return answer->eButton;
}

std::optional<bool> TOperatorAnswers::AskStopBox(const QString& sQuestion)
{
    const std::optional<TOperatorAnswer> answer = Take(akStopBox, sQuestion, {}, {});
    if (!answer)
        return std::nullopt;
    return answer->bStop;
}

std::optional<QString> TOperatorAnswers::AskInput(const QString& sQuestion, const QString& sDefault,
                                                  const QStringList& slNames)
{
    fbInterrupted = false;
    if (feSource != asList)
        return AskText(sQuestion, slNames);
    const std::optional<TOperatorAnswer> answer = TakeInputFromList(sQuestion, slNames);
    if (!answer)
        return std::nullopt;
    return answer->eKind == akButton ? sDefault : answer->sText;
}

std::optional<TOperatorAnswer> TOperatorAnswers::Take(EAnswerKind eKind, const QString& sQuestion,
                                                      const std::vector<EAnswerButton>& aAllowed,
                                                      const QStringList& slNames)
{
    fbInterrupted = false;
    switch (feSource) {
    case asNone:
        return std::nullopt;
    case asList:
        return TakeFromList(eKind, sQuestion, aAllowed, slNames);
    case asConsole:
        return TakeFromConsole(eKind, sQuestion, aAllowed);
    }
    return std::nullopt;
}

namespace {

// A label names a question without regard to case, blanks around it or a closing ":" or "?".
QString NormalizedName(const QString& sName)
{
    QString s = sName.trimmed();
    while (s.endsWith(QLatin1Char(':')) || s.endsWith(QLatin1Char('?')))
        s.chop(1);
    return s.trimmed().toCaseFolded();
}

bool NamesQuestion(const QString& sLabel, const QString& sQuestion, const QStringList& slNames)
{
    const QString sWanted = NormalizedName(sLabel);
    if (sWanted == NormalizedName(sQuestion))
        return true;
    return std::any_of(slNames.begin(), slNames.end(),
                       [&sWanted](const QString& sName) { return NormalizedName(sName) == sWanted; });
}

} // namespace

std::optional<std::size_t> TOperatorAnswers::FindListAnswer(const QString& sQuestion,
                                                            const QStringList& slNames)
{
    for (std::size_t i = fiNext; i < fAnswers.size(); ++i) {
        if (!fTaken[i] && !fAnswers[i].sLabel.isEmpty() &&
            NamesQuestion(fAnswers[i].sLabel, sQuestion, slNames)) {
            SkipListAnswersBefore(i);
            return i;
        }
    }
    for (std::size_t i = fiNext; i < fAnswers.size(); ++i) {
        if (!fTaken[i] && fAnswers[i].sLabel.isEmpty())
            return i;
    }
    return std::nullopt;
}

// The answers before a labelled one belong to questions that were not asked (a failure skipped
// them): they are dropped with a note, so that later questions do not take them.
void TOperatorAnswers::SkipListAnswersBefore(std::size_t iIndex)
{
    for (std::size_t i = fiNext; i < iIndex; ++i) {
        if (fTaken[i])
            continue;
        fTaken[i] = true;
        TMsg::Info(QStringLiteral("Answer line %d \"%s\" skipped: its question was not asked"),
                   {fAnswers[i].iLine, fAnswers[i].sText});
    }
}

std::optional<TOperatorAnswer> TOperatorAnswers::TakeFromList(EAnswerKind eKind, const QString& sQuestion,
                                                              const std::vector<EAnswerButton>& aAllowed,
                                                              const QStringList& slNames)
{
    if (fbListEnded)
        return std::nullopt;
    const std::optional<std::size_t> iIndex = FindListAnswer(sQuestion, slNames);
    if (!iIndex)
        return std::nullopt;
    fTaken[*iIndex] = true;
    while (fiNext < fAnswers.size() && fTaken[fiNext])
        ++fiNext;
    const TOperatorAnswer& answer = fAnswers[*iIndex];
    if (!Fits(answer, eKind, aAllowed)) {
        fbListEnded = true;
        fbEndedAfterFailure = fFailed && fFailed();
        TMsg::Error(QStringLiteral("Answer line %d \"%s\" is no answer to \"%s\" (%s expected); "
                                   "the answers end here"),
                    {answer.iLine, answer.sText, sQuestion,
                     eKind == akButton ? Hint(eKind, aAllowed).trimmed() : KindName(eKind)});
        return std::nullopt;
    }
    return answer;
}

std::optional<TOperatorAnswer> TOperatorAnswers::TakeInputFromList(const QString& sQuestion,
                                                                   const QStringList& slNames)
{
    const std::optional<std::size_t> iIndex = fbListEnded ? std::nullopt : FindListAnswer(sQuestion, slNames);
    // An input box has a text field and the buttons OK and Cancel.
    const bool bButton = iIndex && fAnswers[*iIndex].eKind == akButton &&
                         (fAnswers[*iIndex].eButton == abOk || fAnswers[*iIndex].eButton == abCancel);
    return bButton ? TakeFromList(akButton, sQuestion, {abOk, abCancel}, slNames)
                   : TakeFromList(akText, sQuestion, {}, slNames);
}

void TOperatorAnswers::Prompt(const QString& sQuestion, EAnswerKind eKind)
{
    if (fPrompt) {
        *fPrompt << sQuestion << Hint(eKind, {}) << QStringLiteral(": ");
        fPrompt->flush();
    }
}

std::optional<TOperatorAnswer> TOperatorAnswers::TakeFromConsole(EAnswerKind eKind, const QString& sQuestion,
                                                                 const std::vector<EAnswerButton>& aAllowed)
{
    for (;;) {
        if (fPrompt) {
            *fPrompt << ConsolePrompt(sQuestion, eKind, aAllowed);
            fPrompt->flush();
        }
        QString sLine;
        switch (ReadLine(sLine)) {
        case rrEnd:
            return std::nullopt;
        case rrInterrupted:
            fbInterrupted = true;
            if (fPrompt)
                *fPrompt << Qt::endl;
            return std::nullopt;
        case rrLine:
            break;
        }
        TOperatorAnswer answer;
        switch (ParseConsoleAnswer(sLine, eKind, aAllowed, answer)) {
        case cpAnswer:
            return answer;
        case cpDefault:
            return std::nullopt;
        case cpInvalid:
            break;
        }
        if (fPrompt)
            *fPrompt << ConsoleRetry(eKind) << Qt::endl;
    }
}

// ---------------------------------------------------------------------------------------------
// Console input

std::optional<QString> TOperatorAnswers::TakeLine()
{
    const int iEnd = faInput.indexOf('\n');
    if (iEnd < 0) {
        if (!fbInputEnded || faInput.isEmpty())
            return std::nullopt;
        // The last line of an input without a final line break.
        const QString sLine = QString::fromUtf8(faInput);
        faInput.clear();
        return sLine;
    }
    const QString sLine = QString::fromUtf8(faInput.left(iEnd));
    faInput.remove(0, iEnd + 1);
    return sLine;
}

bool TOperatorAnswers::ReadAvailable()
{
    if (fbInputEnded || fiInputFd < 0) {
        fbInputEnded = true;
        return false;
    }
    // Never blocks: the event loop calls this, too.
    pollfd fd = {fiInputFd, POLLIN, 0};
    if (::poll(&fd, 1, 0) == 0)
        return true;
    char aBuffer[4096];
    for (;;) {
        const ssize_t iRead = ::read(fiInputFd, aBuffer, sizeof aBuffer);
        if (iRead > 0) {
            faInput.append(aBuffer, qsizetype(iRead));
            return true;
        }
        if (iRead < 0 && errno == EINTR)
            continue;
        if (iRead < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        fbInputEnded = true;
        return false;
    }
}

TOperatorAnswers::EReadResult TOperatorAnswers::ReadLine(QString& sLine)
{
    for (;;) {
        if (const std::optional<QString> s = TakeLine()) {
            sLine = *s;
            return rrLine;
        }
        if (fbInputEnded || fiInputFd < 0)
            return rrEnd;
        pollfd fds[2] = {{fiInputFd, POLLIN, 0}, {fiInterruptFd, POLLIN, 0}};
        const nfds_t iCount = fiInterruptFd >= 0 ? 2 : 1;
        if (::poll(fds, iCount, -1) < 0) {
            // A signal: its handler has written to the interrupt pipe, the next poll sees it.
            if (errno == EINTR)
                continue;
            fbInputEnded = true;
            return rrEnd;
        }
        // The interrupt is left in the pipe for the event loop; here it only ends the question.
        if (iCount == 2 && (fds[1].revents & POLLIN))
            return rrInterrupted;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
            ReadAvailable();
    }
}
