#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "platform/CodePage.h"
#include "support/LibXml.h"

namespace {

const char* const kLanguageFile = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<TfrmKrta07SM Caption="主生产排程">
  <btnQuery Caption="查询" Hint="Query (F2)"/>
  <pnlTop>
    <edMB001 Text="品号"/>
  </pnlTop>
  <edMB001 Text="second"/>
  <E000001 Msg="Factory is required"/>
  <lblNote>before <b>bold</b><![CDATA[ <raw> ]]></lblNote>
</TfrmKrta07SM>)xml";

IXMLDOMDocument loaded(const QString& text) {
    IXMLDOMDocument doc = CreateDOMDocument();
    EXPECT_TRUE(doc->loadXML(text)) << doc->parseError().reason.toStdString();
    return doc;
}

} // namespace

TEST(XmlDocument, RootAttributesAndSelections) {
    const IXMLDOMDocument doc = loaded(QString::fromUtf8(kLanguageFile));
    const TDOMNode root = doc->documentElement();
    ASSERT_TRUE(root);
    EXPECT_EQ(root.nodeName(), "TfrmKrta07SM");
    EXPECT_EQ(root.nodeType(), NODE_ELEMENT);
    ASSERT_EQ(root.attributes().length(), 1);
    EXPECT_EQ(root.attributes().item(0).nodeName(), "Caption");
    EXPECT_EQ(root.attributes().item(0).text(), QString::fromUtf8("主生产排程"));
    EXPECT_FALSE(root.attributes().item(1));
    EXPECT_FALSE(root.attributes().item(-1));

    // "//%s": the first element of that name anywhere, in document order.
    const TDOMNode ed = root.selectSingleNode("//edMB001");
    ASSERT_TRUE(ed);
    EXPECT_EQ(ed.attributes().getNamedItem("Text").text(), QString::fromUtf8("品号"));
    EXPECT_FALSE(ed.attributes().getNamedItem("Caption"));
    const TDOMNode btn = doc->selectSingleNode("//btnQuery");
    ASSERT_EQ(btn.attributes().length(), 2);
    EXPECT_EQ(btn.attributes().item(1).nodeName(), "Hint");

    // "//%s/@%s": the attribute node itself.
    const TDOMNode msg = doc->documentElement().selectSingleNode("//E000001/@Msg");
    ASSERT_TRUE(msg);
    EXPECT_EQ(msg.nodeType(), NODE_ATTRIBUTE);
    EXPECT_EQ(msg.nodeName(), "Msg");
    EXPECT_EQ(msg.text(), "Factory is required");
    EXPECT_EQ(msg.attributes().length(), 0);
    EXPECT_FALSE(msg.selectSingleNode("//btnQuery"));

    EXPECT_FALSE(doc->selectSingleNode("//Missing"));
    EXPECT_FALSE(doc->selectSingleNode("//E000002/@Msg"));
    EXPECT_EQ(doc->selectSingleNode("//lblNote").text(), "before bold <raw> ");
    EXPECT_EQ(TDOMNode().text(), "");
    EXPECT_EQ(TDOMNode().nodeType(), NODE_INVALID);
}

TEST(XmlDocument, BadXPathRaises) {
    const IXMLDOMDocument doc = loaded(QString::fromUtf8(kLanguageFile));
    EXPECT_THROW(doc->selectSingleNode("//"), EXMLError);
    EXPECT_THROW(doc->selectSingleNode("//a b"), EXMLError);
    EXPECT_THROW(doc->documentElement().selectSingleNode("//[1]"), EXMLError);
    EXPECT_THROW(doc->selectSingleNode("//btnQuery/@"), EKvError);
}

TEST(XmlDocument, ParseErrorsEmptyTheDocument) {
    IXMLDOMDocument doc = loaded("<a><b/></a>");
    EXPECT_FALSE(doc->loadXML("<a>\n<b></a>"));
    EXPECT_NE(doc->parseError().errorCode, 0);
    EXPECT_EQ(doc->parseError().line, 2);
    EXPECT_FALSE(doc->parseError().reason.isEmpty());
    EXPECT_FALSE(doc->documentElement());
    EXPECT_FALSE(doc->selectSingleNode("//b"));

    EXPECT_FALSE(doc->loadXML(""));
    EXPECT_NE(doc->parseError().errorCode, 0);
    EXPECT_FALSE(doc->load("/nonexistent/dir/Form.Lng"));
    EXPECT_NE(doc->parseError().errorCode, 0);
    EXPECT_TRUE(doc->parseError().reason.contains("/nonexistent/dir/Form.Lng"));
    EXPECT_TRUE(doc->loadXML("<ok/>"));
    EXPECT_EQ(doc->parseError().errorCode, 0);
    EXPECT_EQ(doc->parseError().reason, "");
}

