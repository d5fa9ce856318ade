#pragma once
// XML documents for the language files: load from a file or a text, root element, XPath selection
// ("//%s" for an element anywhere, "//%s/@%s" for its attribute), node names, types and texts,
// attribute maps and the parse error of the last load. Backed by pugixml, whose XPath is complete.
//
// Files declared GB2312, GBK, GB18030 or BIG5 are transcoded to UTF-8 before parsing. Nodes keep their
// document alive, so a node may outlive the document object it was selected from.
#include <QString>
#include <memory>

#include "platform/KvError.h"

namespace pugi {
struct xml_node_struct;
struct xml_attribute_struct;
class xml_document;
} // namespace pugi

// Raised for an XPath expression that does not parse.
class EXMLError : public EKvError {
public:
    using EKvError::EKvError;
};

enum TDOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9
};

class TDOMNamedNodeMap;

// An element, attribute or other node of a document; a default node is "nothing" (isNull()).
class TDOMNode {
public:
    TDOMNode() = default;

    bool isNull() const { return !FNode && !FAttribute; }
    explicit operator bool() const { return !isNull(); }

    TDOMNodeType nodeType() const;
    QString nodeName() const;
    // An attribute's value; an element's text is all the text it contains.
    QString text() const;
    TDOMNamedNodeMap attributes() const;
    // First node the XPath expression selects from here; a null node when none. EXMLError when the
    // expression does not parse.
    TDOMNode selectSingleNode(const QString& xpath) const;

private:
    friend class TDOMDocument;
    friend class TDOMNamedNodeMap;
    TDOMNode(std::shared_ptr<pugi::xml_document> doc, pugi::xml_node_struct* node,
             pugi::xml_attribute_struct* attr)
        : FDoc(std::move(doc)), FNode(node), FAttribute(attr) {}
    std::shared_ptr<pugi::xml_document> FDoc;
    pugi::xml_node_struct* FNode = nullptr;
    pugi::xml_attribute_struct* FAttribute = nullptr; // set for attribute nodes (FNode is then the owner)
};

// The attributes of an element.
class TDOMNamedNodeMap {
public:
    int length() const;
    TDOMNode item(int index) const;
    TDOMNode getNamedItem(const QString& name) const;

private:
    friend class TDOMNode;
    explicit TDOMNamedNodeMap(TDOMNode element) : FElement(std::move(element)) {}
    TDOMNode FElement;
};

struct TDOMParseError {
    int errorCode = 0; // 0 when the last load succeeded
    QString reason;
    int line = 0;
    int linepos = 0;
};

class TDOMDocument {
public:
    TDOMDocument();

    // Both answer whether a document was parsed; on failure parseError() says why and the document is empty.
    bool load(const QString& fileName);
    bool loadXML(const QString& text);

    TDOMNode documentElement() const;
    TDOMNode selectSingleNode(const QString& xpath) const;
    const TDOMParseError& parseError() const { return FError; }

private:
    bool parse(const QByteArray& utf8);
    // Records why utf8 is not a document, at offset; returns false.
    bool failed(const QByteArray& utf8, int status, ptrdiff_t offset, const QString& description);
    std::shared_ptr<pugi::xml_document> FDoc;
    TDOMParseError FError;
};

using IXMLDOMDocument = std::shared_ptr<TDOMDocument>;

IXMLDOMDocument CreateDOMDocument();

namespace kv::xml {
// The bytes of an XML file as UTF-8: a declared Chinese encoding is transcoded and the declaration
// then names UTF-8. ok is false when a byte sequence did not belong to the declared encoding.
QByteArray toUtf8(const QByteArray& bytes, bool* ok = nullptr);
} // namespace kv::xml
