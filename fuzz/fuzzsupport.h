#pragma once

// What the harnesses share besides the tests' generators: libFuzzer's reader of the input's
// fields (integers come from the end of the input, byte strings from its front; a field past
// the end reads as its smallest value or as the bytes left), and the check that reports a broken
// invariant.
#include "testsupport.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace tollvik::fuzz {

[[nodiscard]] inline QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// Reports a broken invariant and aborts; libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "\n*** invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}

} // namespace tollvik::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void() : ::tollvik::fuzz::fail(__FILE__, __LINE__, #condition))
