#include "catalogue/FeedDate.h"
#include "catalogue/FeedParsers.h"
#include "install/Locations.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <map>
#include <memory>
#include <vector>

namespace {

const xmlChar* const kMediaNamespace = BAD_CAST "http://search.yahoo.com/mrss/";
const QString kLevelType = QStringLiteral("application/x-quillmor-level");
constexpr quint32 kMinimumTtl = 1440;   // minutes: a feed is never looked at more than daily
constexpr quint32 kMaximumTtl = 525600; // minutes: and at least once a year

// Repair what can be repaired, but never reach the network, never load a DTD and never
// substitute entities (that would read local files named by external entities).
constexpr int kParseOptions = XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR |
                              XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

// Deleters that hand libxml2's objects back to it.
struct FreeParser
{
    void operator()(xmlParserCtxt* p) const { xmlFreeParserCtxt(p); }
};
struct FreeDoc
{
    void operator()(xmlDoc* p) const { xmlFreeDoc(p); }
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

void noteParseError(void* data, xmlError* error)
{
    auto* parser = static_cast<xmlParserCtxt*>(data);
    if (!error || !parser || !parser->_private)
        return;
    auto* trouble = static_cast<ParseTrouble*>(parser->_private);
    switch (error->code) {
    case XML_ERR_TAG_NOT_FINISHED:
        trouble->cutOff = true;
        break;
    case XML_ERR_TAG_NAME_MISMATCH:
        trouble->mismatched = true;
        break;
    // A start tag the parser could not finish (an attribute value over its size limit, an
    // unquoted one) is skipped with everything it held: an enclosure lost this way would
    // take its level out of the catalogue.
    case XML_ERR_GT_REQUIRED:
    case XML_ERR_ATTRIBUTE_NOT_FINISHED:
    case XML_ERR_NAME_TOO_LONG:
    case XML_ERR_NO_MEMORY:
    case XML_ERR_INTERNAL_ERROR:
        trouble->dropped = true;
        break;
    default:
        break;
    }
}

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

using Document = std::unique_ptr<xmlDoc, FreeDoc>;

// The document, or none where the parser had to stop early (nesting too deep, an entity
// loop, no memory), ran out of document inside the root element, or threw content away:
// each leaves only part of the feed, whose item list would drop the levels it lost.
std::optional<Document> parseDocument(const QByteArray& bytes)
{
    const std::unique_ptr<xmlParserCtxt, FreeParser> parser(xmlNewParserCtxt());
    if (!parser)
        return std::nullopt;
    ParseTrouble trouble;
    parser->_private = &trouble;
    parser->sax->serror = noteParseError;
    Document doc(xmlCtxtReadMemory(parser.get(), bytes.constData(), int(bytes.size()), nullptr,
                                   nullptr, kParseOptions));
    const bool halted = parser->disableSAX != 0;
    if (!doc || halted || trouble.dropped)
        return std::nullopt;
    if (trouble.mismatched) {
        // Parsed again with the open elements closed; a document whose end tags still do not
        // match is beyond repair. Text in another encoding than an ASCII superset is not
        // looked into.
        if (bytes.contains('\0'))
            return std::nullopt;
        const auto repaired = closeOpenElements(bytes);
        if (!repaired || *repaired == bytes)
            return std::nullopt;
        return parseDocument(*repaired);
    }
    if (trouble.cutOff)
        return std::nullopt;
    return doc;
}

bool declaresEntities(const xmlDoc* doc)
{
    for (const xmlDtd* dtd : {doc->intSubset, doc->extSubset}) {
        if (!dtd)
            continue;
        for (const xmlNode* node = dtd->children; node; node = node->next) {
            if (node->type == XML_ENTITY_DECL)
                return true;
        }
    }
    return false;
}

// The string value of a node, built from its text and CDATA alone: entity references are
// never followed, so the text cannot grow beyond the document.
void appendText(const xmlNode* node, QByteArray& out)
{
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
            out.append(reinterpret_cast<const char*>(child->content));
        else if (child->type == XML_ELEMENT_NODE)
            appendText(child, out);
    }
}

QString text(const xmlNode* node)
{
    const xmlNode* only = node->children;
    if (only && !only->next &&
        (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE))
        return QString::fromUtf8(reinterpret_cast<const char*>(only->content));
    QByteArray utf8;
    appendText(node, utf8);
    return QString::fromUtf8(utf8);
}

// An attribute without a namespace, as written in the document (defaults a DTD might declare
// are not applied).
std::optional<QString> attribute(const xmlNode* element, const char* name)
{
    for (const xmlAttr* attr = element->properties; attr; attr = attr->next) {
        if (!attr->ns && xmlStrEqual(attr->name, BAD_CAST name))
            return text(reinterpret_cast<const xmlNode*>(attr));
    }
    return std::nullopt;
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

// An element of the given name outside any namespace, as a feed's own elements are.
bool isElement(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && !node->ns && xmlStrEqual(node->name, BAD_CAST name);
}

// A Media RSS element of the given name, whatever prefix the document binds the namespace to.
bool isMedia(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && node->ns &&
           xmlStrEqual(node->ns->href, kMediaNamespace) && xmlStrEqual(node->name, BAD_CAST name);
}

template <typename Match> const xmlNode* firstChild(const xmlNode* parent, Match match)
{
    for (const xmlNode* child = parent->children; child; child = child->next) {
        if (match(child))
            return child;
    }
    return nullptr;
}

const xmlNode* firstChild(const xmlNode* parent, const char* name)
{
    return firstChild(parent, [name](const xmlNode* node) { return isElement(node, name); });
}

std::optional<QString> firstText(const xmlNode* parent, const char* name)
{
    const xmlNode* node = firstChild(parent, name);
    return node ? std::optional(text(node)) : std::nullopt;
}

// The first element below `from`, in document order, that `take` accepts.
template <typename Take> std::optional<QString> firstBelow(const xmlNode* from, const Take& take)
{
    for (const xmlNode* child = from->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (auto found = take(child))
            return found;
        if (auto found = firstBelow(child, take))
            return found;
    }
    return std::nullopt;
}

// The media namespace counts only where the root element declares it, under a real prefix.
bool rootDeclaresMedia(const xmlNode* root)
{
    for (const xmlNs* ns = root->nsDef; ns; ns = ns->next) {
        if (ns->prefix && xmlStrEqual(ns->href, kMediaNamespace))
            return true;
    }
    return false;
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

// A picture's address as the launcher may fetch it: resolved against the feed, http or https.
std::optional<QString> pictureAddress(const xmlNode* element, const QUrl& feed)
{
    const std::optional<QString> url = attribute(element, "url");
    if (!url)
        return std::nullopt;
    const QString resolved = resolvedLink(url->trimmed(), feed);
    const QUrl parsed(resolved, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (parsed.scheme() != u"http" && parsed.scheme() != u"https"))
        return std::nullopt;
    return resolved;
}

// The item's picture: its first thumbnail, else its first image among the media it offers,
// wherever a media group or a media content holds them.
std::optional<QString> pictureOf(const xmlNode* item, const QUrl& feed)
{
    const auto thumbnail = [&](const xmlNode* node) {
        return isMedia(node, "thumbnail") ? pictureAddress(node, feed) : std::nullopt;
    };
    if (auto address = firstBelow(item, thumbnail))
        return address;
    return firstBelow(item, [&](const xmlNode* node) -> std::optional<QString> {
        if (!isMedia(node, "content"))
            return std::nullopt;
        const bool image = attribute(node, "type").value_or(QString()).startsWith(u"image/") ||
                           attribute(node, "medium") == QStringLiteral("image");
        return image ? pictureAddress(node, feed) : std::nullopt;
    });
}

// Reads the children of a feed's channel one at a time, each whole: its first title, link,
// description and ttl for the feed's record, and its items for the level list.
class ChannelReader
{
public:
    ChannelReader(const QUrl& feed, bool hasMediaPrefix, const FeedItemSink& sink)
        : m_feed(feed), m_hasMediaPrefix(hasMediaPrefix), m_sink(sink)
    {
    }

    // Whether the element is worth reading whole; any other child is passed over unread.
    bool wants(const xmlNode* element) const
    {
        if (isElement(element, "item"))
            return true;
        for (const auto& [name, value] : m_texts) {
            if (!value && isElement(element, name))
                return true;
        }
        return false;
    }

    void read(const xmlNode* element)
    {
        if (isElement(element, "item")) {
            if (auto level = readItem(element))
                m_sink(std::move(*level));
            return;
        }
        for (auto& [name, value] : m_texts) {
            if (!value && isElement(element, name)) {
                value = text(element);
                return;
            }
        }
    }

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
    std::optional<FeedItem> readItem(const xmlNode* item) const
    {
        const xmlNode* enclosure = firstChild(item, "enclosure");
        if (!enclosure || attribute(enclosure, "type") != kLevelType)
            return std::nullopt;
        const std::optional<QString> download = attribute(enclosure, "url");
        if (!download || download->isEmpty())
            return std::nullopt;

        // A feed leaves out what it likes; the missing keys stay out, so that the merge falls
        // back as it does for text feeds.
        QString author;
        QByteArray hash;
        std::optional<QString> picture;
        if (m_hasMediaPrefix) {
            const auto media = [](const char* name) {
                return [name](const xmlNode* node) {
                    return isMedia(node, name);
                };
            };
            const xmlNode* hashElement = firstChild(item, media("hash"));
            if (hashElement && attribute(hashElement, "algo") == QStringLiteral("sha-1"))
                hash = hashBytes(text(hashElement));
            const xmlNode* credit = firstChild(item, media("credit"));
            if (credit && attribute(credit, "role") == QStringLiteral("author"))
                author = text(credit);
            picture = pictureOf(item, m_feed);
        }
        std::optional<QDateTime> date;
        if (auto dateText = firstText(item, "pubDate"))
            date = m_dates.parse(*dateText);

        // Keys in their order in the map, each added at its end without a search.
        std::map<QString, QVariant> level;
        const auto add = [&level](const QString& key, QVariant value) {
            level.emplace_hint(level.end(), key, std::move(value));
        };
        add(LevelKey::author, author);
        if (auto description = firstText(item, "description"))
            add(LevelKey::description, *description);
        if (auto guid = firstText(item, "guid"))
            add(LevelKey::guid, guid->trimmed());
        add(LevelKey::length, integerValue(attribute(enclosure, "length").value_or("")));
        add(LevelKey::name, firstText(item, "title").value_or(QString()));
        if (date)
            add(LevelKey::pubDateRemote, *date);
        add(LevelKey::sha1Remote, hash);
        add(LevelKey::urlDownload, resolvedLink(*download, m_feed));
        if (picture)
            add(LevelKey::urlThumbnail, *picture);
        if (auto website = firstText(item, "link"))
            add(LevelKey::urlWebsite, resolvedLink(*website, m_feed));
        return FeedItem(std::move(level));
    }

    quint32 secondsToNextCheck() const
    {
        qint64 minutes = 10080;
        // A ttl below a day, negative ones included, means a day; one beyond a year is taken
        // as a year, so that a stray number can neither silence a feed for ever nor wrap round
        // into a check at every start.
        if (const auto& ttl = m_texts[3].second)
            minutes = std::clamp(integerValue(*ttl), qint64(kMinimumTtl), qint64(kMaximumTtl));
        return quint32(minutes * 60);
    }

    const QUrl& m_feed;
    const bool m_hasMediaPrefix;
    const FeedItemSink& m_sink;
    const FeedDate m_dates;
    std::array<std::pair<const char*, std::optional<QString>>, 4> m_texts{
        {{"title", {}}, {"link", {}}, {"description", {}}, {"ttl", {}}}};
};

enum class Pass
{
    feed,      // read whole: the levels handed on are the feed's
    notAFeed,  // no RSS channel, or a document the launcher will not read
    unreadable // not well-formed: only the repairing parser can tell what it holds
};

struct FreeTextReader
{
    void operator()(xmlTextReader* p) const { xmlFreeTextReader(p); }
};

void noteReaderError(void* data, xmlError* error)
{
    if (error && error->level >= XML_ERR_ERROR && error->domain == XML_FROM_PARSER)
        *static_cast<bool*>(data) = true;
}

// The document read as it streams by, each channel child read whole and then freed, so
// memory holds the bytes and one item. The stream stops at the first fault in the markup,
// which leaves the document to the repairing parser.
Pass streamChannel(const QByteArray& bytes, const QUrl& url, std::optional<ChannelReader>& channel,
                   const FeedItemSink& sink)
{
    const std::unique_ptr<xmlTextReader, FreeTextReader> reader(
        xmlReaderForMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr, kParseOptions));
    if (!reader)
        return Pass::unreadable;
    bool faulty = false;
    xmlTextReaderSetStructuredErrorHandler(reader.get(), noteReaderError, &faulty);
    bool channelSeen = false;
    int status = xmlTextReaderRead(reader.get());
    while (status == 1 && !faulty) {
        if (xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT) {
            status = xmlTextReaderRead(reader.get());
            continue;
        }
        const xmlNode* node = xmlTextReaderCurrentNode(reader.get());
        switch (xmlTextReaderDepth(reader.get())) {
        case 0: // the root: any document type before it has been read by now
            if (!node || declaresEntities(node->doc) || !isElement(node, "rss"))
                return Pass::notAFeed;
            channel.emplace(url, rootDeclaresMedia(node), sink);
            status = xmlTextReaderRead(reader.get());
            break;
        case 1: // only the first channel is looked into
            if (!channelSeen && isElement(node, "channel")) {
                channelSeen = true;
                status = xmlTextReaderRead(reader.get());
            } else {
                status = xmlTextReaderNext(reader.get());
            }
            break;
        default: // a child of that channel, as nothing else is descended into
            if (channel->wants(node)) {
                const xmlNode* whole = xmlTextReaderExpand(reader.get());
                if (!whole)
                    return Pass::unreadable;
                channel->read(whole);
            }
            status = xmlTextReaderNext(reader.get());
        }
    }
    if (status != 0 || faulty)
        return Pass::unreadable;
    return channelSeen ? Pass::feed : Pass::notAFeed;
}

// The whole document as a tree, after repair where the markup needs it.
bool readTree(const QByteArray& bytes, const QUrl& url, std::optional<ChannelReader>& reader,
              const FeedItemSink& sink)
{
    const std::optional<Document> doc = parseDocument(bytes);
    if (!doc || declaresEntities(doc->get()))
        return false;
    const xmlNode* root = xmlDocGetRootElement(doc->get());
    const xmlNode* rss = firstChild(reinterpret_cast<const xmlNode*>(doc->get()), "rss");
    const xmlNode* channel = rss ? firstChild(rss, "channel") : nullptr;
    if (!root || !channel)
        return false;
    reader.emplace(url, rootDeclaresMedia(root), sink);
    for (const xmlNode* child = channel->children; child; child = child->next) {
        if (reader->wants(child))
            reader->read(child);
    }
    return true;
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
    std::optional<ChannelReader> channel;
    switch (streamChannel(bytes, url, channel, level)) {
    case Pass::feed:
        return channel->record(now);
    case Pass::notAFeed:
        return std::nullopt;
    case Pass::unreadable:
        break;
    }
    // Sloppy markup is common in hand-written feeds; the levels seen before the fault are
    // read again from the repaired document.
    channel.reset();
    restart();
    if (!readTree(bytes, url, channel, level))
        return std::nullopt;
    return channel->record(now);
}

std::optional<ParsedFeed> parseRssFeed(const QByteArray& bytes, const QUrl& url,
                                       const QDateTime& now)
{
    QVariantList items;
    const auto record = readRssFeed(
        bytes, url, now, [&](FeedItem&& item) { items.append(std::move(item)); },
        [&] { items.clear(); });
    if (!record)
        return std::nullopt;
    return ParsedFeed{*record, std::move(items), true};
}
