#include "platform/Xml.h"

#include "platform/BinaryStream.h"
#include "platform/Exceptions.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace zpc::platform {

XmlNode::XmlNode(int type, QString name, QString value)
    : mType(type), mName(std::move(name)), mValue(std::move(value)) {}

XmlNode::~XmlNode() {
    // Tear the subtree down without recursion, however deep it is.
    std::vector<XmlNodePtr> pending = std::move(mChildren);
    while (!pending.empty()) {
        XmlNodePtr node = std::move(pending.back());
        pending.pop_back();
        if (node && node.use_count() == 1) {
            for (auto& c : node->mChildren) pending.push_back(std::move(c));
            node->mChildren.clear();
        }
    }
}

XmlNodePtr XmlNode::FirstChild() const { return mChildren.empty() ? nullptr : mChildren.front(); }

XmlNodePtr XmlNode::NextSibling() const {
    auto parent = mParent.lock();
    if (!parent || mIndex < 0 || mIndex + 1 >= int(parent->mChildren.size())) return nullptr;
    return parent->mChildren[size_t(mIndex + 1)];
}

XmlNodePtr XmlNode::Child(int index) const {
    if (index < 0 || index >= int(mChildren.size())) return nullptr;
    return mChildren[size_t(index)];
}

XmlNodePtr XmlNode::AppendChild(const XmlNodePtr& child) {
    if (!child || child.get() == this) return child;
    if (auto old = child->mParent.lock()) {
        auto& siblings = old->mChildren;
        siblings.erase(siblings.begin() + child->mIndex);
        for (size_t i = size_t(child->mIndex); i < siblings.size(); ++i) siblings[i]->mIndex = int(i);
    }
    child->mParent = weak_from_this();
    child->mIndex = int(mChildren.size());
    mChildren.push_back(child);
    return child;
}

void XmlNode::SetAttribute(const QString& name, const QString& value) {
    for (auto& a : mAttributes)
        if (a.first == name) {
            a.second = value;
            return;
        }
    mAttributes.emplace_back(name, value);
}

QString XmlNode::GetAttribute(const QString& name) const {
    for (const auto& a : mAttributes)
        if (a.first == name) return a.second;
    return {};
}

bool XmlNode::hasAttribute(const QString& name) const {
    for (const auto& a : mAttributes)
        if (a.first == name) return true;
    return false;
}

XmlDocument::XmlDocument() : XmlNode(Document, QStringLiteral("#document"), {}) {}
XmlDocument::~XmlDocument() = default;

XmlDocumentPtr XmlDocument::create() {
    auto doc = XmlDocumentPtr(new XmlDocument());
    doc->mDocument = doc;
    return doc;
}

XmlNodePtr XmlDocument::CreateElement(const QString& name) {
    auto node = XmlNodePtr(new XmlNode(Element, name, {}));
    node->mDocument = std::static_pointer_cast<XmlDocument>(shared_from_this());
    return node;
}

XmlNodePtr XmlDocument::CreateTextNode(const QString& text) {
    auto node = XmlNodePtr(new XmlNode(Text, QStringLiteral("#text"), text));
    node->mDocument = std::static_pointer_cast<XmlDocument>(shared_from_this());
    return node;
}

XmlDocumentPtr XmlDocument::parseFile(const FolderItemPtr& file) {
    auto stream = BinaryStream::Open(file);
    if (!stream)
        throw XmlException(QStringLiteral("The file \"%1\" could not be read.")
                               .arg(file ? file->Name() : QString()));
    QByteArray bytes = stream->Read(stream->Length());
    stream->Close();
    return parse(bytes);
}

