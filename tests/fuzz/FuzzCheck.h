#pragma once

// What the fuzz targets share: stopping the run when a property fails, so that libFuzzer
// keeps the input as a finding, and the exact equality the round-trip properties ask for.

#include <QByteArray>
#include <QVariant>

// Prints what failed and the values involved (as property lists) on standard error, then
// aborts.
[[noreturn]] void fuzzFailure(const char* what, const QVariant& expected = {},
                              const QVariant& actual = {});

// Equal values of equal types, all the way down: lists item by item, dictionaries key by key,
// dates by instant, and a NaN equal to a NaN.
bool sameVariant(const QVariant& a, const QVariant& b);

// The input as a QByteArray that does not copy it.
inline QByteArray fuzzBytes(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}
