#include "catalogue/FeedDate.h"
#include "catalogue/FeedParsers.h"
#include "install/Locations.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

namespace {

const xmlChar* const kMediaNamespace = BAD_CAST "http://search.yahoo.com/mrss/";
constexpr char kLevelType[] = "application/x-quillmor-level";
constexpr quint32 kMinimumTtl = 1440;   // minutes: a feed is never looked at more than daily
constexpr quint32 kMaximumTtl = 525600; // minutes: and at least once a year
constexpr int kMaxDepth = 256;

// Repair what can be repaired, but never reach the network, never load a DTD and never
// substitute entities (that would read local files named by external entities).
constexpr int kParseOptions = XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR |
                              XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

// Hands libxml2's parser back to it.
struct FreeParser
{
    void operator()(xmlParserCtxt* p) const { xmlFreeParserCtxt(p); }
};

void ignoreStructuredError(void*, xmlError*) {}
void ignoreGenericError(void*, const char*, ...) {}
xmlParserInput* refuseExternalEntity(const char*, const char*, xmlParserCtxt*)
{
    return nullptr;
}

// libxml2 reports errors and loads external entities through process-wide hooks. For the
// length of one feed parse this puts in silent and refusing ones, so a hostile feed neither
// floods standard error nor names a file to be read, and gives the caller's hooks back after.
class QuietLibxml
{
public:
    QuietLibxml()
        : m_structured(xmlStructuredError), m_structuredContext(xmlStructuredErrorContext),
          m_generic(xmlGenericError), m_genericContext(xmlGenericErrorContext),
          m_loader(xmlGetExternalEntityLoader())
    {
        xmlSetStructuredErrorFunc(nullptr, ignoreStructuredError);
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
        xmlSetExternalEntityLoader(refuseExternalEntity);
    }
    ~QuietLibxml()
    {
        xmlSetExternalEntityLoader(m_loader);
        xmlSetGenericErrorFunc(m_genericContext, m_generic);
        xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
    }
    QuietLibxml(const QuietLibxml&) = delete;
    QuietLibxml& operator=(const QuietLibxml&) = delete;

private:
    xmlStructuredErrorFunc m_structured;
    void* m_structuredContext;
    xmlGenericErrorFunc m_generic;
    void* m_genericContext;
    xmlExternalEntityLoader m_loader;
};

// What the parser met on its way that matters for the item list.
struct ParseTrouble
{
    bool cutOff = false;     // the document ended inside its root element
    bool mismatched = false; // an end tag named another element than the open one
    bool dropped = false;    // a start tag was thrown away, with its element and attributes
};

// The length of the tag that starts at in[from] ('<'), up to and including its '>', or 0
// when the document ends first. Quoted attribute values may hold '>'.
qsizetype tagLength(const QByteArray& in, qsizetype from)
{
    char quote = 0;
    for (qsizetype i = from + 1; i < in.size(); ++i) {
        const char c = in[i];
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return i - from + 1;
    }
    return 0;
}

// Feeds are often written by hand, with inline markup left open in a description
// ("one<br>two", an unclosed <p>). The XML parser lets every end tag close whatever element
// is open, which pushes each later item one level deeper, inside the one before. This closes
// them the way a browser would: an end tag first closes the elements opened after its own
// start tag, and an end tag that closes nothing is dropped. None when the document ends
// inside an element or a markup construct: it was cut off.
std::optional<QByteArray> closeOpenElements(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size() + 1024);
    std::vector<QByteArray> open;
    qsizetype copied = 0;
    qsizetype i = 0;
    const auto skipPast = [&](const char* terminator) {
        const qsizetype at = in.indexOf(terminator, i);
        if (at < 0)
            return false;
        i = at + qstrlen(terminator);
        return true;
    };
    while ((i = in.indexOf('<', i)) >= 0) {
        const QByteArrayView rest = QByteArrayView(in).sliced(i);
        if (rest.startsWith("<!--")) {
            if (!skipPast("-->"))
                return std::nullopt;
            continue;
        }
        if (rest.startsWith("<![CDATA[")) {
            if (!skipPast("]]>"))
                return std::nullopt;
            continue;
        }
        if (rest.startsWith("<?")) {
            if (!skipPast("?>"))
                return std::nullopt;
            continue;
        }
        if (rest.startsWith("<!")) { // a document type, possibly with an internal subset
            const qsizetype subset = in.indexOf('[', i);
            const qsizetype close = in.indexOf('>', i);
            if (subset >= 0 && (close < 0 || subset < close) && !skipPast("]"))
                return std::nullopt;
            if (!skipPast(">"))
                return std::nullopt;
            continue;
        }
        const qsizetype length = tagLength(in, i);
        if (length == 0)
            return std::nullopt;
        const bool endTag = rest.startsWith("</");
        qsizetype nameEnd = i + (endTag ? 2 : 1);
        while (nameEnd < i + length - 1 && !std::isspace(uchar(in[nameEnd])) &&
               in[nameEnd] != '/' && in[nameEnd] != '>')
            ++nameEnd;
        const QByteArray name = in.mid(i + (endTag ? 2 : 1), nameEnd - i - (endTag ? 2 : 1));
        if (name.isEmpty()) { // a bare '<' in text, which the parser reports on its own
            ++i;
            continue;
        }
        if (!endTag) {
            if (in[i + length - 2] != '/')
                open.push_back(name);
            i += length;
            continue;
        }
        auto match = std::find(open.rbegin(), open.rend(), name);
        out.append(in.constData() + copied, i - copied);
        if (match == open.rend()) {
            copied = i + length; // closes nothing
        } else {
            for (auto it = open.rbegin(); it != match; ++it)
                out.append("</").append(*it).append('>');
            open.erase(std::prev(match.base()), open.end());
            copied = i;
        }
        i += length;
    }
    if (!open.empty())
        return std::nullopt;
    out.append(in.constData() + copied, in.size() - copied);
    return out;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Pairs of hexadecimal digits, a last single character ignored. A pair that is not two
// hexadecimal digits makes the whole text worthless as a hash, so it gives empty data.
QByteArray hashBytes(const QString& hex)
{
    QByteArray bytes;
    bytes.reserve(hex.size() / 2);
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]);
        const int low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return {};
        bytes.append(char(high << 4 | low));
    }
    return bytes;
}

