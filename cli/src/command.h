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
#include <utility>

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

// Prints each line as the next one arrives, so that the last one can be held back: a refusal
// that its callee logged goes to standard error alone (see refuseHeld), never to both streams.
class HeldBackLog : public LogSink
{
public:
    explicit HeldBackLog(QTextStream& stream) : m_stream(stream) {}
    void AddText(const QString& text) override
    {
        flush();
        m_held = text;
    }
    void flush()
    {
        if (!m_held.isNull())
            m_stream << m_held << Qt::endl;
        m_held = QString();
    }
    // The line held back, which is then not printed.
    QString take() { return std::exchange(m_held, QString()); }

private:
    QTextStream& m_stream;
    QString m_held;
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

// Refuses with the failure of a call that logged into `log`: its last line, when it is the
// refusal, goes to standard error alone; the lines before it stay on standard output.
int refuseHeld(const Call& call, HeldBackLog& log, const Failure& failure);

// The one check of every command's files, made before any of them is read: `inputs` are all the
// files the command reads, `output` (when not empty) the file it writes. Refuses "-" (standard
// input and output are not used), an input that is no regular file (a FIFO, a device, a socket,
// a folder: asked with stat, never opened), and an output that is one of the inputs by whatever
// route or that exists and is no regular file.
[[nodiscard]] Status checkFiles(const QStringList& inputs, const QString& output = {});

// Writes a result file whole or not at all, never onto one of the inputs nor onto a special
// file; first removes what a killed run left in the output's folder.
[[nodiscard]] Status writeOutput(const QString& path, const QByteArray& bytes,
                                 const QStringList& inputs);

// The limits of what the command line reads, checked from stat and the first bytes before a
// file is read whole: real archives are a few megabytes with under 200 entries.
constexpr qint64 kSettingsLimitBytes = 1024 * 1024;
// The archive's limits, checked before it is read, with the path in the refusal.
[[nodiscard]] Status checkArchiveLimitsOf(const QString& path);

// A slot number from the command line: 1..30.
[[nodiscard]] Result<int> slotNumber(const QString& text);

// The targets of the 30 slots of the archive at `archive`, and of one slot (1..30).
using SlotTargets = std::array<convert::Target, kSlotCount>;
[[nodiscard]] Result<SlotTargets> targetsOf(const QString& archive);
[[nodiscard]] Result<convert::Target> targetLikeSlot(const QString& archive, int slot);

// The refusal of a group's (chk, device) unknown or missing command, naming the word; or the
// group's usage on standard output for --help.
int refuseUnknown(const Call& call, const QString& group, const QString& commands);

int identifyCommand(const Call& call);
int patchCommand(const Call& call);
int chkCommand(const Call& call);
int convertCommand(const Call& call);
int speakCommand(const Call& call);
int deviceCommand(const Call& call);

} // namespace tollvik::cli
