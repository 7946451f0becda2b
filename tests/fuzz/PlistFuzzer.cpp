// The property-list reader on any bytes. Whatever it accepts must survive the writer: the
// catalogue and the user defaults are read, changed and written back, and a value that
// changes on the way (or cannot be written at all) is lost or stops every later save. What
// the reader gives is already in the form the writer keeps.

#include "platform/PropertyList.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<QVariant> value = PropertyList::fromXml(fuzzBytes(data, size));
    if (!value)
        return 0;
    const QByteArray written = PropertyList::toXml(*value);
    if (written.isEmpty())
        fuzzFailure("the writer refuses a value the reader accepted");
    const std::optional<QVariant> reread = PropertyList::fromXml(written);
    if (!reread)
        fuzzFailure("the reader refuses what the writer wrote", *value);
    if (!sameVariant(*value, *reread))
        fuzzFailure("a value changes on its way through the writer", *value, *reread);
    const std::optional<QVariant> stored = PropertyList::storable(*value);
    if (!stored || !sameVariant(*value, *stored))
        fuzzFailure("a value read is not in its stored form", *value, stored.value_or(QVariant()));
    return 0;
}
