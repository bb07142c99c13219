#pragma once

#include <QStringList>

class QTextStream;

namespace tollvik::cli {

// Exit codes of the command line.
enum ExitCode : int
{
    kOk = 0,
    kNotRecognised = 1, // identify: the file is no known navigator build
    kRefused = 2,       // a wrong call or a refusal: one line on standard error, nothing written
};

// Runs one command. `arguments` are those after the program name; `out` receives the result
// and the progress lines, `err` the refusals.
[[nodiscard]] int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace tollvik::cli
