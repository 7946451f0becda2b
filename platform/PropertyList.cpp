#include "platform/PropertyList.h"

#include "platform/Localization.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

constexpr int kMaxDepth = 512;

QDateTime parseDate(QStringView text)
{
    // YYYY[-MM[-DD[THH[:MM[:SS]]]]]Z, the forms other writers use too.
    text = text.trimmed();
    if (!text.endsWith(u'Z'))
        return {};
    text.chop(1);
    int fields[6] = {0, 1, 1, 0, 0, 0};
    const char separators[6] = {0, '-', '-', 'T', ':', ':'};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    qsizetype pos = 0;
    for (int i = 0; i < 6 && pos < text.size(); ++i) {
        if (i > 0) {
            if (text[pos] != QLatin1Char(separators[i]))
                return {};
            ++pos;
        }
        if (pos + widths[i] > text.size())
            return {};
        int value = 0;
        for (int k = 0; k < widths[i]; ++k) {
            const QChar c = text[pos + k];
            if (!c.isDigit() || c.unicode() > '9')
                return {};
            value = value * 10 + (c.unicode() - '0');
        }
        fields[i] = value;
        pos += widths[i];
    }
    if (pos != text.size())
        return {};
    const QDate date(fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5]);
    if (fields[0] < 1 || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

// The form holds years 1 to 9999 and whole seconds; a date beyond them (a file's
// modification time can be anything) is written as the nearest one rather than making the
// file unreadable.
const QDateTime& lastStorableDate()
{
    static const QDateTime last(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
    return last;
}

QDateTime storableDate(const QDateTime& value)
{
    const QDateTime utc = std::clamp(value.toUTC(), distantPast(), lastStorableDate());
    return QDateTime::fromSecsSinceEpoch(utc.toSecsSinceEpoch(), Qt::UTC);
}

QByteArray formatDate(const QDateTime& value)
{
    const QDateTime utc = storableDate(value);
    const QDate d = utc.date();
    const QTime t = utc.time();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", d.year(), d.month(),
                  d.day(), t.hour(), t.minute(), t.second());
    return buffer;
}

class Reader
{
public:
    explicit Reader(const QByteArray& xml) : m_xml(xml) {}

    std::optional<QVariant> document()
    {
        if (!nextElement() || m_xml.name() != u"plist")
            return std::nullopt;
        if (!nextElement())
            return std::nullopt;
        std::optional<QVariant> value = readValue(0);
        if (!value)
            return std::nullopt;
        // Only the closing </plist> may follow, then the end of the document.
        if (nextElement() || m_xml.hasError())
            return std::nullopt;
        while (!m_xml.atEnd())
            next();
        if (m_xml.hasError())
            return std::nullopt;
        return value;
    }

    // The members of the top-level array or dictionary that read, in order: a member that
    // does not read is left out and the reading goes on after it; a document cut short gives
    // the members before the cut.
    std::optional<PropertyList::Salvaged> salvage()
    {
        if (!nextElement() || m_xml.name() != u"plist" || !nextElement())
            return std::nullopt;
        const bool isDict = m_xml.name() == u"dict";
        if (!isDict && m_xml.name() != u"array")
            return std::nullopt;
        const int level = m_depth;
        QVariantList list;
        QVariantMap map;
        qsizetype dropped = 0;
        std::optional<QString> key;
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::EndElement && m_depth < level)
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (isDict && !key) {
                if (m_xml.name() == u"key" && (key = text()))
                    continue;
                ++dropped;
                skipTo(level);
                continue;
            }
            m_failed = false;
            std::optional<QVariant> value = readValue(1);
            if (value && !m_failed) {
                if (isDict)
                    map.insert(*key, std::move(*value));
                else
                    list.append(std::move(*value));
            } else {
                ++dropped;
            }
            key.reset();
            skipTo(level);
        }
        if (key || m_xml.hasError())
            ++dropped;
        return PropertyList::Salvaged{isDict ? QVariant(map) : QVariant(list), dropped};
    }

