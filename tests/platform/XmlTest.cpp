#include "platform/Exceptions.h"
#include "platform/Xml.h"
#include "support/TestSupport.h"

using namespace zpc::platform;
using zpc::test::TempDir;

TEST(Xml, BuildSaveAndParseKeepNamesOrderAndText) {
    TempDir dir;
    auto doc = XmlDocument::create();
    auto root = doc->AppendChild(doc->CreateElement("pluginarchive"));
    auto item = root->AppendChild(doc->CreateElement("pluginitem"));
    item->SetAttribute("itemName", "a <b> & \"c\" 'd' \xc3\xa9");
    item->SetAttribute("type", "file");
    item->SetAttribute("mutable", "true");
    item->AppendChild(doc->CreateTextNode("line1\nline2 <&>"));
    ASSERT_TRUE(doc->SaveXml(dir.item("p.xml")));

    auto back = XmlDocument::parseFile(dir.item("p.xml"));
    auto r = back->FirstChild();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Name(), "pluginarchive");
    auto i = r->FirstChild();
    ASSERT_TRUE(i);
    EXPECT_EQ(i->GetAttribute("itemName"), QString::fromUtf8("a <b> & \"c\" 'd' \xc3\xa9"));
    ASSERT_EQ(i->attributes().size(), 3u);
    EXPECT_EQ(i->attributes()[1].first, "type");
    EXPECT_EQ(i->GetAttribute("missing"), "");
    EXPECT_EQ(i->GetAttribute("Type"), "") << "attribute names match exactly";
    ASSERT_TRUE(i->FirstChild());
    EXPECT_EQ(i->FirstChild()->Type(), XmlNode::Text);
    EXPECT_EQ(i->FirstChild()->Value(), "line1\nline2 <&>");
    EXPECT_EQ(i->NextSibling(), nullptr);
    EXPECT_EQ(i->OwnerDocument(), back);
}

TEST(Xml, SiblingsAndNonElementNodes) {
    auto doc = XmlDocument::parse("<?xml version=\"1.0\"?>\n<r><a/><!-- c --><b>t</b>x</r>");
    auto r = doc->FirstChild();
    auto a = r->FirstChild();
    EXPECT_EQ(a->Name(), "a");
    auto c = a->NextSibling();
    EXPECT_EQ(c->Type(), XmlNode::Comment);
    EXPECT_EQ(c->NextSibling()->Name(), "b");
    EXPECT_EQ(c->NextSibling()->NextSibling()->Type(), XmlNode::Text);
}

TEST(Xml, MalformedInputRaisesWithTheParsersMessage) {
    for (const char* bad : {"", "not xml at all", "<a><b></a>", "<a x='1' x='2'/>", "<a>&undefined;</a>",
                            "<a/><b/>"}) {
        try {
            XmlDocument::parse(bad);
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const XmlException& e) {
            EXPECT_FALSE(e.message().isEmpty()) << bad;
        }
    }
}

TEST(Xml, EntityBombsAndExternalEntitiesAreRefused) {
    const QByteArray bomb =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
        "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
        "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
        "<r>&g;</r>";
    EXPECT_THROW(XmlDocument::parse(bomb), XmlException);
    const QByteArray external =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>";
    EXPECT_THROW(XmlDocument::parse(external), XmlException);
}

TEST(Xml, DeepNestingIsRefusedBeyondTheLimit) {
    auto nest = [](int depth) {
        QByteArray s;
        for (int i = 0; i < depth; ++i) s += "<a>";
        for (int i = 0; i < depth; ++i) s += "</a>";
        return s;
    };
    EXPECT_NO_THROW(XmlDocument::parse(nest(XmlDocument::kMaxDepth)));
    EXPECT_THROW(XmlDocument::parse(nest(10000)), XmlException);
}

TEST(Xml, UnreadableFileRaises) {
    TempDir dir;
    EXPECT_THROW(XmlDocument::parseFile(dir.item("missing.xml")), XmlException);
}

// Found by fuzzing: prefixed names lost their prefix and namespace
// declarations were dropped, so a document written back could not be read.
TEST(Xml, PrefixedNamesAndNamespaceDeclarationsAreKeptAsWritten) {
    const QByteArray text =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<?app run=\"yes\"?>\n"
        "<p:root xmlns:p=\"urn:p\" xmlns=\"urn:d\" p:attr=\"1\"><![CDATA[<not> & markup]]>text"
        "<e/><?pi data?><!--c--></p:root>\n";
    auto doc = XmlDocument::parse(text);
    auto root = doc->Child(1);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->Name(), "p:root");
    EXPECT_EQ(root->GetAttribute("xmlns:p"), "urn:p");
    EXPECT_EQ(root->GetAttribute("xmlns"), "urn:d");
    EXPECT_EQ(root->GetAttribute("p:attr"), "1");
    EXPECT_EQ(root->FirstChild()->Value(), "<not> & markuptext");

    const QByteArray written = doc->toXml();
    XmlDocumentPtr back;
    ASSERT_NO_THROW(back = XmlDocument::parse(written)) << written.toStdString();
    EXPECT_EQ(back->toXml(), written);
    EXPECT_EQ(back->Child(1)->Name(), "p:root");
}
