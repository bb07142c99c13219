#pragma once

// What the harnesses share besides the tests' generators: a reader of the input's fields, and the
// check that reports a broken invariant.
#include "testsupport.h"

#include <QByteArrayView>
#include <QtEndian>
#include <cstdio>
#include <cstdlib>

namespace tollvik::fuzz {

// Reads the input front to back; a field past its end reads as zero or as the bytes left.
class FieldReader
{
public:
    FieldReader(const uint8_t* data, size_t size) : m_bytes(data, qsizetype(size)) {}
    [[nodiscard]] bool atEnd() const { return m_bytes.isEmpty(); }
    [[nodiscard]] quint8 u8() { return quint8(take(1).leftJustified(1, 0)[0]); }
    [[nodiscard]] quint32 u32() { return qFromLittleEndian<quint32>(take(4).leftJustified(4, 0)); }
    [[nodiscard]] QByteArray take(qsizetype n)
    {
        const QByteArrayView field = m_bytes.first(std::min(n, m_bytes.size()));
        m_bytes = m_bytes.sliced(field.size());
        return field.toByteArray();
    }

private:
    QByteArrayView m_bytes;
};

// Reports a broken invariant and aborts; libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "\n*** invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}

} // namespace tollvik::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void() : ::tollvik::fuzz::fail(__FILE__, __LINE__, #condition))
