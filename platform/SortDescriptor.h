#pragma once

// How a table orders its records: a key and a direction, as the table's header hands them
// over. Values compare by their own order (strings case-sensitively, or by a collator's rules
// where the descriptor has one; dates by instant, numbers by value, data by bytes); a record
// without the key sorts below every value. The type carries no catalogue logic, so the source
// list uses it as well.

#include <QByteArray>
#include <QCollator>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

struct SortDescriptor
{
    QString key;
    bool ascending = true;
    // The value a record sorts by, where it is not the key's own (a name looked up for a URL).
    std::function<QVariant(const QVariantMap&)> valueOf = {};
    // Strings compare as people read them in a language (accents, case, numbers in order)
    // with this collator; without one, by their UTF-16 code units.
    const QCollator* collator = nullptr;
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
        // In place: toString() would copy both strings on every comparison of a sort.
        return QString::compare(*static_cast<const QString*>(a.constData()),
                                *static_cast<const QString*>(b.constData()), Qt::CaseSensitive);
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

// Stable, so rows that tie keep the order the user last saw. Each record's sort values are
// looked up once, not once per comparison: a header click re-sorts the whole catalogue.
inline void sortRecords(QList<QVariantMap>& records, const QList<SortDescriptor>& descriptors)
{
    const qsizetype count = records.size();
    const qsizetype width = descriptors.size();
    if (width == 0 || count < 2)
        return;
    QList<QVariant> values;
    values.reserve(count * width);
    // A collator's sort keys are made once per string: comparing two keys is a byte compare,
    // where comparing the strings would apply the language's rules on every comparison.
    std::vector<std::optional<QCollatorSortKey>> keys(count * width);
    for (qsizetype i = 0; i < count; ++i) {
        const QVariantMap& record = records.at(i);
        for (qsizetype k = 0; k < width; ++k) {
            const SortDescriptor& d = descriptors.at(k);
            values.append(d.valueOf ? d.valueOf(record) : record.value(d.key));
            if (d.collator && values.constLast().metaType().id() == QMetaType::QString)
                keys[i * width + k] = d.collator->sortKey(values.constLast().toString());
        }
    }
    QList<qsizetype> order(count);
    for (qsizetype i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        for (qsizetype k = 0; k < width; ++k) {
            const auto& keyA = keys[a * width + k];
            const auto& keyB = keys[b * width + k];
            const int result =
                keyA && keyB ? keyA->compare(*keyB)
                             : compareValues(values.at(a * width + k), values.at(b * width + k));
            if (result != 0)
                return descriptors.at(k).ascending ? result < 0 : result > 0;
        }
        return false;
    });
    QList<QVariantMap> sorted;
    sorted.reserve(count);
    for (qsizetype i : std::as_const(order))
        sorted.append(std::move(records[i]));
    records = std::move(sorted);
}

} // namespace SortOrder
