#pragma once

// Reading and writing XML property lists.
//
// Values travel as QVariant: QString, QDateTime (UTC), QByteArray, bool, qint64, double,
// QVariantList and QVariantMap. A document that is damaged in any way reads as none, never
// as the part that happened to parse; files are written atomically.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace PropertyList {

std::optional<QVariant> fromXml(const QByteArray& xml);
std::optional<QVariant> readFile(const QString& path);

// A file that is not there, one that cannot be read (permissions, a folder in its place, a
// failing disk) and one that reads but holds no property list call for different answers:
// the first is a fresh start, the second must not be written over, the third may be set aside.
enum class ReadError
{
    None,
    Missing,
    Unreadable,
    Damaged
};
struct FileContents
{
    ReadError error = ReadError::None;
    std::optional<QVariant> value; // when there is no error
    QByteArray bytes;              // what a damaged file holds, for salvage()
    QString reason;                // why an unreadable file could not be read
};
FileContents read(const QString& path);

// What can still be read of a damaged document whose root is an array or a dictionary: the
// members that read, in their order, and how many did not. None for any other root.
struct Salvaged
{
    QVariant value;
    qsizetype dropped = 0;
};
std::optional<Salvaged> salvage(const QByteArray& xml);

// Empty when the value holds a type a property list cannot carry.
QByteArray toXml(const QVariant& value);
// Creates the folder when it is missing. The file is replaced only once every byte is on the
// disk: false, with the reason, when anything failed, and the old file is then untouched.
bool writeFile(const QString& path, const QVariant& value, QString* reason = nullptr);

// Replaces `copy` at once with what `path` holds now, so that a later write of `path` leaves
// the earlier contents behind. False when the copy was not made; `copy` is then as it was.
bool keepCopy(const QString& path, const QString& copy);

// Renames a damaged file out of the way under the first free name of "NAME.unreadable",
// "NAME.unreadable-2", ..., never over an earlier one. The new path, or none with the reason.
std::optional<QString> setAside(const QString& path, QString* reason = nullptr);

// Removes what interrupted writes of the file left beside it: files named as the file with a
// dot and six letters or digits. One changed in the last few minutes is spared, as the write
// of another launcher still running. Answers the paths removed.
QStringList removeLeftovers(const QString& path);

// The value as writing it and reading it back would give it: text without the characters
// XML cannot carry, dates in UTC to the second within the years the form holds, whole
// numbers as 64-bit integers, URLs as their encoded text. A null inside a dictionary or
// list is left out, as a key that is not there. None for a null at the top, or for a
// type no property list can carry. Records built from outside data pass through here
// before they are kept, so that what is in memory is what the next start reads.
std::optional<QVariant> storable(const QVariant& value);

// Whether storable() would give the value back as it is, same type and all, for the types a
// record holds (false for lists and dictionaries, not looked into). Cheap, so that records
// already in stored form need not be rebuilt.
bool isStored(const QVariant& value);
// Whether the text holds only characters XML can carry, and so is stored as it stands.
bool isStored(QStringView text);

} // namespace PropertyList

// The earliest date a property list round-trips: 0001-01-01T00:00:00Z.
QDateTime distantPast();
