#pragma once

// Reading and writing XML property lists.
//
// Values travel as QVariant: QString, QDateTime (UTC), QByteArray, bool, qint64, double,
// QVariantList and QVariantMap. A document that is damaged in any way reads as none, never
// as the part that happened to parse; files are written atomically.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

namespace PropertyList {

std::optional<QVariant> fromXml(const QByteArray& xml);
std::optional<QVariant> readFile(const QString& path);

// Empty when the value holds a type a property list cannot carry.
QByteArray toXml(const QVariant& value);
// Creates the folder when it is missing. The file is replaced only once every byte is on the
// disk: false, with the reason, when anything failed, and the old file is then untouched.
bool writeFile(const QString& path, const QVariant& value, QString* reason = nullptr);

// The value as writing it and reading it back would give it: text without the characters
// XML cannot carry, dates in UTC to the second within the years the form holds, whole
// numbers as 64-bit integers, URLs as their encoded text. A null inside a dictionary or
// list is left out, as a key that is not there. None for a null at the top, or for a
// type no property list can carry. Records built from outside data pass through here
// before they are kept, so that what is in memory is what the next start reads.
std::optional<QVariant> storable(const QVariant& value);

} // namespace PropertyList

// The earliest date a property list round-trips: 0001-01-01T00:00:00Z.
QDateTime distantPast();