private:
    // Every token passes here, so that the depth is known wherever a value gave up.
    QXmlStreamReader::TokenType next()
    {
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        if (token == QXmlStreamReader::StartElement)
            ++m_depth;
        else if (token == QXmlStreamReader::EndElement)
            --m_depth;
        return token;
    }

    void skipTo(int depth)
    {
        while (m_depth > depth && !m_xml.atEnd())
            next();
    }

    // Moves to the next start element; false at an end element, the end, or an error.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            switch (next()) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace())
                    return fail();
                break;
            default:
                break;
            }
        }
        return false;
    }

    bool fail()
    {
        m_failed = true;
        return false;
    }

    // The element's text, read up to its end: an element inside it fails the value but not the
    // document, so that a salvage goes on after it.
    std::optional<QString> text()
    {
        const int depth = m_depth;
        QString value;
        bool nested = false;
        while (!m_xml.atEnd()) {
            switch (next()) {
            case QXmlStreamReader::Characters:
            case QXmlStreamReader::EntityReference:
                value += m_xml.text();
                break;
            case QXmlStreamReader::StartElement:
                nested = true;
                break;
            case QXmlStreamReader::EndElement:
                if (m_depth < depth) {
                    // A document in another encoding (UTF-7, say) can spell half a surrogate
                    // pair, which the reader lets through and no UTF-8 file can hold: the
                    // writer would change it.
                    if (nested || !value.isValidUtf16())
                        return std::nullopt;
                    return value;
                }
                break;
            default:
                break;
            }
        }
        return std::nullopt;
    }

    std::optional<QVariant> readValue(int depth)
    {
        if (depth > kMaxDepth)
            return std::nullopt;
        const QStringView name = m_xml.name();
        if (name == u"string") {
            auto value = text();
            return value ? std::optional<QVariant>(*value) : std::nullopt;
        }
        if (name == u"integer") {
            auto value = text();
            if (!value)
                return std::nullopt;
            bool ok = false;
            const QString trimmed = value->trimmed();
            const qint64 number = trimmed.toLongLong(&ok, 10);
            if (ok)
                return QVariant(number);
            const quint64 unsignedNumber = trimmed.toULongLong(&ok, 10);
            if (ok)
                return QVariant(unsignedNumber);
            return std::nullopt;
        }
        if (name == u"real") {
            auto value = text();
            if (!value)
                return std::nullopt;
            const QString trimmed = value->trimmed().toLower();
            if (trimmed == u"nan")
                return QVariant(std::nan(""));
            if (trimmed == u"inf" || trimmed == u"+inf")
                return QVariant(HUGE_VAL);
            if (trimmed == u"-inf")
                return QVariant(-HUGE_VAL);
            bool ok = false;
            const double number = trimmed.toDouble(&ok);
            return ok ? std::optional<QVariant>(number) : std::nullopt;
        }
        if (name == u"true" || name == u"false") {
            const bool value = name == u"true";
            if (nextElement() || m_failed || m_xml.hasError())
                return std::nullopt;
            return QVariant(value);
        }
        if (name == u"date") {
            auto value = text();
            if (!value)
                return std::nullopt;
            const QDateTime date = parseDate(*value);
            return date.isValid() ? std::optional<QVariant>(date) : std::nullopt;
        }
        if (name == u"data") {
            auto value = text();
            if (!value)
                return std::nullopt;
            QByteArray compact = value->toLatin1();
            compact.removeIf(
                [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
            auto decoded =
                QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return std::nullopt;
            return QVariant(decoded.decoded);
        }
        if (name == u"array") {
            QVariantList list;
            while (nextElement()) {
                auto item = readValue(depth + 1);
                if (!item)
                    return std::nullopt;
                list.append(std::move(*item));
            }
            if (m_failed || m_xml.hasError())
                return std::nullopt;
            return QVariant(list);
        }
        if (name == u"dict") {
            QVariantMap map;
            while (nextElement()) {
                if (m_xml.name() != u"key")
                    return std::nullopt;
                auto key = text();
                if (!key || !nextElement())
                    return std::nullopt;
                auto item = readValue(depth + 1);
                if (!item)
                    return std::nullopt;
                map.insert(*key, std::move(*item));
            }
            if (m_failed || m_xml.hasError())
                return std::nullopt;
            return QVariant(map);
        }
        return std::nullopt;
    }

    QXmlStreamReader m_xml;
    int m_depth = 0;
    bool m_failed = false;
};

// The text appendEscaped() writes, as a reader gives it back. A lone surrogate has no UTF-8
// form and is written as U+FFFD as well.
QString storableText(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < out.size() &&
            QChar::isLowSurrogate(out.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF ||
            QChar::isSurrogate(c))
            out[i] = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

// XML 1.0 has no place for most control characters, and a reader folds a carriage return
// into a line feed. A text from a feed may hold either; written raw, one such level would make
// the whole catalogue unreadable. Carriage returns go as character references, which readers
// keep; the other characters XML cannot carry become U+FFFD.
void appendEscaped(QByteArray& out, const QString& text)
{
    // UTF-8 has no form for a lone surrogate (the encoder would write '?').
    const bool surrogates =
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); });
    const QByteArray utf8 = surrogates ? storableText(text).toUtf8() : text.toUtf8();
    out.reserve(out.size() + utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '\r':
            out.append("&#13;");
            break;
        case '\t':
        case '\n':
            out.append(c);
            break;
        default:
            if (uchar(c) < 0x20) {
                out.append("\xEF\xBF\xBD");
            } else if (uchar(c) == 0xEF && i + 2 < utf8.size() && uchar(utf8[i + 1]) == 0xBF &&
                       (uchar(utf8[i + 2]) == 0xBE || uchar(utf8[i + 2]) == 0xBF)) {
                out.append("\xEF\xBF\xBD"); // U+FFFE and U+FFFF
                i += 2;
            } else {
                out.append(c);
            }
        }
    }
}

