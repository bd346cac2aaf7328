#include "platform/Base64.h"
#include "platform/Exceptions.h"
#include "platform/Xml.h"
#include "support/TestSupport.h"

#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>

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

namespace {

QByteArray base64Lines(int bytes, int seed, const char* lineEnd = "\n") {
    QByteArray data(bytes, '\0');
    for (int i = 0; i < bytes; ++i) data[i] = char((i * 131 + seed * 17 + (i >> 7)) & 0xff);
    QByteArray text = data.toBase64();
    QByteArray out;
    for (qsizetype at = 0; at < text.size(); at += 76) out += text.mid(at, 76) + lineEnd;
    return out;
}

// Every text node of both documents, side by side, must read the same.
void expectSameTexts(const XmlNodePtr& a, const XmlNodePtr& b, const std::string& what) {
    ASSERT_EQ(a->ChildCount(), b->ChildCount()) << what;
    for (int i = 0; i < a->ChildCount(); ++i) {
        const XmlNodePtr x = a->Child(i), y = b->Child(i);
        ASSERT_EQ(x->Type(), y->Type()) << what;
        EXPECT_EQ(x->Name(), y->Name()) << what;
        EXPECT_EQ(x->Value(), y->Value()) << what;
        if (x->Type() == XmlNode::Text) {
            bool okX = false, okY = false;
            EXPECT_EQ(x->DecodeBase64Value(&okX), y->DecodeBase64Value(&okY)) << what;
            EXPECT_EQ(okX, okY) << what;
        }
        expectSameTexts(x, y, what);
    }
}

QString lineOf(const QString& message) {
    const qsizetype at = message.indexOf("(line ");
    return at < 0 ? message : message.mid(at).section(',', 0, 0);
}

}  // namespace

