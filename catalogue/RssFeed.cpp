#include "catalogue/FeedDate.h"
#include "catalogue/FeedParsers.h"
#include "install/Locations.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const xmlChar* const kMediaNamespace = BAD_CAST "http://search.yahoo.com/mrss/";
// The feed may bind the media namespace to any prefix; queries use this one for it.
const xmlChar* const kMediaPrefix = BAD_CAST "qmedia";
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
struct FreeXPathContext
{
    void operator()(xmlXPathContext* p) const { xmlXPathFreeContext(p); }
};
struct FreeXPathObject
{
    void operator()(xmlXPathObject* p) const { xmlXPathFreeObject(p); }
};
struct FreeXPathExpression
{
    void operator()(xmlXPathCompExpr* p) const { xmlXPathFreeCompExpr(p); }
};
using XPathObject = std::unique_ptr<xmlXPathObject, FreeXPathObject>;
using XPathExpression = std::unique_ptr<xmlXPathCompExpr, FreeXPathExpression>;

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

// The queries of one feed, compiled once and run against the channel and then every item.
class RssReader
{
public:
    RssReader(xmlDoc* doc, bool hasMediaPrefix)
        : m_context(xmlXPathNewContext(doc)), m_hasMediaPrefix(hasMediaPrefix)
    {
        if (!m_context)
            return;
        m_context->error = ignoreStructuredError;
        if (hasMediaPrefix)
            xmlXPathRegisterNs(m_context.get(), kMediaPrefix, kMediaNamespace);
    }

    bool isValid() const { return m_context != nullptr; }

    // The first node the query finds from the given node, or none.
    xmlNode* first(const char* query, xmlNode* from)
    {
        const QList<xmlNode*> found = all(compiled(query), from, 1);
        return found.isEmpty() ? nullptr : found.first();
    }

    QList<xmlNode*> all(const char* query, xmlNode* from)
    {
        return all(compiled(query), from, std::numeric_limits<int>::max());
    }

    std::optional<QString> firstText(const char* query, xmlNode* from)
    {
        const xmlNode* node = first(query, from);
        return node ? std::optional(text(node)) : std::nullopt;
    }

    bool hasMediaPrefix() const { return m_hasMediaPrefix; }

private:
    xmlXPathCompExpr* compiled(const char* query)
    {
        XPathExpression& expression = m_compiled[query];
        if (!expression)
            expression.reset(xmlXPathCtxtCompile(m_context.get(), BAD_CAST query));
        return expression.get();
    }

    QList<xmlNode*> all(xmlXPathCompExpr* compiled, xmlNode* from, int limit)
    {
        QList<xmlNode*> nodes;
        if (!compiled)
            return nodes;
        m_context->node = from;
        const XPathObject result(xmlXPathCompiledEval(compiled, m_context.get()));
        if (!result || result->type != XPATH_NODESET || !result->nodesetval)
            return nodes;
        const int count = qMin(result->nodesetval->nodeNr, limit);
        nodes.reserve(count);
        for (int i = 0; i < count; ++i)
            nodes.append(result->nodesetval->nodeTab[i]);
        return nodes;
    }

    std::unique_ptr<xmlXPathContext, FreeXPathContext> m_context;
    std::map<std::string, XPathExpression> m_compiled;
    bool m_hasMediaPrefix;
};

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
std::optional<QString> pictureOf(RssReader& reader, xmlNode* item, const QUrl& feed)
{
    for (const xmlNode* thumbnail : reader.all(".//qmedia:thumbnail", item)) {
        if (auto address = pictureAddress(thumbnail, feed))
            return address;
    }
    for (const xmlNode* content : reader.all(".//qmedia:content", item)) {
        const bool image = attribute(content, "type").value_or(QString()).startsWith(u"image/") ||
                           attribute(content, "medium") == QStringLiteral("image");
        if (auto address = image ? pictureAddress(content, feed) : std::nullopt)
            return address;
    }
    return std::nullopt;
}