// A link as a browser would follow it: one relative to the feed is resolved against the
// feed's URL; an absolute one is kept exactly as written.
QString resolvedLink(const QString& link, const QUrl& feed)
{
    const QString trimmed = link.trimmed();
    // Nearly every link is a web address; those have a scheme and need no parsing.
    if (trimmed.startsWith(u"http://") || trimmed.startsWith(u"https://"))
        return link;
    const QUrl url(trimmed);
    if (trimmed.isEmpty() || !url.isValid() || !url.isRelative())
        return link;
    return absoluteString(feed.resolved(url));
}

// An element as the parser names it at its start and end.
struct Name
{
    const xmlChar* local;
    const xmlChar* space; // the namespace, null outside any

    // An element of the feed's own, outside any namespace.
    bool is(const char* name) const { return !space && xmlStrEqual(local, BAD_CAST name); }
    // A Media RSS element, whatever prefix the document binds the namespace to.
    bool isMedia(const char* name) const
    {
        return space && xmlStrEqual(space, kMediaNamespace) && xmlStrEqual(local, BAD_CAST name);
    }
};

// A start tag's attributes as the parser hands them over: five pointers each (name, prefix,
// namespace, value, end of value), those a DTD declares as defaults last.
class Attributes
{
public:
    Attributes(const xmlChar** attributes, int written) : m_at(attributes), m_written(written) {}