// Files are read with their long Base64 runs left on disk; whatever the
// context of a run, the document must read as the same bytes parsed whole.
TEST(Xml, AFileReadsAsItsBytesParsedWhole) {
    const QByteArray b1 = base64Lines(200000, 1), b2 = base64Lines(9000, 2);
    const QByteArray crlf = base64Lines(50000, 3, "\r\n");
    QByteArray utf16("\xff\xfe");
    const QString wide = QStringLiteral("<r>") + QString::fromLatin1(b2) + QStringLiteral("</r>");
    utf16 += QByteArray(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2);
    struct Case {
        const char* name;
        QByteArray text;
        bool wellFormed;
    };
    const Case cases[] = {
        {"project",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pluginarchive><pluginitem itemName=\"a\" "
         "type=\"file\" mutable=\"true\" content=\"raw\">" +
             b1 + "</pluginitem>\n</pluginarchive>\n",
         true},
        {"windows lines", "<r>\r\n<t>" + crlf + "</t>\r\n</r>", true},
        {"mixed content",
         "<r><t>abc&amp;" + b2 + "&#65;<!--" + b2 + "--><![CDATA[" + b2 + "]]>" + b2 + "<?pi " +
             b2 + "?>" + b2 + "</t><a v='>" + b2 + "' w=\"/\"/>" + b2 + "<e/>" + b2 + "</r>",
         true},
        {"document type",
         "<!DOCTYPE r [<!-- it's > [ --><!ENTITY e \"x>'y\"><?pi ]> ?>]>\n<r>&e;" + b2 + "&e;</r>",
         true},
        {"declared Latin-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9" + b2 + "</r>",
         true},
        {"UTF-16", utf16, true},
        {"run after the root", "<r/>\n" + b2, false},
        {"error after a run", "<r>" + b2 + "\n<a></b></r>", false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        dir.write("doc.xml", c.text);
        if (!c.wellFormed) {
            QString whole, fromFile;
            try {
                XmlDocument::parse(c.text);
            } catch (const XmlException& e) {
                whole = e.message();
            }
            try {
                XmlDocument::parseFile(dir.item("doc.xml"));
            } catch (const XmlException& e) {
                fromFile = e.message();
            }
            EXPECT_FALSE(whole.isEmpty()) << c.name;
            EXPECT_EQ(lineOf(fromFile), lineOf(whole)) << c.name;
            continue;
        }
        XmlDocumentPtr fromFile, whole;
        ASSERT_NO_THROW(fromFile = XmlDocument::parseFile(dir.item("doc.xml"))) << c.name;
        ASSERT_NO_THROW(whole = XmlDocument::parse(c.text)) << c.name;
        expectSameTexts(fromFile, whole, c.name);
        EXPECT_EQ(fromFile->toXml(), whole->toXml()) << c.name;
    }
}

TEST(Xml, Base64TextNodesHoldTheBytesAndWriteTheirText) {
    QByteArray bytes(300001, '\0');
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + (i >> 11));
    auto lazy = XmlDocument::create();
    auto plain = XmlDocument::create();
    for (auto doc : {lazy, plain}) {
        auto root = doc->AppendChild(doc->CreateElement("r"));
        auto text = doc == lazy ? doc->CreateBase64TextNode(bytes)
                                : doc->CreateTextNode(QString::fromLatin1(EncodeBase64(bytes, 76)));
        root->AppendChild(doc->CreateElement("f"))->AppendChild(text);
    }
    const XmlNodePtr text = lazy->FirstChild()->FirstChild()->FirstChild();
    EXPECT_EQ(text->Type(), XmlNode::Text);
    EXPECT_EQ(text->Value(), plain->FirstChild()->FirstChild()->FirstChild()->Value());
    EXPECT_EQ(lazy->toXml(), plain->toXml());

    auto empty = XmlDocument::create();
    empty->AppendChild(empty->CreateElement("f"))->AppendChild(empty->CreateBase64TextNode(""));
    auto emptyText = XmlDocument::create();
    emptyText->AppendChild(emptyText->CreateElement("f"))
        ->AppendChild(emptyText->CreateTextNode(""));
    EXPECT_EQ(empty->toXml(), emptyText->toXml());

    TempDir dir;
    ASSERT_TRUE(lazy->SaveXml(dir.item("b.xml")));
    EXPECT_EQ(dir.read("b.xml"), plain->toXml());
    auto back = XmlDocument::parseFile(dir.item("b.xml"));
    bool ok = false;
    EXPECT_EQ(back->FirstChild()->FirstChild()->FirstChild()->DecodeBase64Value(&ok), bytes);
    EXPECT_TRUE(ok);
}

TEST(Xml, SavingReplacesTheFileWholeOrNotAtAll) {
    TempDir dir;
    auto doc = XmlDocument::create();
    doc->AppendChild(doc->CreateElement("r"))
        ->AppendChild(doc->CreateBase64TextNode(QByteArray(400000, 'x')));
    dir.write("real/p.xml", "old");
    QFile::setPermissions(dir.path("real/p.xml"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_TRUE(QFile::link(dir.path("real/p.xml"), dir.path("link.xml")));

    ASSERT_TRUE(doc->SaveXml(dir.item("link.xml")));
    EXPECT_TRUE(QFileInfo(dir.path("link.xml")).isSymLink()) << "the file it leads to is replaced";
    EXPECT_EQ(dir.read("real/p.xml"), doc->toXml());
    EXPECT_EQ(QFile::permissions(dir.path("real/p.xml")), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ReadGroup | QFile::ReadUser |
                                                              QFile::WriteUser);

    dir.write("real/p.xml", "old");
    struct rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    struct rlimit small = limit;
    small.rlim_cur = 100000;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = doc->SaveXml(dir.item("real/p.xml"));
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(dir.read("real/p.xml"), "old");
    EXPECT_EQ(
        QDir(dir.path("real")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{"p.xml"})
        << "nothing half-written is left behind";

    dir.mkdir("folder.xml");
    EXPECT_FALSE(doc->SaveXml(dir.item("folder.xml")));
    EXPECT_TRUE(QFileInfo(dir.path("folder.xml")).isDir());
}
