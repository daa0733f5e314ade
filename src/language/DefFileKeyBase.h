#pragma once

#include <QString>

// Base of the keyword handlers a definition reader keeps in its keyword list. The reader owns
// them and lists each under its class name.
class TDefFileKeyBase
{
public:
    virtual ~TDefFileKeyBase() = default;

    // The name the handler is listed under in the reader's keyword list.
    virtual QString ClassName() const = 0;
};
