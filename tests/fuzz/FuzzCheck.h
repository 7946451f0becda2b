#pragma once

// What the fuzz targets share: a registry of their entry points by name, stopping the run when
// a property fails (so that libFuzzer keeps the input as a finding), and the exact equality
// the round-trip properties ask for.

#include <QByteArray>
#include <QDateTime>
#include <QVariant>

using FuzzEntry = void (*)(const QByteArray& bytes);

struct FuzzTarget
{
    FuzzTarget(const char* name, FuzzEntry entry);
};

// Defines the body of the target `name`, which receives the input as `bytes`. A fuzzing build
// runs the one target it was built for; the replay program runs the one its command names.
#define FUZZ_TARGET(name)                                                                          \
    static void fuzz_##name(const QByteArray& bytes);                                              \
    static const FuzzTarget fuzzTarget_##name(#name, fuzz_##name);                                 \
    static void fuzz_##name(const QByteArray& bytes)

// Prints what failed and the values involved (as property lists) on standard error, then
// aborts.
[[noreturn]] void fuzzFailure(const char* what, const QVariant& expected = {},
                              const QVariant& actual = {});

// Equal values of equal types, all the way down: lists item by item, dictionaries key by key,
// dates by instant, and a NaN equal to a NaN.
bool sameVariant(const QVariant& a, const QVariant& b);

// The moment every target parses and merges at.
inline const QDateTime kFuzzNow(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
