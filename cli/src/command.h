#pragma once

#include "cli/cli.h"
#include "convert/convert.h"
#include "core/logsink.h"
#include "core/result.h"
#include "core/slots.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace tollvik::cli {

// What every command gets: its arguments and the two streams.
struct Call
{
    QStringList arguments; // after the command's own name
    QTextStream& out;
    QTextStream& err;
};

// A log sink that prints each line on a stream.
class StreamLog : public LogSink
{
public:
    explicit StreamLog(QTextStream& stream) : m_stream(stream) {}
    void AddText(const QString& text) override { m_stream << text << Qt::endl; }

private:
    QTextStream& m_stream;
};

// A log sink that drops every line: for calls whose result is wanted, not their lines.
class QuietLog : public LogSink
{
public:
    void AddText(const QString&) override {}
};

// Parses the command's arguments. Prints the help and returns false for --help (with `helped`
// set), prints one line and returns false for a wrong call.
struct ParsedCall
{
    bool ok = false;
    bool helped = false;

    // The exit code of a call that was not parsed: a help is no refusal.
    [[nodiscard]] int exitCode() const { return helped ? kOk : kRefused; }
};
[[nodiscard]] ParsedCall parseCall(QCommandLineParser& parser, const Call& call,
                                   const QString& usage, qsizetype positionals);

// The -o/--output option of a command that writes one file, described as `what`.
[[nodiscard]] QCommandLineOption outputOption(const QString& what);

// An N=VALUE argument of `option` (such as --slot N=SOUND): slot N from 1 to 30, and the value.
struct SlotAssignment
{
    int slot = 0; // 1..30
    QString value;
};
[[nodiscard]] Result<SlotAssignment> slotAssignment(const QString& argument, const QString& option,
                                                    const QString& valueName);

// Prints the refusal and gives the exit code for it.
int refuse(const Call& call, const QString& why);
int refuse(const Call& call, const Failure& failure);

// Writes a result file whole or not at all, never onto one of the inputs.
[[nodiscard]] Status writeOutput(const QString& path, const QByteArray& bytes,
                                 const QStringList& inputs);

// A slot number from the command line: 1..30.
[[nodiscard]] Result<int> slotNumber(const QString& text);

// The targets of the 30 slots of the archive at `archive`, and of one slot (1..30).
using SlotTargets = std::array<convert::Target, kSlotCount>;
[[nodiscard]] Result<SlotTargets> targetsOf(const QString& archive);
[[nodiscard]] Result<convert::Target> targetLikeSlot(const QString& archive, int slot);

int identifyCommand(const Call& call);
int patchCommand(const Call& call);
int chkCommand(const Call& call);
int convertCommand(const Call& call);
int speakCommand(const Call& call);
int deviceCommand(const Call& call);

} // namespace tollvik::cli
