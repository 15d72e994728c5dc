#pragma once
// What the fuzz targets share. A target returns normally when the decoder
// refuses its input with the exception the decoder documents; any other
// exception escapes and ends the process, and so does a broken promise
// checked with Require, so libFuzzer records the input as a crash.
#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Fuzz {

// Ends the run as a crash when a decoder broke a promise its header makes.
inline void Require(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "promise broken: %s\n", promise);
        std::abort();
    }
}

inline QByteArrayView Bytes(const uint8_t* data, size_t size)
{
    return QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The input cut at its first `parts - 1` NUL bytes into `parts` pieces
// (the last ones empty when there are fewer NULs), so one input carries a
// mask and a text, or a text and a list of edits.
inline QList<QByteArrayView> Split(QByteArrayView input, int parts)
{
    QList<QByteArrayView> out;
    while (out.size() < parts - 1) {
        const qsizetype nul = input.indexOf('\0');
        if (nul < 0)
            break;
        out.append(input.first(nul));
        input = input.sliced(nul + 1);
    }
    out.append(input);
    while (out.size() < parts)
        out.append(QByteArrayView());
    return out;
}

} // namespace Fuzz
