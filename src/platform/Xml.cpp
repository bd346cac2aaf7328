#include "platform/Xml.h"

#include "platform/Base64.h"
#include "platform/BinaryStream.h"
#include "platform/DiskFolderItem.h"
#include "platform/Exceptions.h"
#include "platform/SaveTemporary.h"
#include "platform/Yield.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace zpc::platform {

// The file a document was read from, holding the runs of Base64 text that
// were left out of the parse (see parseFile).
struct XmlFileRuns {
    int fd = -1;
    // The target of the processing instruction that stands for a run; random,
    // so no document can forge one.
    QByteArray target;
    std::vector<std::pair<qint64, qint64>> runs;  // offset and length

    XmlFileRuns() = default;
    XmlFileRuns(const XmlFileRuns&) = delete;
    XmlFileRuns& operator=(const XmlFileRuns&) = delete;
    ~XmlFileRuns() {
        if (fd >= 0) ::close(fd);
    }

    // Hands the run to the sink in pieces, its line breaks turned into "\n"
    // as the parser does for every text. False when the file fell short.
    bool read(size_t index, const std::function<void(const char*, qsizetype)>& sink) const;
};

struct XmlNode::LargeText {
    // Either the bytes whose Base64 form is the text...
    bool base64 = false;
    QByteArray bytes;
    int lineLength = 0;
    // ...or pieces: a text, or (run >= 0) a run of the file.
    struct Piece {
        QString text;
        qsizetype run = -1;
    };
    std::vector<Piece> pieces;
    std::shared_ptr<XmlFileRuns> file;
};

bool XmlFileRuns::read(size_t index,
                       const std::function<void(const char*, qsizetype)>& sink) const {
    const auto [offset, length] = runs[index];
    QByteArray buffer(qsizetype(std::min<qint64>(length, 1 << 20)), Qt::Uninitialized);
    bool afterReturn = false;
    for (qint64 done = 0; done < length;) {
        const qint64 want = std::min<qint64>(buffer.size(), length - done);
        const ssize_t n = ::pread(fd, buffer.data(), size_t(want), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
        char* data = buffer.data();
        if (!afterReturn && !std::memchr(data, '\r', size_t(n))) {
            sink(data, n);
            continue;
        }
        qsizetype kept = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const char c = data[i];
            if (c == '\n' && afterReturn) {
                afterReturn = false;
                continue;
            }
            afterReturn = c == '\r';
            data[kept++] = afterReturn ? '\n' : c;
        }
        sink(data, kept);
    }
    return true;
}

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

QString XmlNode::Value() const {
    if (!mLarge) return mValue;
    if (mLarge->base64) return QString::fromLatin1(EncodeBase64(mLarge->bytes, mLarge->lineLength));
    QString out;
    for (const LargeText::Piece& piece : mLarge->pieces) {
        if (piece.run < 0) {
            out += piece.text;
            continue;
        }
        mLarge->file->read(size_t(piece.run), [&out](const char* data, qsizetype n) {
            out += QLatin1String(data, n);
        });
    }
    return out;
}

void XmlNode::setValue(const QString& value) {
    mValue = value;
    mLarge.reset();
}

QByteArray XmlNode::DecodeBase64Value(bool* ok) const {
    if (!mLarge) return DecodeBase64(mValue.toUtf8(), ok);
    if (mLarge->base64) {
        if (ok) *ok = true;
        return mLarge->bytes;
    }
    Base64Decoder decoder;
    qint64 runBytes = 0;
    for (const LargeText::Piece& piece : mLarge->pieces)
        if (piece.run >= 0) runBytes += mLarge->file->runs[size_t(piece.run)].second;
    decoder.reserve(qsizetype(runBytes / 4 * 3));
    bool complete = true;
    for (const LargeText::Piece& piece : mLarge->pieces) {
        if (piece.run < 0) {
            decoder.feed(piece.text.toUtf8());
            continue;
        }
        complete = mLarge->file->read(size_t(piece.run), [&decoder](const char* data, qsizetype n) {
            decoder.feed(data, n);
        }) && complete;
    }
    bool decoded = false;
    QByteArray bytes = decoder.finish(&decoded);
    if (ok) *ok = decoded && complete;
    return decoded && complete ? bytes : QByteArray();
}

XmlNodePtr XmlNode::FirstChild() const {
    return mChildren.empty() ? nullptr : mChildren.front();
}

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
        for (size_t i = size_t(child->mIndex); i < siblings.size(); ++i)
            siblings[i]->mIndex = int(i);
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