    // The attribute of that name outside any namespace, as written in the document.
    std::optional<QByteArray> value(const char* name) const
    {
        for (int i = 0; i < m_written; ++i) {
            const xmlChar** attribute = m_at + 5 * i;
            if (attribute[2] || !xmlStrEqual(attribute[0], BAD_CAST name))
                continue;
            QByteArray text(reinterpret_cast<const char*>(attribute[3]),
                            attribute[4] - attribute[3]);
            // Without entity substitution the parser hands an ampersand on as the reference
            // "&#38;", for a tree builder to read back; it leaves no other reference.
            if (text.contains('&'))
                text.replace("&#38;", "&");
            return text;
        }
        return std::nullopt;
    }
    std::optional<QString> text(const char* name) const
    {
        const auto bytes = value(name);
        return bytes ? std::optional(QString::fromUtf8(*bytes)) : std::nullopt;
    }

private:
    const xmlChar** m_at;
    int m_written;
};

// A picture's address as the launcher may fetch it: resolved against the feed, http or https.
std::optional<QString> pictureAddress(const Attributes& attributes, const QUrl& feed)
{
    const std::optional<QString> url = attributes.text("url");
    if (!url)
        return std::nullopt;
    const QString resolved = resolvedLink(url->trimmed(), feed);
    const QUrl parsed(resolved, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (parsed.scheme() != u"http" && parsed.scheme() != u"https"))
        return std::nullopt;
    return resolved;
}

// What one item says of its level, gathered as its elements stream by. Of each kind of child
// only the first counts; a text is that of the element and all it holds, CDATA included.
struct ItemDraft
{
    enum Child { title, link, description, guid, pubDate, hash, credit, enclosure, children };
    static constexpr std::array<const char*, 5> kTexts{"title", "link", "description", "guid",
                                                       "pubDate"};

    std::array<std::optional<QString>, children> texts; // a kind met has a value
    std::optional<QByteArray> enclosureType;
    std::optional<QByteArray> download;
    std::optional<QByteArray> length;
    std::optional<QString> thumbnail; // the first fetchable thumbnail anywhere in the item
    std::optional<QString> image;     // else the first fetchable image offered as content
};

// Follows the parser through a feed: the root must be an RSS element; of its children only
// the first channel is read, whose first title, link, description and ttl describe the feed
// and whose items are handed on one by one as each ends. Nothing else is kept.
class FeedStream
{
public:
    FeedStream(const QUrl& feed, const FeedItemSink& sink) : m_feed(feed), m_sink(sink) {}

    ParseTrouble trouble;
    bool refused = false; // not a feed the launcher reads; the parse stops at once

    void start(Name name, int namespaceCount, const xmlChar** namespaces,
               const Attributes& attributes)
    {
        const int depth = m_depth++;
        // Nesting no feed needs, as the parser itself would refuse when reading a whole tree.
        if (depth > kMaxDepth) {
            refused = true;
        } else if (depth == 0) {
            refused = !name.is("rss");
            // The media namespace counts only where the root declares it, under a prefix.
            for (int i = 0; i < namespaceCount; ++i) {
                if (namespaces[2 * i] && xmlStrEqual(namespaces[2 * i + 1], kMediaNamespace))
                    m_hasMediaPrefix = true;
            }
        } else if (depth == 1 && !m_channelSeen && name.is("channel")) {
            m_channelSeen = m_inChannel = true;
        } else if (depth == 2 && m_inChannel) {
            if (name.is("item")) {
                m_item.emplace();
                return;
            }
            for (auto& [text, value] : m_texts) {
                if (!value && name.is(text))
                    return capture(value.emplace());
            }
        } else if (depth >= 3 && m_item) {
            readItemElement(depth == 3, name, attributes);
        }
    }

