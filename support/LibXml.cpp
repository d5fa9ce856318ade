#include "support/LibXml.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <pugixml.hpp>
#include <string_view>

#include "platform/CodePage.h"

namespace {

// Code page of a Chinese encoding name of an XML declaration; 0 for the ones the parser reads itself.
int chineseCodePage(const QString& encoding) {
    const QString e = encoding.toLower();
    if (e == QLatin1String("gb2312") || e == QLatin1String("gbk") || e == QLatin1String("cp936") ||
        e == QLatin1String("x-gbk") || e == QLatin1String("ms936") || e == QLatin1String("windows-936"))
        return kv::codepage::GBK;
    if (e == QLatin1String("gb18030")) return 54936;
    if (e == QLatin1String("big5") || e == QLatin1String("big5-hkscs") || e == QLatin1String("cp950") ||
        e == QLatin1String("x-big5"))
        return kv::codepage::BIG5;
    return 0;
}

const QRegularExpression& declarationPattern() {
    static const QRegularExpression re(
        QStringLiteral("^\\s*<\\?xml\\b[^>]*?\\bencoding\\s*=\\s*([\"'])([A-Za-z0-9._:-]+)\\1"));
    return re;
}

// Replaces the encoding named by the declaration at the head of utf8 text by UTF-8.
QByteArray renameDeclaredEncoding(const QString& text) {
    const QRegularExpressionMatch m = declarationPattern().match(text);
    if (!m.hasMatch()) return text.toUtf8();
    QString out = text;
    out.replace(m.capturedStart(2), m.capturedLength(2), QStringLiteral("UTF-8"));
    return out.toUtf8();
}

void appendText(const pugi::xml_node& node, QByteArray& out) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            out += child.value();
        else if (child.type() == pugi::node_element)
            appendText(child, out);
    }
}

pugi::xpath_node selectFirst(const pugi::xml_node& from, const QString& xpath) {
    try {
        const pugi::xpath_query query(xpath.toUtf8().constData());
        if (!query)
            throw EXMLError(QStringLiteral("Invalid XPath expression '%1': %2")
                                .arg(xpath, QString::fromUtf8(query.result().description())));
        return query.evaluate_node(from);
    } catch (const pugi::xpath_exception& e) {
        throw EXMLError(
            QStringLiteral("Invalid XPath expression '%1': %2").arg(xpath, QString::fromUtf8(e.what())));
    }
}

} // namespace

// Node -----------------------------------------------------------------------------------------------

TDOMNodeType TDOMNode::nodeType() const {
    if (FAttribute) return NODE_ATTRIBUTE;
    switch (pugi::xml_node(FNode).type()) {
    case pugi::node_element:
        return NODE_ELEMENT;
    case pugi::node_pcdata:
        return NODE_TEXT;
    case pugi::node_cdata:
        return NODE_CDATA_SECTION;
    case pugi::node_pi:
    case pugi::node_declaration:
        return NODE_PROCESSING_INSTRUCTION;
    case pugi::node_comment:
        return NODE_COMMENT;
    case pugi::node_document:
        return NODE_DOCUMENT;
    default:
        return NODE_INVALID;
    }
}

QString TDOMNode::nodeName() const {
    if (FAttribute) return QString::fromUtf8(pugi::xml_attribute(FAttribute).name());
    switch (nodeType()) {
    case NODE_TEXT:
        return QStringLiteral("#text");
    case NODE_CDATA_SECTION:
        return QStringLiteral("#cdata-section");
    case NODE_COMMENT:
        return QStringLiteral("#comment");
    case NODE_DOCUMENT:
        return QStringLiteral("#document");
    case NODE_INVALID:
        return {};
    default:
        return QString::fromUtf8(pugi::xml_node(FNode).name());
    }
}

QString TDOMNode::text() const {
    if (FAttribute) return QString::fromUtf8(pugi::xml_attribute(FAttribute).value());
    const pugi::xml_node node(FNode);
    if (!node) return {};
    if (node.type() != pugi::node_element && node.type() != pugi::node_document)
        return QString::fromUtf8(node.value());
    QByteArray out;
    appendText(node, out);
    return QString::fromUtf8(out);
}

TDOMNamedNodeMap TDOMNode::attributes() const {
    return TDOMNamedNodeMap(*this);
}

TDOMNode TDOMNode::selectSingleNode(const QString& xpath) const {
    if (!FNode || FAttribute) return {};
    const pugi::xpath_node found = selectFirst(pugi::xml_node(FNode), xpath);
    if (found.attribute())
        return TDOMNode(FDoc, found.parent().internal_object(), found.attribute().internal_object());
    if (found.node()) return TDOMNode(FDoc, found.node().internal_object(), nullptr);
    return {};
}