bool writeValue(QByteArray& out, const QVariant& value, int depth)
{
    if (depth > kMaxDepth)
        return false;
    const QByteArray indent(depth, '\t');
    out.append(indent);
    switch (value.metaType().id()) {
    case QMetaType::QString:
        out.append("<string>");
        appendEscaped(out, value.toString());
        out.append("</string>\n");
        return true;
    case QMetaType::QUrl:
        out.append("<string>");
        appendEscaped(out, value.toUrl().toString(QUrl::FullyEncoded));
        out.append("</string>\n");
        return true;
    case QMetaType::Bool:
        out.append(value.toBool() ? "<true/>\n" : "<false/>\n");
        return true;
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        out.append("<integer>")
            .append(QByteArray::number(value.toLongLong()))
            .append("</integer>\n");
        return true;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
        out.append("<integer>")
            .append(QByteArray::number(value.toULongLong()))
            .append("</integer>\n");
        return true;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        QByteArray text;
        if (std::isnan(number))
            text = "nan";
        else if (std::isinf(number))
            text = number > 0 ? "inf" : "-inf";
        else
            text = QByteArray::number(number, 'g', 17);
        out.append("<real>").append(text).append("</real>\n");
        return true;
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid())
            return false;
        out.append("<date>").append(formatDate(date)).append("</date>\n");
        return true;
    }
    case QMetaType::QByteArray: {
        const QByteArray encoded = value.toByteArray().toBase64();
        if (encoded.isEmpty()) {
            out.append("<data>\n").append(indent).append("</data>\n");
            return true;
        }
        out.append("<data>\n");
        for (qsizetype i = 0; i < encoded.size(); i += 68)
            out.append(indent).append(encoded.mid(i, 68)).append('\n');
        out.append(indent).append("</data>\n");
        return true;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = value.toList();
        if (list.isEmpty()) {
            out.append("<array/>\n");
            return true;
        }
        out.append("<array>\n");
        for (const QVariant& item : list) {
            if (!writeValue(out, item, depth + 1))
                return false;
        }
        out.append(indent).append("</array>\n");
        return true;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        const QVariantMap map = value.toMap();
        if (map.isEmpty()) {
            out.append("<dict/>\n");
            return true;
        }
        out.append("<dict>\n");
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            out.append(indent).append("\t<key>");
            appendEscaped(out, it.key());
            out.append("</key>\n");
            if (!writeValue(out, it.value(), depth + 1))
                return false;
        }
        out.append(indent).append("</dict>\n");
        return true;
    }
    default:
        return false;
    }
}