    void end()
    {
        if (--m_depth == m_captureDepth && m_capture) {
            *std::exchange(m_capture, nullptr) = QString::fromUtf8(m_captured);
            m_captured.resize(0); // keeps its room for the next text
        }
        if (m_depth == 2 && m_item) {
            if (auto level = itemLevel(*m_item))
                m_sink(std::move(*level));
            m_item.reset();
        } else if (m_depth == 1) {
            m_inChannel = false;
        }
    }

    void characters(const xmlChar* text, int length)
    {
        if (m_capture)
            m_captured.append(reinterpret_cast<const char*>(text), length);
    }

    bool channelSeen() const { return m_channelSeen; }
    // Whether every element begun has ended: a document that stops inside one was cut off.
    bool closed() const { return m_depth == 0; }

    RepositoryEntry record(const QDateTime& now) const
    {
        RepositoryEntry record = feedRecord(m_feed, now, secondsToNextCheck(), FeedFormat::rss);
        if (const auto& title = m_texts[0].second)
            record.insert(RepositoryKey::name, *title);
        if (const auto& description = m_texts[2].second)
            record.insert(RepositoryKey::description, *description);
        if (const auto& link = m_texts[1].second)
            record.insert(RepositoryKey::urlWebsite, resolvedLink(*link, m_feed));
        return record;
    }

private:
    void capture(QString& text)
    {
        m_capture = &text;
        m_captureDepth = m_depth - 1;
    }

    void readItemElement(bool child, Name name, const Attributes& attributes)
    {
        ItemDraft& item = *m_item;
        if (child) {
            for (size_t kind = 0; kind < ItemDraft::kTexts.size(); ++kind) {
                if (!item.texts[kind] && name.is(ItemDraft::kTexts[kind]))
                    return capture(item.texts[kind].emplace());
            }
            if (!item.texts[ItemDraft::enclosure] && name.is("enclosure")) {
                item.texts[ItemDraft::enclosure].emplace();
                item.enclosureType = attributes.value("type");
                item.download = attributes.value("url");
                item.length = attributes.value("length");
                return;
            }
        }
        if (!m_hasMediaPrefix)
            return;
        // A feed's hash and credit count only of the kind the launcher reads.
        for (const auto& [kind, element, attribute, wanted] :
             {std::tuple(ItemDraft::hash, "hash", "algo", "sha-1"),
              std::tuple(ItemDraft::credit, "credit", "role", "author")}) {
            if (child && !item.texts[kind] && name.isMedia(element)) {
                item.texts[kind].emplace();
                if (attributes.value(attribute) == wanted)
                    capture(*item.texts[kind]);
                return;
            }
        }
        if (!item.thumbnail && name.isMedia("thumbnail")) {
            item.thumbnail = pictureAddress(attributes, m_feed);
        } else if (!item.image && name.isMedia("content")) {
            const bool image = attributes.value("type").value_or("").startsWith("image/") ||
                               attributes.value("medium") == "image";
            if (image)
                item.image = pictureAddress(attributes, m_feed);
        }
    }

    std::optional<FeedItem> itemLevel(const ItemDraft& item) const
    {
        if (item.enclosureType != kLevelType || !item.download || item.download->isEmpty())
            return std::nullopt;
        const auto& texts = item.texts;
        std::optional<QDateTime> date;
        if (texts[ItemDraft::pubDate])
            date = m_dates.parse(*texts[ItemDraft::pubDate]);

        // A feed leaves out what it likes; what is missing stays unset, so that the merge
        // falls back as it does for text feeds.
        FeedItem level{.name = texts[ItemDraft::title].value_or(QString()),
                       .urlDownload = resolvedLink(QString::fromUtf8(*item.download), m_feed)};
        level.author = texts[ItemDraft::credit].value_or(QString());
        level.description = texts[ItemDraft::description];
        if (const auto& guid = texts[ItemDraft::guid])
            level.guid = guid->trimmed();
        level.length = integerValue(QString::fromUtf8(item.length.value_or("")));
        level.pubDateRemote = date;
        level.sha1Remote = hashBytes(texts[ItemDraft::hash].value_or(QString()));
        level.urlThumbnail = item.thumbnail ? item.thumbnail : item.image;
        if (const auto& website = texts[ItemDraft::link])
            level.urlWebsite = resolvedLink(*website, m_feed);
        return level;
    }

