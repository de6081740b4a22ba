#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The input as bytes, and a check that stops the run with a message when a
// property that must hold does not (libFuzzer then keeps the input).
inline QByteArray FuzzBytes(const uint8_t* pData, size_t nSize)
{
    return QByteArray(reinterpret_cast<const char*>(pData), static_cast<qsizetype>(nSize));
}

#define FUZZ_CHECK(condition)                                                        \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                            \
        }                                                                            \
    } while (false)