XmlDocumentPtr XmlDocument::parse(const QByteArray& bytes) {
    auto doc = create();
    QXmlStreamReader reader(bytes);
    // Names stay as written, prefixes included, and namespace declarations
    // are attributes like any other, so a document is written back as read.
    reader.setNamespaceProcessing(false);
    std::vector<XmlNodePtr> stack{doc};
    auto fail = [&](const QString& why) -> XmlDocumentPtr {
        throw XmlException(QStringLiteral("%1 (line %2, column %3)")
                               .arg(why)
                               .arg(reader.lineNumber())
                               .arg(reader.columnNumber()));
    };
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartElement: {
                if (int(stack.size()) > kMaxDepth) return fail(QStringLiteral("The document is nested too deeply"));
                auto el = doc->CreateElement(reader.qualifiedName().toString());
                for (const auto& a : reader.attributes())
                    el->SetAttribute(a.qualifiedName().toString(), a.value().toString());
                stack.back()->AppendChild(el);
                stack.push_back(el);
                break;
            }
            case QXmlStreamReader::EndElement:
                stack.pop_back();
                break;
            case QXmlStreamReader::Characters:
                // Blanks between top-level nodes are no nodes of the document.
                if (stack.size() == 1 && reader.isWhitespace()) break;
                if (stack.back()->ChildCount() > 0 &&
                    stack.back()->mChildren.back()->Type() == Text)
                    stack.back()->mChildren.back()->mValue += reader.text();
                else
                    stack.back()->AppendChild(doc->CreateTextNode(reader.text().toString()));
                break;
            case QXmlStreamReader::Comment: {
                auto n = XmlNodePtr(new XmlNode(Comment, QStringLiteral("#comment"), reader.text().toString()));
                n->mDocument = doc;
                stack.back()->AppendChild(n);
                break;
            }
            case QXmlStreamReader::ProcessingInstruction: {
                auto n = XmlNodePtr(new XmlNode(ProcessingInstruction,
                                                reader.processingInstructionTarget().toString(),
                                                reader.processingInstructionData().toString()));
                n->mDocument = doc;
                stack.back()->AppendChild(n);
                break;
            }
            case QXmlStreamReader::DTD:
                // External entities would make parsing read other files or the network.
                for (const auto& e : reader.entityDeclarations())
                    if (!e.systemId().isEmpty() || !e.publicId().isEmpty())
                        return fail(QStringLiteral("External entity \"%1\" is not allowed").arg(e.name().toString()));
                break;
            case QXmlStreamReader::EntityReference:
                // An entity the document does not define: never fetched.
                return fail(QStringLiteral("Undefined entity \"%1\"").arg(reader.name().toString()));
            default:
                break;
        }
    }
    if (reader.hasError()) return fail(reader.errorString());
    return doc;
}

namespace {

void writeNode(QXmlStreamWriter& w, const XmlNode& node) {
    // Iterative, so a deep tree cannot exhaust the stack.
    struct Frame {
        const XmlNode* node;
        int next;
    };
    std::vector<Frame> stack{{&node, 0}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const XmlNode* n = f.node;
        if (f.next == 0) {
            switch (n->Type()) {
                case XmlNode::Element:
                    w.writeStartElement(n->Name());
                    for (const auto& a : n->attributes()) w.writeAttribute(a.first, a.second);
                    break;
                case XmlNode::Text:
                    w.writeCharacters(n->Value());
                    break;
                case XmlNode::Comment:
                    w.writeComment(n->Value());
                    break;
                case XmlNode::ProcessingInstruction:
                    w.writeProcessingInstruction(n->Name(), n->Value());
                    break;
                default:
                    break;
            }
        }
        if (f.next < n->ChildCount()) {
            const XmlNode* child = n->Child(f.next++).get();
            stack.push_back({child, 0});
            continue;
        }
        if (n->Type() == XmlNode::Element) w.writeEndElement();
        stack.pop_back();
    }
}

}  // namespace

QByteArray XmlDocument::toXml() const {
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    for (int i = 0; i < ChildCount(); ++i) writeNode(w, *Child(i));
    w.writeEndDocument();
    return out;
}

bool XmlDocument::SaveXml(const FolderItemPtr& file) const {
    auto stream = BinaryStream::Create(file, true);
    if (!stream) return false;
    stream->Write(toXml());
    stream->Close();
    return !stream->hasError();
}

}  // namespace zpc::platform
