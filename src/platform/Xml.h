#pragma once

#include "platform/FolderItem.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

namespace zpc::platform {

class XmlDocument;
class XmlNode;
using XmlNodePtr = std::shared_ptr<XmlNode>;
using XmlDocumentPtr = std::shared_ptr<XmlDocument>;

// A node of an XML document: element, text, comment or processing instruction.
class XmlNode : public std::enable_shared_from_this<XmlNode> {
public:
    enum NodeType { Element = 1, Text = 3, ProcessingInstruction = 7, Comment = 8, Document = 9 };

    virtual ~XmlNode();

    int Type() const { return mType; }
    QString Name() const { return mName; }
    QString Value() const { return mValue; }
    void setValue(const QString& value) { mValue = value; }

    XmlNodePtr FirstChild() const;
    XmlNodePtr NextSibling() const;
    XmlNodePtr Parent() const { return mParent.lock(); }
    int ChildCount() const { return int(mChildren.size()); }
    XmlNodePtr Child(int index) const;
    // Appends the node (taken from its former parent first) and answers it.
    XmlNodePtr AppendChild(const XmlNodePtr& child);

    // Attribute names are matched exactly; the order of setting is kept.
    void SetAttribute(const QString& name, const QString& value);
    // Empty when absent.
    QString GetAttribute(const QString& name) const;
    bool hasAttribute(const QString& name) const;
    const std::vector<std::pair<QString, QString>>& attributes() const { return mAttributes; }

    XmlDocumentPtr OwnerDocument() const { return mDocument.lock(); }

protected:
    XmlNode(int type, QString name, QString value);
    friend class XmlDocument;

    int mType;
    QString mName;
    QString mValue;
    std::vector<std::pair<QString, QString>> mAttributes;
    std::vector<XmlNodePtr> mChildren;
    std::weak_ptr<XmlNode> mParent;
    std::weak_ptr<XmlDocument> mDocument;
    int mIndex = -1;  // position in the parent's children
};

class XmlDocument : public XmlNode {
public:
    // Documents deeper than this are refused: nothing legitimate nests so far,
    // and a hostile file must not exhaust the stack.
    static constexpr int kMaxDepth = 512;

    static XmlDocumentPtr create();
    // Parses a file; raises XmlException with the parser's message when the
    // text is not well-formed XML (or cannot be read).
    static XmlDocumentPtr parseFile(const FolderItemPtr& file);
    static XmlDocumentPtr parse(const QByteArray& bytes);

    XmlNodePtr CreateElement(const QString& name);
    XmlNodePtr CreateTextNode(const QString& text);

    QByteArray toXml() const;
    // Writes the document to the file, creating or replacing it. False when
    // the file could not be written completely.
    bool SaveXml(const FolderItemPtr& file) const;

    ~XmlDocument() override;

private:
    XmlDocument();
};

}  // namespace zpc::platform
