#pragma once

#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

// What one field of a function's parameter text holds, as far as a reader of a definition (the
// editor, the lint) needs to know it without making a device.
enum class EParamField : std::uint8_t
{
    Text,                // a text; "%name" references are replaced when the step runs
    Label,               // the step's label, with its optional value-log column (field 0)
    Number,              // a number
    NumberFormat,        // a number format: its "%" is no variable reference
    Variable,            // the name of a declared variable
    TestCase,            // the label of a test case, as written
    TestCaseOrReference, // the label of a test case, or a reference known only when the step runs
    Condition,           // a quoted condition the command evaluates
    Term,                // a term the command evaluates
    File,                // a file name; "TZD:" stands for the definition's folder
    Choice,              // one of the words the function knows (ButtonOk, Enabled, ...)
    More                 // the field before it repeats, as often as the line gives it
};

// One function of a device type as its registration tells it: the name a definition line uses and
// its parameter fields, field 0 first (empty when the type does not describe them).
struct TFunctionInfo
{
    QString sName;
    std::vector<EParamField> Fields;

    // The kind of field iField; Text for a field the shape does not describe. The field before a
    // "More" stands for every field from there on.
    EParamField Field(int iField) const
    {
        if (iField < 0)
            return EParamField::Text;
        const std::size_t iMore =
            std::size_t(std::find(Fields.begin(), Fields.end(), EParamField::More) - Fields.begin());
        if (std::size_t(iField) < iMore)
            return Fields[std::size_t(iField)];
        return iMore < Fields.size() && iMore > 0 ? Fields[iMore - 1] : EParamField::Text;
    }
};