// Older than this, a temporary file beside ours is no write still under way.
constexpr qint64 kLeftoverAge = 5 * 60;

// The part the writer adds to a file's name for its temporary file (QSaveFile's: a dot and
// six letters or digits).
bool isTemporarySuffix(QStringView suffix)
{
    if (suffix.size() != 7 || suffix.front() != u'.')
        return false;
    return std::all_of(suffix.begin() + 1, suffix.end(),
                       [](QChar c) { return c.unicode() < 128 && (c.isLetter() || c.isDigit()); });
}

QString temporaryName(const QString& path)
{
    static const char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = path + u'.';
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(kAlphabet[QRandomGenerator::global()->bounded(62)]);
    return name;
}

// Unbuffered, so that a full disk fails the write itself: QSaveFile (Qt 6.4) would keep a
// small document in its buffer, meet "no space" only while committing, and still rename the
// empty file over the old one. The data is synced before the rename, and the folder after
// it, so that a power cut leaves the old file or the new one, never an empty one.
bool writeBytes(const QString& path, const QByteArray& bytes, QString* reason)
{
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(folder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (::fsync(file.handle()) != 0) {
        const QString why = qt_error_string(errno);
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

namespace PropertyList {

std::optional<QVariant> fromXml(const QByteArray& xml)
{
    return Reader(xml).document();
}

std::optional<QVariant> readFile(const QString& path)
{
    return read(path).value;
}

FileContents read(const QString& path)
{
    FileContents contents;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        contents.error = QFileInfo::exists(path) ? ReadError::Unreadable : ReadError::Missing;
        contents.reason = file.errorString();
        return contents;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        contents.error = ReadError::Unreadable;
        contents.reason = file.errorString();
        return contents;
    }
    contents.value = fromXml(bytes);
    if (!contents.value) {
        contents.error = ReadError::Damaged;
        contents.bytes = std::move(bytes);
    }
    return contents;
}

std::optional<Salvaged> salvage(const QByteArray& xml)
{
    return Reader(xml).salvage();
}

QByteArray toXml(const QVariant& value)
{
    QByteArray out;
    out.append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist>\n"
               "<plist version=\"1.0\">\n");
    // The root value stands at the margin, as other writers put it.
    QByteArray body;
    if (!writeValue(body, value, 0))
        return {};
    out.append(body);
    out.append("</plist>\n");
    return out;
}

bool writeFile(const QString& path, const QVariant& value, QString* reason)
{
    const QByteArray xml = toXml(value);
    if (xml.isEmpty()) {
        if (reason)
            *reason = localizedString(
                QT_TRANSLATE_NOOP("Quillmor", "it holds data a property list cannot store"));
        return false;
    }
    return writeBytes(path, xml, reason);
}

bool keepCopy(const QString& path, const QString& copy)
{
    // A second name for the file costs nothing and cannot fill a disk: the next write puts a
    // new file in place of the first name and leaves this one with the old contents.
    const QByteArray from = QFile::encodeName(path);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString temporary = temporaryName(copy);
        const QByteArray link = QFile::encodeName(temporary);
        if (::link(from.constData(), link.constData()) == 0) {
            if (::rename(link.constData(), QFile::encodeName(copy).constData()) == 0)
                return true;
            ::unlink(link.constData());
            return false;
        }
        if (errno != EEXIST)
            break;
    }
    // A filesystem without hard links: a copy written as any other file.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return file.error() == QFileDevice::NoError && writeBytes(copy, bytes, nullptr);
}

std::optional<QString> setAside(const QString& path, QString* reason)
{
    for (int number = 1; number < 1000; ++number) {
        const QString aside = path + QStringLiteral(".unreadable") +
                              (number > 1 ? QStringLiteral("-%1").arg(number) : QString());
        if (QFileInfo::exists(aside) || QFileInfo(aside).isSymLink())
            continue;
        // Without replacing: a name taken meanwhile is passed over too.
        if (::renameat2(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD,
                        QFile::encodeName(aside).constData(), RENAME_NOREPLACE) == 0)
            return aside;
        if (errno == EEXIST)
            continue;
        if (errno == EINVAL || errno == ENOSYS) { // a filesystem without the flag
            QFile file(path);
            if (file.rename(aside))
                return aside;
            if (reason)
                *reason = file.errorString();
            return std::nullopt;
        }
        if (reason)
            *reason = qt_error_string(errno);
        return std::nullopt;
    }
    if (reason)
        *reason = localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "too many damaged copies are kept already"));
    return std::nullopt;
}