XmlNodePtr XmlDocument::CreateBase64TextNode(const QByteArray& bytes, int lineLength) {
    XmlNodePtr node = CreateTextNode(QString());
    node->mLarge = std::make_shared<LargeText>();
    node->mLarge->base64 = true;
    node->mLarge->bytes = bytes;
    node->mLarge->lineLength = lineLength;
    return node;
}

namespace {

// Shortens a document before it is parsed: every long run of Base64
// characters in the content of an element is left in the file and replaced
// by a processing instruction that names it. The parser then never holds the
// bytes of a large file element, which would cost it twice their size as
// text and a long time. The markup is followed closely enough to know what is
// element content: tags with their quoted values, comments, CDATA sections,
// processing instructions and the document type with its internal subset.
// Everything else passes through untouched, so the parser still judges the
// whole document; the line breaks of a run go into its instruction, so the
// line numbers of its messages stay true.
class RunReducer {
public:
    // Runs shorter than this stay in the text.
    static constexpr qsizetype kMinRun = 4096;

    explicit RunReducer(QByteArray target) : mTarget(std::move(target)) {
        for (int c = 'A'; c <= 'Z'; ++c) mRunByte[size_t(c)] = mRunByte[size_t(c + 32)] = true;
        for (int c = '0'; c <= '9'; ++c) mRunByte[size_t(c)] = true;
        for (char c : {'+', '/', '=', '\n', '\r', '\t', ' '}) mRunByte[size_t(uchar(c))] = true;
    }