    quint32 secondsToNextCheck() const
    {
        qint64 minutes = 10080;
        // A ttl below a day, negative ones included, means a day; one beyond a year is taken
        // as a year, so that a stray number can neither silence a feed for ever nor wrap round
        // into a check at every start.
        if (const auto& ttl = m_texts[3].second)
            minutes = std::clamp(integerValue(*ttl), qint64(kMinimumTtl),
                                 qint64(kMaximumTtl));
        return quint32(minutes * 60);
    }

    const QUrl& m_feed;
    const FeedItemSink& m_sink;
    const FeedDate m_dates;
    int m_depth = 0; // elements open
    bool m_hasMediaPrefix = false;
    bool m_channelSeen = false;
    bool m_inChannel = false;
    std::array<std::pair<const char*, std::optional<QString>>, 4> m_texts{
        {{"title", {}}, {"link", {}}, {"description", {}}, {"ttl", {}}}};
    std::optional<ItemDraft> m_item;
    QString* m_capture = nullptr; // where the text being read goes, if any
    int m_captureDepth = -1;      // the depth its element is open at
    QByteArray m_captured;        // and its bytes so far
};

FeedStream& streamOf(void* parser)
{
    return *static_cast<FeedStream*>(static_cast<xmlParserCtxt*>(parser)->_private);
}

// Stops the parse once its outcome is known: the document is refused, or will be read again
// after repair, or has lost content.
bool stopped(void* parser)
{
    const FeedStream& stream = streamOf(parser);
    if (!stream.refused && !stream.trouble.mismatched && !stream.trouble.dropped)
        return false;
    xmlStopParser(static_cast<xmlParserCtxt*>(parser));
    return true;
}

void startElement(void* parser, const xmlChar* local, const xmlChar*, const xmlChar* space,
                  int namespaceCount, const xmlChar** namespaces, int attributeCount,
                  int defaulted, const xmlChar** attributes)
{
    if (!stopped(parser))
        streamOf(parser).start({local, space}, namespaceCount, namespaces,
                               Attributes(attributes, attributeCount - defaulted));
    stopped(parser);
}

void endElement(void* parser, const xmlChar*, const xmlChar*, const xmlChar*)
{
    if (!stopped(parser))
        streamOf(parser).end();
}

void characters(void* parser, const xmlChar* text, int length)
{
    streamOf(parser).characters(text, length);
}

// Entities are never expanded, and a document that declares any is not read at all.
void entityDeclared(void* parser, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*)
{
    streamOf(parser).refused = true;
    stopped(parser);
}
void unparsedEntityDeclared(void* parser, const xmlChar*, const xmlChar*, const xmlChar*,
                            const xmlChar*)
{
    entityDeclared(parser, nullptr, 0, nullptr, nullptr, nullptr);
}

void noteParseError(void* parser, xmlError* error)
{
    if (!error || !parser || !static_cast<xmlParserCtxt*>(parser)->_private)
        return;
    ParseTrouble& trouble = streamOf(parser).trouble;
    switch (error->code) {
    case XML_ERR_TAG_NOT_FINISHED:
        trouble.cutOff = true;
        break;
    case XML_ERR_TAG_NAME_MISMATCH:
        trouble.mismatched = true;
        break;
    // A start tag the parser could not finish (an attribute value over its size limit, an
    // unquoted one) is skipped with everything it held: an enclosure lost this way would
    // take its level out of the catalogue.
    case XML_ERR_GT_REQUIRED:
    case XML_ERR_ATTRIBUTE_NOT_FINISHED:
    case XML_ERR_NAME_TOO_LONG:
    case XML_ERR_NO_MEMORY:
    case XML_ERR_INTERNAL_ERROR:
        trouble.dropped = true;
        break;
    default:
        break;
    }
}

