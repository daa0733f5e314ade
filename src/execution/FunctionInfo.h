#pragma once

#include <QString>

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
    Term                 // a term the command evaluates
};

// One function of a device type as its registration tells it: the name a definition line uses and
// its parameter fields, field 0 first (empty when the type does not describe them).
struct TFunctionInfo
{
    QString sName;
    std::vector<EParamField> Fields;

    // The kind of field iField; Text for a field the shape does not describe.
    EParamField Field(int iField) const
    {
        return iField >= 0 && std::size_t(iField) < Fields.size() ? Fields[std::size_t(iField)]
                                                                  : EParamField::Text;
    }
};
