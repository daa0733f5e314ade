#pragma once

#include <QString>

// Hands the program over to another definition file (the OpenTZD step). The program remembers the
// request and carries it out after the current event: it releases the loaded definition with its
// devices and commands, loads the new one and, with bAutoStart, runs it.
class IDefinitionOpener
{
public:
    virtual ~IDefinitionOpener() = default;
    virtual void InitNewDefFile(const QString& sFileName, bool bAutoStart) = 0;
};
