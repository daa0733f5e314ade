#pragma once

#include "language/InterpreterHost.h"

#include <QString>

// Loads without a window for a benchmark: no questions, no key assignments, no error report.
class TBenchLoadHost : public IInterpreterHost
{
public:
    bool SkipErrors() const override { return false; }
    void SetFileInfo(const QString&, const QString&) override {}
    bool AssignKey(int, const QString&) override { return true; }
    void SetDefaultDocument(const QString&) override {}
    TErrorReport* ErrorReport() override { return nullptr; }
};