xmlSAXHandler feedHandler()
{
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = startElement;
    handler.endElementNs = endElement;
    handler.characters = characters;
    handler.ignorableWhitespace = characters;
    handler.cdataBlock = characters;
    handler.entityDecl = entityDeclared;
    handler.unparsedEntityDecl = unparsedEntityDeclared;
    handler.serror = noteParseError;
    return handler;
}

enum class Pass
{
    feed,     // read whole: the levels handed on are the feed's
    notAFeed, // no RSS channel, or a document the launcher will not read
    repair    // end tags that do not match their elements: read again after repair
};

// One pass of the parser over the document, handing each level on as its item ends; the
// document's bytes and one item are all it holds. The parser repairs what it can. It gives
// up where it had to stop early (nesting too deep, an entity loop, no memory), ran out of
// document inside the root element, or threw content away: each leaves only part of the
// feed, whose item list would drop the levels it lost.
Pass readPass(const QByteArray& bytes, FeedStream& stream)
{
    static xmlSAXHandler handler = feedHandler();
    const std::unique_ptr<xmlParserCtxt, FreeParser> parser(
        xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr));
    if (!parser)
        return Pass::notAFeed;
    parser->_private = &stream;
    xmlCtxtUseOptions(parser.get(), kParseOptions);
    // The bytes go to the parser a few pages at a time: it reads each where it lies and
    // lets it go, where a whole copy of its own would double the memory a large feed takes.
    constexpr qsizetype kChunk = 4096;
    for (qsizetype at = 0; at < bytes.size() && !parser->disableSAX; at += kChunk) {
        const qsizetype length = std::min(kChunk, bytes.size() - at);
        xmlParseChunk(parser.get(), bytes.constData() + at, int(length),
                      at + length == bytes.size());
    }
    const ParseTrouble& trouble = stream.trouble;
    if (stream.refused || trouble.dropped)
        return Pass::notAFeed;
    if (trouble.mismatched)
        return Pass::repair;
    const bool halted = parser->disableSAX != 0;
    if (halted || trouble.cutOff || !stream.closed() || !stream.channelSeen())
        return Pass::notAFeed;
    return Pass::feed;
}

} // namespace

std::optional<RepositoryEntry> readRssFeed(const QByteArray& bytes, const QUrl& url,
                                           const QDateTime& now, const FeedItemSink& level,
                                           const std::function<void()>& restart)
{
    // The repair may add a little to the document; both must fit libxml2's int lengths.
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int>::max() / 2)
        return std::nullopt;
    const QuietLibxml quiet;
    QByteArray document = bytes;
    for (;;) {
        FeedStream stream(url, level);
        switch (readPass(document, stream)) {
        case Pass::feed:
            return stream.record(now);
        case Pass::notAFeed:
            return std::nullopt;
        case Pass::repair:
            break;
        }
        // Feeds are often written by hand with inline markup left open; they are read again
        // with the open elements closed, the levels handed on so far voided. A document whose
        // end tags still do not match is beyond repair. Text in another encoding than an
        // ASCII superset is not looked into.
        restart();
        if (document.contains('\0'))
            return std::nullopt;
        auto repaired = closeOpenElements(document);
        if (!repaired || *repaired == document)
            return std::nullopt;
        document = std::move(*repaired);
    }
}

std::optional<ParsedFeed> parseRssFeed(const QByteArray& bytes, const QUrl& url,
                                       const QDateTime& now)
{
    QList<FeedItem> items;
    const auto record = readRssFeed(
        bytes, url, now, [&](FeedItem&& item) { items.append(std::move(item)); },
        [&] { items.clear(); });
    if (!record)
        return std::nullopt;
    return ParsedFeed{*record, std::move(items), true};
}
