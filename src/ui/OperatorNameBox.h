#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Asks for the operator's name until a non-blank one is given; cancelling keeps the previous name,
// and without one the question is asked again after the error box.
class TOperatorNameBox
{
public:
    // The question itself: the answer, or none when the operator cancelled.
    using TInput = std::function<std::optional<QString>(const QString& sDefault)>;
    using TError = std::function<void(const QString& sText)>;
    // True when nobody can answer any more (the program is ending): Ask then returns an empty name.
    using TGiveUp = std::function<bool()>;

    static QString Ask(const QString& sCurrent, const TInput& aInput, const TError& aError,
                       const TGiveUp& aGiveUp = nullptr);

    // The standard input box: caption "Operator", prompt "Enter Name".
    static std::optional<QString> InputBox(QWidget* aParent, const QString& sDefault);
};
