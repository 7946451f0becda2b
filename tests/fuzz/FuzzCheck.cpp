#include "tests/fuzz/FuzzCheck.h"

#include "platform/PropertyList.h"

#include <QDateTime>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

void printValue(const char* label, const QVariant& value)
{
    if (!value.isValid())
        return;
    const QByteArray xml = PropertyList::toXml(value);
    std::fprintf(stderr, "%s (%s):\n%s\n", label, value.typeName(),
                 xml.isEmpty() ? value.toString().toUtf8().constData() : xml.constData());
}

} // namespace

void fuzzFailure(const char* what, const QVariant& expected, const QVariant& actual)
{
    std::fprintf(stderr, "\n==fuzz== property failed: %s\n", what);
    printValue("expected", expected);
    printValue("actual", actual);
    std::fflush(stderr);
    std::abort();
}

bool sameVariant(const QVariant& a, const QVariant& b)
{
    if (a.metaType() != b.metaType())
        return false;
    switch (a.metaType().id()) {
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList(), y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i) {
            if (!sameVariant(x.at(i), y.at(i)))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap(), y = b.toMap();
        if (x.keys() != y.keys())
            return false;
        for (auto it = x.cbegin(); it != x.cend(); ++it) {
            if (!sameVariant(it.value(), y.value(it.key())))
                return false;
        }
        return true;
    }
    case QMetaType::Double: {
        const double x = a.toDouble(), y = b.toDouble();
        return (std::isnan(x) && std::isnan(y)) || x == y;
    }
    default:
        return a == b;
    }
}
