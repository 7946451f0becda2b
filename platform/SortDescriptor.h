#pragma once

// How a table orders its records: a key and a direction, as the table's header hands them
// over. Values compare by their own order (strings case-sensitively, dates by instant,
// numbers by value, data by bytes); a record without the key sorts below every value. The
// type carries no catalogue logic, so the source list uses it as well.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <algorithm>

struct SortDescriptor
{
    QString key;
    bool ascending = true;
};

namespace SortOrder {

inline bool isNumber(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// Negative, zero or positive. Values of unrelated types order by type, so that a record list
// holding foreign values still sorts by a strict weak order.
inline int compareValues(const QVariant& a, const QVariant& b)
{
    const bool hasA = a.isValid();
    const bool hasB = b.isValid();
    if (!hasA || !hasB)
        return int(hasA) - int(hasB);
    const int typeA = a.metaType().id();
    const int typeB = b.metaType().id();
    if (isNumber(a) && isNumber(b)) {
        if (typeA == QMetaType::Double || typeB == QMetaType::Double) {
            const double x = a.toDouble();
            const double y = b.toDouble();
            return x < y ? -1 : (y < x ? 1 : 0);
        }
        const qint64 x = a.toLongLong();
        const qint64 y = b.toLongLong();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    if (typeA != typeB)
        return typeA < typeB ? -1 : 1;
    switch (typeA) {
    case QMetaType::QString:
        return QString::compare(a.toString(), b.toString(), Qt::CaseSensitive);
    case QMetaType::QDateTime: {
        const QDateTime x = a.toDateTime();
        const QDateTime y = b.toDateTime();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    case QMetaType::QByteArray:
        return a.toByteArray().compare(b.toByteArray());
    default:
        return 0;
    }
}

// Stable, so rows that tie keep the order the user last saw.
inline void sortRecords(QList<QVariantMap>& records, const QList<SortDescriptor>& descriptors)
{
    if (descriptors.isEmpty())
        return;
    std::stable_sort(records.begin(), records.end(),
                     [&descriptors](const QVariantMap& a, const QVariantMap& b) {
                         for (const SortDescriptor& d : descriptors) {
                             const int order = compareValues(a.value(d.key), b.value(d.key));
                             if (order != 0)
                                 return d.ascending ? order < 0 : order > 0;
                         }
                         return false;
                     });
}

} // namespace SortOrder
