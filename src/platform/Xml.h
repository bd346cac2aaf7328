#pragma once

#include "platform/FolderItem.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

class QIODevice;

namespace zpc::platform {

class XmlDocument;
class XmlNode;
struct XmlFileRuns;
using XmlNodePtr = std::shared_ptr<XmlNode>;
using XmlDocumentPtr = std::shared_ptr<XmlDocument>;

// A node of an XML document: element, text, comment or processing instruction.
class XmlNode : public std::enable_shared_from_this<XmlNode> {
public:
    enum NodeType { Element = 1, Text = 3, ProcessingInstruction = 7, Comment = 8, Document = 9 };

    virtual ~XmlNode();

    int Type() const { return mType; }
    QString Name() const { return mName; }
    QString Value() const;
    void setValue(const QString& value);
    // What DecodeBase64 gives for Value(), without building the text: the
    // text of a large file element is decoded straight from the file.
    QByteArray DecodeBase64Value(bool* ok = nullptr) const;

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

    // A text too large to hold as a string: bytes whose Base64 form it is,
    // or pieces of which some are left in the file the document was read from.
    struct LargeText;
    std::shared_ptr<LargeText> mLarge;
};

class XmlDocument : public XmlNode {
public:
    // Documents deeper than this are refused: nothing legitimate nests so far,
    // and a hostile file must not exhaust the stack.
    static constexpr int kMaxDepth = 512;

    static XmlDocumentPtr create();
    // Parses a file; raises XmlException with the parser's message when the
    // text is not well-formed XML (or cannot be read). Long runs of Base64
    // text inside elements stay in the file until asked for, so a document
    // that carries large files costs little memory.
    static XmlDocumentPtr parseFile(const FolderItemPtr& file);
    static XmlDocumentPtr parse(const QByteArray& bytes);

    XmlNodePtr CreateElement(const QString& name);
    XmlNodePtr CreateTextNode(const QString& text);
    // The text node CreateTextNode(EncodeBase64(bytes, lineLength)) would
    // make; the text is made only piece by piece as the document is written.
    XmlNodePtr CreateBase64TextNode(const QByteArray& bytes, int lineLength = 76);

    QByteArray toXml() const;
    // Writes the document to the file, creating or replacing it. A file on
    // disk is written under a temporary name beside it and renamed into place,
    // so it is complete or left as it was; a link is followed and the file it
    // leads to replaced, keeping that file's permissions. False when the file
    // could not be written completely.
    bool SaveXml(const FolderItemPtr& file) const;

    ~XmlDocument() override;

private:
    XmlDocument();
    void write(QIODevice* device) const;
    static XmlDocumentPtr parse(const QByteArray& bytes, const std::shared_ptr<XmlFileRuns>& runs);
};

}  // namespace zpc::platform
