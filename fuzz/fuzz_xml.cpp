// The XML reader under every document: it answers a tree or raises
// XmlException, and a tree it answers can be written and read back as is.
#include "FuzzSupport.h"
#include "platform/Exceptions.h"
#include "platform/Xml.h"

#include <cstdio>
#include <vector>

using namespace zpc::platform;
using zpc::fuzz::bytesOf;

namespace {

// Links between nodes agree, and no element nests deeper than the limit.
void checkTree(const XmlDocumentPtr& doc) {
    struct Frame {
        XmlNodePtr node;
        int depth;
    };
    std::vector<Frame> pending{{doc, 0}};
    while (!pending.empty()) {
        const Frame f = pending.back();
        pending.pop_back();
        FUZZ_CHECK(f.depth <= XmlDocument::kMaxDepth + 1);
        XmlNodePtr previous;
        for (int i = 0; i < f.node->ChildCount(); ++i) {
            const XmlNodePtr child = f.node->Child(i);
            FUZZ_CHECK(child && child->Parent() == f.node && child->OwnerDocument() == doc);
            FUZZ_CHECK(i == 0 ? f.node->FirstChild() == child : previous->NextSibling() == child);
            FUZZ_CHECK(child->Type() != XmlNode::Text || child->Name() == QLatin1String("#text"));
            pending.push_back({child, f.depth + 1});
            previous = child;
        }
        if (previous) FUZZ_CHECK(!previous->NextSibling());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XmlDocumentPtr doc;
    try {
        doc = XmlDocument::parse(bytesOf(data, size));
    } catch (const XmlException&) {
        return 0;
    }
    checkTree(doc);

    const QByteArray written = doc->toXml();
    XmlDocumentPtr again;
    try {
        again = XmlDocument::parse(written);
    } catch (const XmlException& e) {
        std::fprintf(stderr, "written document does not read back: %s\n%s\n",
                     qPrintable(e.message()), written.left(2000).constData());
        FUZZ_CHECK(!"written document reads back");
    }
    FUZZ_CHECK(again->toXml() == written);
    return 0;
}