// Attribute map ----------------------------------------------------------------------------------------

int TDOMNamedNodeMap::length() const {
    if (FElement.FAttribute || !FElement.FNode) return 0;
    int n = 0;
    for (pugi::xml_attribute a = pugi::xml_node(FElement.FNode).first_attribute(); a; a = a.next_attribute())
        ++n;
    return n;
}

TDOMNode TDOMNamedNodeMap::item(int index) const {
    if (FElement.FAttribute || !FElement.FNode || index < 0) return {};
    pugi::xml_attribute a = pugi::xml_node(FElement.FNode).first_attribute();
    for (int i = 0; a && i < index; ++i)
        a = a.next_attribute();
    return a ? TDOMNode(FElement.FDoc, FElement.FNode, a.internal_object()) : TDOMNode();
}

TDOMNode TDOMNamedNodeMap::getNamedItem(const QString& name) const {
    if (FElement.FAttribute || !FElement.FNode) return {};
    const pugi::xml_attribute a = pugi::xml_node(FElement.FNode).attribute(name.toUtf8().constData());
    return a ? TDOMNode(FElement.FDoc, FElement.FNode, a.internal_object()) : TDOMNode();
}

// Well-formedness ------------------------------------------------------------------------------------------

namespace {

// Offset of the first byte that is not part of valid UTF-8, or -1.
qsizetype invalidUtf8At(const QByteArray& bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = b[i];
        int follow = 0;
        char32_t min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            follow = 1;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            follow = 2;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            follow = 3;
            min = 0x10000;
        } else {
            return i;
        }
        char32_t code = c & (0x3F >> follow);
        for (int k = 1; k <= follow; ++k) {
            if (i + k >= n || (b[i + k] & 0xC0) != 0x80) return i;
            code = (code << 6) | (b[i + k] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
        i += follow + 1;
    }
    return -1;
}

// Whether raw text (entities not yet replaced) holds only references XML defines.
bool referencesDefined(const char* text) {
    for (const char* p = std::strchr(text, '&'); p; p = std::strchr(p + 1, '&')) {
        const char* q = p + 1;
        if (*q == '#') {
            ++q;
            const bool hex = *q == 'x';
            if (hex) ++q;
            const char* digits = q;
            while (hex ? std::isxdigit(static_cast<unsigned char>(*q))
                       : std::isdigit(static_cast<unsigned char>(*q)))
                ++q;
            if (q == digits || *q != ';') return false;
            continue;
        }
        const char* end = std::strchr(q, ';');
        if (!end) return false;
        const std::string_view name(q, size_t(end - q));
        if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot") return false;
    }
    return true;
}

struct Malformation {
    QString what;
    ptrdiff_t offset = -1;
};

// What pugixml reads without complaint and yet is not XML: a second root, text outside the root, an
// attribute given twice, a reference to an entity XML does not define. A reader that takes such a
// file would apply what it guessed instead of reporting the file.
Malformation malformation(const QByteArray& utf8) {
    if (const qsizetype at = invalidUtf8At(utf8); at >= 0)
        return {QStringLiteral("bytes that are not UTF-8 in a text read as UTF-8"), at};
    pugi::xml_document raw;
    const unsigned options = (pugi::parse_default & ~pugi::parse_escapes) | pugi::parse_fragment;
    if (!raw.load_buffer(utf8.constData(), size_t(utf8.size()), options, pugi::encoding_utf8)) return {};
    int roots = 0;
    for (pugi::xml_node n = raw.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element && ++roots > 1)
            return {QStringLiteral("a second root element"), n.offset_debug()};
        if (n.type() == pugi::node_pcdata) {
            const std::string_view text(n.value());
            const size_t at = text.find_first_not_of(" \t\r\n");
            if (at != std::string_view::npos)
                return {QStringLiteral("text outside the root element"), n.offset_debug() + ptrdiff_t(at)};
        }
    }
    Malformation found;
    struct Walker : pugi::xml_tree_walker {
        Malformation* found;
        bool for_each(pugi::xml_node& n) override {
            if (n.type() == pugi::node_pcdata && !referencesDefined(n.value())) {
                *found = {QStringLiteral("a reference to an undefined entity"), n.offset_debug()};
                return false;
            }
            if (n.type() != pugi::node_element) return true;
            for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
                if (!referencesDefined(a.value())) {
                    *found = {QStringLiteral("a reference to an undefined entity in attribute %1")
                                  .arg(QString::fromUtf8(a.name())),
                              n.offset_debug()};
                    return false;
                }
                for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
                    if (std::strcmp(a.name(), b.name()) == 0) {
                        *found = {QStringLiteral("attribute %1 given twice").arg(QString::fromUtf8(a.name())),
                                  n.offset_debug()};
                        return false;
                    }
            }
            return true;
        }
    } walker;
    walker.found = &found;
    raw.traverse(walker);
    return found;
}

} // namespace