    // Only text in an encoding whose markup is ASCII can be followed byte by
    // byte; anything else is parsed whole.
    static bool canReduce(const QByteArray& start) {
        for (int i = 0; i < std::min<int>(4, int(start.size())); ++i)
            if (start[i] == 0) return false;
        if (start.startsWith("\xfe\xff") || start.startsWith("\xff\xfe")) return false;
        QByteArray head = start.left(512);
        if (head.startsWith("\xef\xbb\xbf")) head.remove(0, 3);
        if (!head.startsWith("<?xml")) return true;
        const qsizetype end = head.indexOf("?>");
        static const QRegularExpression encoding(
            QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        const auto match = encoding.match(QString::fromLatin1(end < 0 ? head : head.left(end)));
        if (!match.hasMatch()) return true;
        const QString name = match.captured(1).toLower();
        return name == QLatin1String("utf-8") || name == QLatin1String("us-ascii");
    }

    void feed(const char* p, qsizetype n, qint64 base) {
        for (qsizetype i = 0; i < n;) {
            if (mState == Content && mDepth > 0 && isRunByte(p[i])) {
                qsizetype j = i + 1;
                while (j < n && isRunByte(p[j])) ++j;
                takeRunBytes(p + i, j - i, base + i);
                i = j;
                continue;
            }
            step(p[i]);
            ++i;
        }
    }

    void finish() { endRun(); }

    QByteArray out;
    std::vector<std::pair<qint64, qint64>> runs;

private:
    enum State { Content, LessThan, Bang, Comment, CData, Instruction, EndTag, StartTag, Doctype };
    enum DoctypeState {
        DtMain,
        DtSubset,
        DtLess,
        DtLessBang,
        DtLessBangDash,
        DtComment,
        DtInstruction
    };

    bool isRunByte(char c) const { return mRunByte[size_t(uchar(c))]; }

    void takeRunBytes(const char* p, qsizetype n, qint64 offset) {
        if (!mInRun) {
            if (mPending.isEmpty()) mPendingStart = offset;
            mPending.append(p, n);
            if (mPending.size() < kMinRun) return;
            mInRun = true;
            mRunStart = mPendingStart;
            mRunLength = 0;
            mBreaks.clear();
            const QByteArray pending = std::move(mPending);
            mPending.clear();
            addToRun(pending.constData(), pending.size());
            return;
        }
        addToRun(p, n);
    }

    void addToRun(const char* p, qsizetype n) {
        mRunLength += n;
        if (std::memchr(p, '\r', size_t(n))) {
            for (qsizetype i = 0; i < n; ++i)
                if (p[i] == '\n' || p[i] == '\r') mBreaks += p[i];
            return;
        }
        const char* end = p + n;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p))))) {
            mBreaks += '\n';
            ++p;
        }
    }

    void endRun() {
        if (mInRun) {
            out +=
                "<?" + mTarget + ' ' + QByteArray::number(qulonglong(runs.size())) + mBreaks + "?>";
            runs.emplace_back(mRunStart, mRunLength);
            mInRun = false;
            mBreaks.clear();
        } else if (!mPending.isEmpty()) {
            out += mPending;
            mPending.clear();
        }
    }

    void step(char c) {
        switch (mState) {
            case Content:
                endRun();
                out += c;
                if (c == '<') mState = LessThan;
                break;
            case LessThan:
                out += c;
                if (c == '!') {
                    mState = Bang;
                    mBang.clear();
                } else if (c == '?') {
                    mState = Instruction;
                    mPrev = 0;
                } else if (c == '/') {
                    mState = EndTag;
                } else {
                    mState = StartTag;
                    mQuote = 0;
                    mPrev = 0;
                    startTagStep(c);
                }
                break;
            case Bang:
                out += c;
                mBang += c;
                if (mBang == "--") {
                    mState = Comment;
                    mPrev = mPrev2 = 0;
                } else if (mBang == "[CDATA[") {
                    mState = CData;
                    mPrev = mPrev2 = 0;
                } else if (!QByteArrayLiteral("--").startsWith(mBang) &&
                           !QByteArrayLiteral("[CDATA[").startsWith(mBang)) {
                    mState = Doctype;
                    mDoctype = DtMain;
                    mQuote = 0;
                    for (char b : QByteArray(mBang)) {
                        if (mState != Doctype) break;
                        doctypeStep(b);
                    }
                }
                break;
            case Comment:
                out += c;
                if (c == '>' && mPrev == '-' && mPrev2 == '-') mState = Content;
                mPrev2 = mPrev;
                mPrev = c;
                break;
            case CData:
                out += c;
                if (c == '>' && mPrev == ']' && mPrev2 == ']') mState = Content;
                mPrev2 = mPrev;
                mPrev = c;
                break;
            case Instruction:
                out += c;
                if (c == '>' && mPrev == '?') mState = Content;
                mPrev = c;
                break;
            case EndTag:
                out += c;
                if (c == '>') {
                    if (mDepth > 0) --mDepth;
                    mState = Content;
                }
                break;
            case StartTag:
                out += c;
                startTagStep(c);
                break;
            case Doctype:
                out += c;
                doctypeStep(c);
                break;
        }
    }

    void startTagStep(char c) {
        if (mQuote) {
            if (c == mQuote) mQuote = 0;
        } else if (c == '"' || c == '\'') {
            mQuote = c;
        } else if (c == '>') {
            if (mPrev != '/') ++mDepth;
            mState = Content;
        }
        mPrev = c;
    }

    void doctypeStep(char c) {
        switch (mDoctype) {
            case DtMain:
            case DtSubset:
                if (mQuote) {
                    if (c == mQuote) mQuote = 0;
                } else if (c == '"' || c == '\'') {
                    mQuote = c;
                } else if (mDoctype == DtMain && c == '[') {
                    mDoctype = DtSubset;
                } else if (mDoctype == DtMain && c == '>') {
                    mState = Content;
                } else if (mDoctype == DtSubset && c == ']') {
                    mDoctype = DtMain;
                } else if (mDoctype == DtSubset && c == '<') {
                    mDoctype = DtLess;
                }
                break;
            case DtLess:
                if (c == '!') {
                    mDoctype = DtLessBang;
                } else if (c == '?') {
                    mDoctype = DtInstruction;
                    mPrev = 0;
                } else {
                    mDoctype = DtSubset;
                    doctypeStep(c);
                }
                break;
            case DtLessBang:
            case DtLessBangDash:
                if (c == '-' && mDoctype == DtLessBang) {
                    mDoctype = DtLessBangDash;
                } else if (c == '-') {
                    mDoctype = DtComment;
                    mPrev = mPrev2 = 0;
                } else {
                    mDoctype = DtSubset;
                    doctypeStep(c);
                }
                break;
            case DtComment:
                if (c == '>' && mPrev == '-' && mPrev2 == '-') mDoctype = DtSubset;
                mPrev2 = mPrev;
                mPrev = c;
                break;
            case DtInstruction:
                if (c == '>' && mPrev == '?') mDoctype = DtSubset;
                mPrev = c;
                break;
        }
    }

    QByteArray mTarget;
    std::array<bool, 256> mRunByte{};
    State mState = Content;
    DoctypeState mDoctype = DtMain;
    int mDepth = 0;
    char mQuote = 0;
    char mPrev = 0;
    char mPrev2 = 0;
    QByteArray mBang;
    QByteArray mPending;
    qint64 mPendingStart = 0;
    bool mInRun = false;
    qint64 mRunStart = 0;
    qint64 mRunLength = 0;
    QByteArray mBreaks;
};