// Texts a lenient parser would take and guess at are refused with a reason and a line, as a file cut
// short is: a language file saved in the wrong encoding or with a typing slip keeps the forms' own texts.
TEST(XmlDocument, WhatIsNotXmlIsRefusedNotGuessed) {
    IXMLDOMDocument doc = CreateDOMDocument();
    const struct {
        QString text;
        const char* reason;
        int line;
    } refused[] = {
        {"<r>\n<a Caption=\"Edit&x;\"/></r>", "undefined entity in attribute Caption", 2},
        {"<r>\n<a>Fish & chips</a></r>", "undefined entity", 2},
        {"<r><a Caption=\"one\"\n Caption=\"two\"/></r>", "Caption given twice", 1},
        {"<r/>\n<junk/>", "second root", 2},
        {"<r/>\njunk", "outside the root", 2},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(doc->loadXML(c.text)) << c.text.toStdString();
        EXPECT_TRUE(doc->parseError().reason.contains(c.reason)) << doc->parseError().reason.toStdString();
        EXPECT_EQ(doc->parseError().line, c.line) << c.text.toStdString();
        EXPECT_FALSE(doc->documentElement());
    }
    ASSERT_TRUE(doc->loadXML("<?xml version=\"1.0\"?>\n<!-- & -->\n<r a=\"&lt;&#65;&#x42;&amp;&quot;\">"
                             "&apos;<![CDATA[&raw]]></r>\n"));
    EXPECT_EQ(doc->selectSingleNode("/r/@a").text(), "<AB&\"");

    // Files whose bytes their encoding does not have: GBK saved under a UTF-8 declaration, and bytes
    // GBK lacks under a GBK one.
    QTemporaryDir dir;
    EXPECT_FALSE(doc->load(
        testsupport::writeFile(dir.filePath("utf8.Lng"),
                               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r a=\"\xB2\xE9\xD1\xAF\"/>")));
    EXPECT_TRUE(doc->parseError().reason.contains("UTF-8")) << doc->parseError().reason.toStdString();
    EXPECT_EQ(doc->parseError().line, 2);
    const QString gbk = testsupport::writeFile(
        dir.filePath("gbk.Lng"), "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<r a=\"\x81\x20\"/>");
    EXPECT_FALSE(doc->load(gbk));
    EXPECT_TRUE(doc->parseError().reason.contains("encoding")) << doc->parseError().reason.toStdString();
}

TEST(XmlDocument, NodesKeepTheirDocumentAlive) {
    TDOMNode node;
    {
        IXMLDOMDocument doc = loaded("<r><x v='kept'/></r>");
        node = doc->selectSingleNode("//x/@v");
        doc->loadXML("<other/>"); // the old tree stays with the node
    }
    EXPECT_EQ(node.text(), "kept");
}

TEST(XmlDocument, DeclaredChineseEncodingsAreTranscoded) {
    QTemporaryDir dir;
    const QString text =
        QString::fromUtf8("<?xml version=\"1.0\" encoding=\"%1\"?>\n<Form><btnOK Caption=\"%2\"/></Form>");
    struct Case {
        const char* encoding;
        int codePage;
        const char* caption;
    } cases[] = {
        {"GB2312", 936, "确定"}, {"gbk", 936, "确定"}, {"GB18030", 54936, "确定"}, {"BIG5", 950, "確定"}};
    for (const Case& c : cases) {
        const QString caption = QString::fromUtf8(c.caption);
        const QByteArray bytes = kv::codepage::encode(text.arg(c.encoding, caption), c.codePage);
        ASSERT_NE(bytes, text.arg(c.encoding, caption).toUtf8());
        const QString file = testsupport::writeFile(dir.filePath(QString(c.encoding) + ".Lng"), bytes);
        IXMLDOMDocument doc = CreateDOMDocument();
        ASSERT_TRUE(doc->load(file)) << c.encoding << ": " << doc->parseError().reason.toStdString();
        EXPECT_EQ(doc->selectSingleNode("//btnOK/@Caption").text(), caption) << c.encoding;
        EXPECT_TRUE(kv::xml::toUtf8(bytes).contains("encoding=\"UTF-8\""));
    }

    const QString utf8 = text.arg("UTF-8", QString::fromUtf8("确定"));
    IXMLDOMDocument doc = CreateDOMDocument();
    ASSERT_TRUE(doc->load(testsupport::writeFile(dir.filePath("bom.Lng"), "\xEF\xBB\xBF" + utf8.toUtf8())));
    EXPECT_EQ(doc->selectSingleNode("//btnOK/@Caption").text(), QString::fromUtf8("确定"));
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(utf8.utf16()), utf8.size() * 2);
    ASSERT_TRUE(doc->load(testsupport::writeFile(dir.filePath("utf16.Lng"), utf16)));
    EXPECT_EQ(doc->selectSingleNode("//btnOK/@Caption").text(), QString::fromUtf8("确定"));
    const QByteArray latin1 = "<?xml version='1.0' encoding='ISO-8859-1'?><Form Caption='caf\xE9'/>";
    ASSERT_TRUE(doc->load(testsupport::writeFile(dir.filePath("latin1.Lng"), latin1)));
    EXPECT_EQ(doc->documentElement().attributes().item(0).text(), QString::fromUtf8("café"));
    // A text given as Unicode is parsed as it is, whatever its declaration names.
    ASSERT_TRUE(doc->loadXML(text.arg("GB2312", QString::fromUtf8("确定"))));
    EXPECT_EQ(doc->selectSingleNode("//btnOK/@Caption").text(), QString::fromUtf8("确定"));
}