// Document ---------------------------------------------------------------------------------------------

TDOMDocument::TDOMDocument() : FDoc(std::make_shared<pugi::xml_document>()) {}

bool TDOMDocument::parse(const QByteArray& utf8) {
    // A fresh document: nodes selected from the previous one keep that one alive.
    FDoc = std::make_shared<pugi::xml_document>();
    FError = {};
    pugi::xml_parse_result result = FDoc->load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()),
                                                      pugi::parse_default, pugi::encoding_utf8);
    QString description = QString::fromUtf8(result.description());
    if (result) {
        const Malformation bad = malformation(utf8);
        if (bad.offset < 0) return true;
        result.status = pugi::status_bad_pcdata;
        result.offset = bad.offset;
        description = bad.what;
    }
    return failed(utf8, static_cast<int>(result.status), result.offset, description);
}

bool TDOMDocument::failed(const QByteArray& utf8, int status, ptrdiff_t offset, const QString& description) {
    FError.errorCode = status;
    FError.line = 1;
    const qsizetype end = std::clamp<qsizetype>(offset, 0, utf8.size());
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < end; ++i)
        if (utf8[i] == '\n') {
            ++FError.line;
            lineStart = i + 1;
        }
    FError.linepos = static_cast<int>(QString::fromUtf8(utf8.mid(lineStart, end - lineStart)).size()) + 1;
    FError.reason =
        QStringLiteral("%1 (line %2, position %3)").arg(description).arg(FError.line).arg(FError.linepos);
    FDoc->reset();
    return false;
}

bool TDOMDocument::load(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        FDoc = std::make_shared<pugi::xml_document>();
        FError = {static_cast<int>(pugi::status_file_not_found),
                  QStringLiteral("Cannot open file %1").arg(fileName), 0, 0};
        return false;
    }
    bool decoded = true;
    const QByteArray utf8 = kv::xml::toUtf8(file.readAll(), &decoded);
    // Bytes the declared encoding does not have would come out as replacement characters.
    if (!decoded) {
        FDoc = std::make_shared<pugi::xml_document>();
        FError = {};
        return failed(utf8, static_cast<int>(pugi::status_bad_pcdata), 0,
                      QStringLiteral("bytes the declared encoding does not have"));
    }
    return parse(utf8);
}

bool TDOMDocument::loadXML(const QString& text) {
    return parse(renameDeclaredEncoding(text));
}

TDOMNode TDOMDocument::documentElement() const {
    const pugi::xml_node root = FDoc->document_element();
    return root ? TDOMNode(FDoc, root.internal_object(), nullptr) : TDOMNode();
}

TDOMNode TDOMDocument::selectSingleNode(const QString& xpath) const {
    return TDOMNode(FDoc, FDoc->internal_object(), nullptr).selectSingleNode(xpath);
}

IXMLDOMDocument CreateDOMDocument() {
    return std::make_shared<TDOMDocument>();
}

// Encodings --------------------------------------------------------------------------------------------

namespace kv::xml {

QByteArray toUtf8(const QByteArray& bytes, bool* ok) {
    if (ok) *ok = true;
    if (bytes.startsWith("\xEF\xBB\xBF")) return renameDeclaredEncoding(QString::fromUtf8(bytes.mid(3)));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                            : QStringDecoder::Utf16BE);
        const QString text = decoder.decode(bytes.mid(2));
        if (ok) *ok = !decoder.hasError();
        return renameDeclaredEncoding(text);
    }
    // The declaration is ASCII in every encoding we read here.
    const QRegularExpressionMatch m = declarationPattern().match(QString::fromLatin1(bytes.left(256)));
    const int codePage = m.hasMatch() ? chineseCodePage(m.captured(2)) : 0;
    if (codePage == 0) {
        const QString e = m.hasMatch() ? m.captured(2).toLower() : QString();
        if (e == QLatin1String("iso-8859-1") || e == QLatin1String("latin1") ||
            e == QLatin1String("iso8859-1"))
            return renameDeclaredEncoding(QString::fromLatin1(bytes));
        if (e == QLatin1String("windows-1252") || e == QLatin1String("cp1252"))
            return renameDeclaredEncoding(kv::codepage::decode(bytes, 1252, ok));
        return bytes;
    }
    const QString text = kv::codepage::decode(bytes, codePage, ok);
    return renameDeclaredEncoding(text);
}

} // namespace kv::xml