int openRegularFile(const QByteArray& path) {
    // Non-blocking, so a named pipe cannot hang the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool readAt(int fd, char* data, qint64 size, qint64 offset, qint64* got) {
    *got = 0;
    while (*got < size) {
        const ssize_t n = ::pread(fd, data + *got, size_t(size - *got), offset + *got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        *got += n;
    }
    return true;
}

[[noreturn]] void failToRead(const FolderItemPtr& file) {
    throw XmlException(
        QStringLiteral("The file \"%1\" could not be read.").arg(file ? file->Name() : QString()));
}

}  // namespace

XmlDocumentPtr XmlDocument::parseFile(const FolderItemPtr& file) {
    auto disk = std::dynamic_pointer_cast<DiskFolderItem>(file);
    if (!disk) {
        auto stream = BinaryStream::Open(file);
        if (!stream) failToRead(file);
        QByteArray bytes = stream->Read(stream->Length());
        stream->Close();
        return parse(bytes);
    }
    auto runs = std::make_shared<XmlFileRuns>();
    runs->fd = openRegularFile(disk->encodedPath());
    if (runs->fd < 0) failToRead(file);
    runs->target = "zpc-text-" + QByteArray::number(QRandomGenerator::system()->generate64(), 16);

    RunReducer reducer(runs->target);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 offset = 0;;) {
        qint64 got = 0;
        if (!readAt(runs->fd, chunk.data(), chunk.size(), offset, &got)) failToRead(file);
        if (offset == 0 &&
            !RunReducer::canReduce(QByteArray::fromRawData(chunk.constData(), got))) {
            // Read whole, as any other document.
            struct stat st {};
            if (::fstat(runs->fd, &st) != 0) failToRead(file);
            QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
            if (!readAt(runs->fd, bytes.data(), bytes.size(), 0, &got)) failToRead(file);
            bytes.truncate(qsizetype(got));
            return parse(bytes);
        }
        if (got == 0) break;
        reducer.feed(chunk.constData(), qsizetype(got), offset);
        offset += got;
    }
    reducer.finish();
    runs->runs = std::move(reducer.runs);
    if (runs->runs.empty()) return parse(reducer.out);
    return parse(reducer.out, runs);
}

XmlDocumentPtr XmlDocument::parse(const QByteArray& bytes) {
    return parse(bytes, nullptr);
}

XmlDocumentPtr XmlDocument::parse(const QByteArray& bytes,
                                  const std::shared_ptr<XmlFileRuns>& runs) {
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
                if (int(stack.size()) > kMaxDepth)
                    return fail(QStringLiteral("The document is nested too deeply"));
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
            case QXmlStreamReader::Characters: {
                // Blanks between top-level nodes are no nodes of the document.
                if (stack.size() == 1 && reader.isWhitespace()) break;
                XmlNode* last =
                    stack.back()->ChildCount() > 0 ? stack.back()->mChildren.back().get() : nullptr;
                if (last && last->Type() == Text && last->mLarge)
                    last->mLarge->pieces.push_back({reader.text().toString(), -1});
                else if (last && last->Type() == Text)
                    last->mValue += reader.text();
                else
                    stack.back()->AppendChild(doc->CreateTextNode(reader.text().toString()));
                break;
            }
            case QXmlStreamReader::Comment: {
                auto n = XmlNodePtr(
                    new XmlNode(Comment, QStringLiteral("#comment"), reader.text().toString()));
                n->mDocument = doc;
                stack.back()->AppendChild(n);
                break;
            }
            case QXmlStreamReader::ProcessingInstruction: {
                if (runs && reader.processingInstructionTarget() == QLatin1String(runs->target)) {
                    // A run left in the file: text like the characters around it.
                    const qulonglong index =
                        reader.processingInstructionData().trimmed().toULongLong();
                    XmlNode* last = stack.back()->ChildCount() > 0
                                        ? stack.back()->mChildren.back().get()
                                        : nullptr;
                    if (!last || last->Type() != Text)
                        last = stack.back()->AppendChild(doc->CreateTextNode(QString())).get();
                    if (!last->mLarge) {
                        last->mLarge = std::make_shared<LargeText>();
                        last->mLarge->file = runs;
                        if (!last->mValue.isEmpty())
                            last->mLarge->pieces.push_back({std::move(last->mValue), -1});
                        last->mValue.clear();
                    }
                    if (index < runs->runs.size())
                        last->mLarge->pieces.push_back({QString(), qsizetype(index)});
                    break;
                }
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
                        return fail(QStringLiteral("External entity \"%1\" is not allowed")
                                        .arg(e.name().toString()));
                break;
            case QXmlStreamReader::EntityReference:
                // An entity the document does not define: never fetched.
                return fail(
                    QStringLiteral("Undefined entity \"%1\"").arg(reader.name().toString()));
            default:
                break;
        }
    }
    if (reader.hasError()) return fail(reader.errorString());
    return doc;
}

