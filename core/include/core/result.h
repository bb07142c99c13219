#pragma once

#include <QString>
#include <optional>
#include <utility>

namespace tollvik {

// The one shape of every fallible call: a value, or a failure with the reason as text. A call
// that has a log sink has already logged its line when it fails; the text is for callers that
// report elsewhere (a command line, a test).

// What kind of failure it was, for callers that react differently to each.
enum class Refusal
{
    Failed,    // the reason is in error()
    SameFile,  // the chosen file is the working copy itself: a slip of the user's, not of the file
    Cancelled, // the user cancelled a dialog: nothing logged
    Busy,      // the work cannot start now; nothing changed, and it may be asked again later
};

struct Failure
{
    QString error;
    Refusal kind = Refusal::Failed;
};

template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_failure(std::move(failure)) {}

    [[nodiscard]] bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    [[nodiscard]] const T& value() const& { return *m_value; }
    [[nodiscard]] T& value() & { return *m_value; }
    [[nodiscard]] T&& value() && { return std::move(*m_value); }
    const T* operator->() const { return &*m_value; }
    T* operator->() { return &*m_value; }

    [[nodiscard]] const QString& error() const { return m_failure.error; }
    [[nodiscard]] Refusal refusal() const { return m_failure.kind; }
    [[nodiscard]] const Failure& failure() const { return m_failure; }

private:
    std::optional<T> m_value;
    Failure m_failure;
};

template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : m_ok(false), m_failure(std::move(failure)) {}

    [[nodiscard]] bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }

    [[nodiscard]] const QString& error() const { return m_failure.error; }
    [[nodiscard]] Refusal refusal() const { return m_failure.kind; }
    [[nodiscard]] const Failure& failure() const { return m_failure; }

private:
    bool m_ok = true;
    Failure m_failure;
};

using Status = Result<void>;

// A failure with its reason: `return fail(QStringLiteral("..."));`
[[nodiscard]] inline Failure fail(QString why, Refusal kind = Refusal::Failed)
{
    return Failure{std::move(why), kind};
}

} // namespace tollvik
