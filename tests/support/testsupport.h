#pragma once

#include "core/logsink.h"

#include <QByteArray>
#include <QDir>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Set in AddressSanitizer builds, whose shadow memory an address-space limit breaks.
#if defined(__SANITIZE_ADDRESS__)
#define TOLLVIK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLLVIK_ASAN 1
#endif
#endif

namespace tollvik::test {

// A log sink that keeps every line, for comparing logs exactly.
class RecordingLog : public LogSink
{
public:
    void AddText(const QString& text) override { lines.append(text); }
    QStringList lines;
};

// A program folder in a temporary directory, with Temp/ and Modified/ beside it.
class ProgramFolder
{
public:
    ProgramFolder()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("Temp"));
        QDir(m_dir.path()).mkpath(QStringLiteral("Modified"));
    }
    // The folder with its trailing separator, as the program forms paths from it.
    [[nodiscard]] QString path() const;
    QString file(const QString& rel) const { return path() + QDir::toNativeSeparators(rel); }
    QString temp(const QString& n = {}) const { return file(QStringLiteral("Temp/") + n); }
    QString modified(const QString& n = {}) const { return file(QStringLiteral("Modified/") + n); }

private:
    QTemporaryDir m_dir;
};

// Whole content of a file; an empty array when it cannot be read.
[[nodiscard]] QByteArray readAll(const QString& path);
// Writes a file, creating folders on the way; fails the calling test on error.
bool writeAll(const QString& path, const QByteArray& data);

// Every file and folder below a folder, by path relative to it, with its content: compared
// before and after a refusal, it shows that nothing was written, removed or left behind.
[[nodiscard]] QMap<QString, QByteArray> filesUnder(const QString& folder);

// A real Ogg Vorbis stream of a sine tone, encoded with libvorbisenc.
[[nodiscard]] QByteArray makeOggSine(double frequencyHz = 440.0, double seconds = 0.5,
                                     int sampleRate = 22050, int channels = 1,
                                     double amplitude = 0.5);

// Applies the address-space limit of the hostile inputs' tests to this process (1 GB), which
// the programs it starts inherit; not in AddressSanitizer builds, which ask the sanitizer for a
// resident-memory limit instead.
[[nodiscard]] bool limitAddressSpace(); // false when it cannot be set

} // namespace tollvik::test
