#pragma once

#include <QString>
#include <QStringList>

class QTextStream;
class TInterpreterBase;

// The lines of a loaded definition that the keyword pass gets to see, each as
// "file, line: text"; blank and blanked lines are left out. Starts from the first line.
QStringList PreprocessListing(TInterpreterBase& aReader);

// Exit statuses of the headless runner.
constexpr int ciExitOk = 0;
constexpr int ciExitLoadError = 2;
constexpr int ciExitUsage = 4;

// Loads sFileName (made absolute) with the definition reader and writes its listing to aOut, one
// line each. A load error writes the error's message to aErr. Returns the exit status.
int PreprocessFile(const QString& sFileName, QTextStream& aOut, QTextStream& aErr);