std::optional<FeedItem> readItem(RssReader& reader, xmlNode* item, const FeedDate& dates,
                                 const QUrl& feed)
{
    const xmlNode* enclosure = reader.first("./enclosure[1]", item);
    if (!enclosure || attribute(enclosure, "type") != kLevelType)
        return std::nullopt;
    const std::optional<QString> download = attribute(enclosure, "url");
    if (!download || download->isEmpty())
        return std::nullopt;

    FeedItem level{{LevelKey::urlDownload, resolvedLink(*download, feed)},
                   {LevelKey::length, integerValue(attribute(enclosure, "length").value_or(""))},
                   {LevelKey::name, reader.firstText("./title[1]", item).value_or(QString())},
                   {LevelKey::author, QString()},
                   {LevelKey::sha1Remote, QByteArray()}};
    // Keys a feed leaves out stay out, so the merge falls back as it does for text feeds.
    if (auto description = reader.firstText("./description[1]", item))
        level.insert(LevelKey::description, *description);
    if (auto guid = reader.firstText("./guid[1]", item))
        level.insert(LevelKey::guid, guid->trimmed());
    if (auto website = reader.firstText("./link[1]", item))
        level.insert(LevelKey::urlWebsite, resolvedLink(*website, feed));
    if (auto dateText = reader.firstText("./pubDate[1]", item)) {
        if (auto date = dates.parse(*dateText))
            level.insert(LevelKey::pubDateRemote, *date);
    }
    if (reader.hasMediaPrefix()) {
        const xmlNode* hash = reader.first("./qmedia:hash[1]", item);
        if (hash && attribute(hash, "algo") == QStringLiteral("sha-1"))
            level.insert(LevelKey::sha1Remote, hashBytes(text(hash)));
        const xmlNode* credit = reader.first("./qmedia:credit[1]", item);
        if (credit && attribute(credit, "role") == QStringLiteral("author"))
            level.insert(LevelKey::author, text(credit));
        if (auto picture = pictureOf(reader, item, feed))
            level.insert(LevelKey::urlThumbnail, *picture);
    }
    return level;
}

quint32 secondsToNextCheck(RssReader& reader, xmlNode* root)
{
    qint64 minutes = 10080;
    // A ttl below a day, negative ones included, means a day; one beyond a year is taken as a
    // year, so that a stray number can neither silence a feed for ever nor wrap round into a
    // check at every start.
    if (auto ttl = reader.firstText("/rss[1]/channel[1]/ttl[1]", root))
        minutes = std::clamp(integerValue(*ttl), qint64(kMinimumTtl), qint64(kMaximumTtl));
    return quint32(minutes * 60);
}

} // namespace

std::optional<ParsedFeed> parseRssFeed(const QByteArray& bytes, const QUrl& url,
                                       const QDateTime& now)
{
    // The repair may add a little to the document; both must fit libxml2's int lengths.
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int>::max() / 2)
        return std::nullopt;
    const QuietLibxml quiet;
    const std::optional<Document> doc = parseDocument(bytes);
    if (!doc || declaresEntities(doc->get()))
        return std::nullopt;
    xmlNode* root = xmlDocGetRootElement(doc->get());
    if (!root)
        return std::nullopt;
    RssReader reader(doc->get(), rootDeclaresMedia(root));
    if (!reader.isValid() || !reader.first("/rss[1]/channel[1]", root))
        return std::nullopt;

    ParsedFeed feed{
        feedRecord(url, now, secondsToNextCheck(reader, root), FeedFormat::rss), {}, true};
    if (auto title = reader.firstText("/rss[1]/channel[1]/title[1]", root))
        feed.repository.insert(RepositoryKey::name, *title);
    if (auto description = reader.firstText("/rss[1]/channel[1]/description[1]", root))
        feed.repository.insert(RepositoryKey::description, *description);
    if (auto link = reader.firstText("/rss[1]/channel[1]/link[1]", root))
        feed.repository.insert(RepositoryKey::urlWebsite, resolvedLink(*link, url));

    const FeedDate dates;
    for (xmlNode* item : reader.all("/rss[1]/channel[1]/item", root)) {
        if (auto level = readItem(reader, item, dates, url))
            feed.items.append(*level);
    }
    return feed;
}