namespace {

// Writes to a binary stream, for the XML writer.
class StreamDevice : public QIODevice {
public:
    explicit StreamDevice(BinaryStream& stream) : mStream(stream) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        mStream.Write(data, size);
        return mStream.hasError() ? -1 : size;
    }

private:
    BinaryStream& mStream;
};

}  // namespace

void XmlDocument::write(QIODevice* device) const {
    QXmlStreamWriter w(device);
    // Base64 text needs no escaping: it goes to the device as it is, once the
    // writer has closed the element's start tag.
    auto writeRaw = [&w](const char* data, qsizetype size) {
        w.writeCharacters(QString());
        w.device()->write(data, size);
    };
    auto writeText = [&](const XmlNode& n) {
        if (!n.mLarge) {
            w.writeCharacters(n.mValue);
        } else if (n.mLarge->base64) {
            w.writeCharacters(QString());  // an empty text still closes the start tag
            EncodeBase64Pieces(n.mLarge->bytes, n.mLarge->lineLength, [&](const QByteArray& piece) {
                writeRaw(piece.constData(), piece.size());
                yield();
            });
        } else {
            for (const LargeText::Piece& piece : n.mLarge->pieces) {
                if (piece.run < 0)
                    w.writeCharacters(piece.text);
                else
                    n.mLarge->file->read(size_t(piece.run), writeRaw);
            }
        }
    };
    w.writeStartDocument();
    for (int i = 0; i < ChildCount(); ++i) {
        // Iterative, so a deep tree cannot exhaust the stack.
        struct Frame {
            const XmlNode* node;
            int next;
        };
        std::vector<Frame> stack{{Child(i).get(), 0}};
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
                        writeText(*n);
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
    w.writeEndDocument();
}

QByteArray XmlDocument::toXml() const {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    write(&buffer);
    return out;
}

bool XmlDocument::SaveXml(const FolderItemPtr& file) const {
    auto disk = std::dynamic_pointer_cast<DiskFolderItem>(file);
    if (!disk) {
        auto stream = BinaryStream::Create(file, true);
        if (!stream) return false;
        {
            StreamDevice device(*stream);
            write(&device);
        }
        stream->Close();
        return !stream->hasError();
    }

    QByteArray target = disk->encodedPath();
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(target.constData(), nullptr);
        if (!real) return false;
        target = real;
        ::free(real);
    }
    const bool replacing = ::stat(target.constData(), &st) == 0;
    if (replacing && !S_ISREG(st.st_mode)) return false;

    const qsizetype slash = target.lastIndexOf('/');
    const SaveTemporary made =
        createSaveTemporary(slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : target.left(slash),
                            target.mid(slash + 1));
    if (made.fd < 0) return false;
    const QByteArray& temporary = made.path;
    // The stream closes its descriptor; the lock stays with this one until
    // the file has its place, so no other save takes it for a stray.
    const int fd = ::fcntl(made.fd, F_DUPFD_CLOEXEC, 0);
    struct LockHolder {
        int fd;
        ~LockHolder() { ::close(fd); }
    } holdLock{made.fd};
    if (fd < 0) {
        ::unlink(temporary.constData());
        return false;
    }
    if (replacing) ::fchmod(fd, st.st_mode & 07777);
    FileBinaryStream stream(fd, true);
    {
        StreamDevice device(stream);
        write(&device);
    }
    const bool written = !stream.hasError() && stream.sync();
    stream.Close();
    if (!written || stream.hasError() || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

}  // namespace zpc::platform
