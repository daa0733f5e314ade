// Reads arbitrary answers files and takes their answers as a run's questions would. Aborts when
// an answer is lost or its kind changes on the way.

#include "FuzzSupport.h"

#include "console/OperatorAnswers.h"
#include "core/MsgExceptions.h"

#include <QRegularExpression>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QString sText = FuzzText(pData, nSize);
    TOperatorAnswers answers;
    try {
        answers = TOperatorAnswers::FromText(sText, QStringLiteral("fuzz.txt"));
    } catch (const EError& e) {
        FuzzCheck(e.Message().startsWith(QStringLiteral("fuzz.txt, line ")), "the error names the line");
        return 0;
    }

    // The same lines one by one give the answers in file order.
    std::vector<TOperatorAnswer> expected;
    QStringList lines = sText.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    if (!lines.isEmpty() && lines.first().startsWith(QChar(0xFEFF)))
        lines.first().remove(0, 1);
    for (const QString& sLine : lines) {
        if (std::optional<TOperatorAnswer> answer = TOperatorAnswers::ParseLine(sLine))
            expected.push_back(*answer);
    }
    FuzzCheck(answers.Remaining() == int(expected.size()), "every answer line is kept");

    const std::vector<EAnswerButton> allButtons = {abYes, abNo, abOk, abNext, abCancel};
    for (const TOperatorAnswer& want : expected) {
        switch (want.eKind) {
        case akText:
            FuzzCheck(answers.AskText(QStringLiteral("Name?")) == want.sText, "text answer");
            break;
        case akKey: {
            const std::optional<int> iKey = answers.AskKey(QStringLiteral("Key?"));
            FuzzCheck(iKey == want.iKey, "key answer");
            const std::optional<int> iAgain = TOperatorAnswers::KeyFromName(TOperatorAnswers::KeyName(*iKey));
            FuzzCheck(iAgain == iKey, "a key's name gives the key");
            break;
        }
        case akButton:
            FuzzCheck(answers.AskButton(QStringLiteral("Button?"), allButtons) == want.eButton,
                      "button answer");
            break;
        case akStopBox:
            FuzzCheck(answers.AskStopBox(QStringLiteral("Stop?")) == want.bStop, "stop box answer");
            break;
        }
    }
    FuzzCheck(answers.Remaining() == 0, "every answer taken");
    FuzzCheck(!answers.AskText(QStringLiteral("More?")), "no answer after the last");

    // A console line of each kind parses without raising.
    for (const QString& sLine : lines) {
        for (const EAnswerKind eKind : {akText, akKey, akButton, akStopBox}) {
            TOperatorAnswer answer;
            TOperatorAnswers::ParseConsoleLine(sLine, eKind, answer);
        }
    }
    return 0;
}