QStringList removeLeftovers(const QString& path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const QDateTime settled = QDateTime::currentDateTimeUtc().addSecs(-kLeftoverAge);
    QStringList removed;
    const QFileInfoList candidates =
        info.dir().entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& candidate : candidates) {
        const QString candidateName = candidate.fileName();
        if (!candidateName.startsWith(name) || !isTemporarySuffix(candidateName.mid(name.size())) ||
            candidate.isSymLink() || candidate.lastModified() > settled)
            continue;
        if (QFile::remove(candidate.filePath()))
            removed.append(candidate.filePath());
    }
    return removed;
}

bool isStored(QStringView text)
{
    const char16_t* c = text.utf16();
    const char16_t* end = c + text.size();
    // Most text is wholly plain, neither below a space nor a surrogate or beyond.
    while (c != end && *c >= 0x20 && *c < 0xD800)
        ++c;
    for (; c != end; ++c) {
        if (*c >= 0x20 ? *c < 0xD800 || (*c >= 0xE000 && *c < 0xFFFE)
                       : *c == u'\t' || *c == u'\n' || *c == u'\r')
            continue;
        // Paired surrogates stand for one character beyond the first 65,536.
        if (!QChar::isHighSurrogate(*c) || c + 1 == end || !QChar::isLowSurrogate(c[1]))
            return false;
        ++c;
    }
    return true;
}

bool isStored(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return isStored(QStringView(value.toString()));
    case QMetaType::Bool:
    case QMetaType::QByteArray:
    case QMetaType::Double:
    case QMetaType::LongLong:
        return true;
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        static const qint64 first = distantPast().toMSecsSinceEpoch();
        static const qint64 last = lastStorableDate().toMSecsSinceEpoch();
        const qint64 at = date.toMSecsSinceEpoch();
        return date.isValid() && date.timeSpec() == Qt::UTC && at % 1000 == 0 && at >= first &&
               at <= last;
    }
    default: // other types are stored as another, and lists are not looked into
        return false;
    }
}

std::optional<QVariant> storable(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return storableText(value.toString());
    case QMetaType::QUrl:
        return storableText(value.toUrl().toString(QUrl::FullyEncoded));
    case QMetaType::Bool:
    case QMetaType::QByteArray:
    case QMetaType::Double:
        return value;
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort: {
        // The reader gives back a signed number wherever one holds the value.
        const quint64 number = value.toULongLong();
        return number <= quint64(std::numeric_limits<qint64>::max()) ? QVariant(qint64(number))
                                                                     : QVariant(number);
    }
    case QMetaType::QDateTime:
        if (!value.toDateTime().isValid())
            return std::nullopt;
        return storableDate(value.toDateTime());
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QVariant& item : value.toList()) {
            if (!item.isValid())
                continue;
            auto kept = storable(item);
            if (!kept)
                return std::nullopt;
            list.append(std::move(*kept));
        }
        return list;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            if (!it->isValid())
                continue;
            auto kept = storable(*it);
            if (!kept)
                return std::nullopt;
            map.insert(storableText(it.key()), std::move(*kept));
        }
        return map;
    }
    default:
        return std::nullopt;
    }
}

} // namespace PropertyList

QDateTime distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}
