#include "platform/DiskFolderItem.h"

#include "platform/BinaryStream.h"
#include "platform/VirtualVolume.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace zpc::platform {

namespace {

// Makes a path absolute and resolves ".", ".." and repeated slashes on the
// bytes themselves, so names that are not valid UTF-8 survive.
// True when no piece of an absolute path is empty, "." or "..", so cleaning
// would give it back unchanged (the usual case: listings and children).
bool isCleanAbsolute(const QByteArray& path) {
    const int n = int(path.size());
    if (n == 0 || path[0] != '/') return false;
    if (n == 1) return true;
    if (path[n - 1] == '/') return false;
    int start = 1;  // first byte of the current piece
    for (int i = 1; i <= n; ++i) {
        if (i < n && path[i] != '/') continue;
        const int len = i - start;
        if (len == 0) return false;
        if (path[start] == '.' && (len == 1 || (len == 2 && path[start + 1] == '.'))) return false;
        start = i + 1;
    }
    return true;
}

QByteArray cleanAbsolute(QByteArray path) {
    if (isCleanAbsolute(path)) return path;
    if (!path.startsWith('/')) {
        QByteArray cwd = QFile::encodeName(QDir::currentPath());
        path = cwd + '/' + path;
    }
    QList<QByteArray> parts;
    for (const QByteArray& piece : path.split('/')) {
        if (piece.isEmpty() || piece == ".") continue;
        if (piece == "..") {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts.append(piece);
    }
    QByteArray out;
    for (const QByteArray& piece : parts) out += '/' + piece;
    return out.isEmpty() ? QByteArray("/") : out;
}

// Finder info kept as an AppleDouble blob in an extended attribute, as file
// servers that share folders with Macs store it.
const char kFinderInfoAttr[] = "user.org.netatalk.Metadata";
constexpr quint32 kAppleDoubleMagic = 0x00051607;
constexpr quint32 kAppleDoubleVersion2 = 0x00020000;
constexpr quint32 kFinderInfoId = 9;
constexpr int kFinderInfoLength = 32;

quint32 readBE32(const QByteArray& b, int at) {
    return (quint32(quint8(b[at])) << 24) | (quint32(quint8(b[at + 1])) << 16) |
           (quint32(quint8(b[at + 2])) << 8) | quint32(quint8(b[at + 3]));
}
void writeBE32(QByteArray& b, int at, quint32 v) {
    b[at] = char(v >> 24);
    b[at + 1] = char(v >> 16);
    b[at + 2] = char(v >> 8);
    b[at + 3] = char(v);
}

// Offset of the Finder info inside an AppleDouble blob, or -1.
int finderInfoOffset(const QByteArray& blob) {
    if (blob.size() < 26 || readBE32(blob, 0) != kAppleDoubleMagic) return -1;
    const int entries = (quint8(blob[24]) << 8) | quint8(blob[25]);
    for (int i = 0; i < entries; ++i) {
        const int at = 26 + i * 12;
        if (at + 12 > blob.size()) return -1;
        if (readBE32(blob, at) != kFinderInfoId) continue;
        const quint32 off = readBE32(blob, at + 4);
        const quint32 len = readBE32(blob, at + 8);
        if (len < 8 || off > quint32(blob.size()) || len > quint32(blob.size()) - off) return -1;
        return int(off);
    }
    return -1;
}

QByteArray newFinderInfoBlob() {
    QByteArray blob(26 + 12 + kFinderInfoLength, '\0');
    writeBE32(blob, 0, kAppleDoubleMagic);
    writeBE32(blob, 4, kAppleDoubleVersion2);
    blob[25] = 1;
    writeBE32(blob, 26, kFinderInfoId);
    writeBE32(blob, 30, 26 + 12);
    writeBE32(blob, 34, kFinderInfoLength);
    return blob;
}

QByteArray fourCharCode(const QString& code) {
    QByteArray b = code.toLatin1().left(4);
    while (b.size() < 4) b.append(' ');
    return b;
}

}  // namespace

DiskFolderItem::DiskFolderItem(const QString& path, bool noFollow)
    : mEncoded(cleanAbsolute(QFile::encodeName(path))), mNoFollow(noFollow) {}

std::shared_ptr<DiskFolderItem> DiskFolderItem::fromBytes(const QByteArray& path, bool noFollow) {
    auto item = std::make_shared<DiskFolderItem>(Token());
    item->mEncoded = cleanAbsolute(path);
    item->mNoFollow = noFollow;
    return item;
}

FolderItemPtr DiskFolderItem::invalid(const QByteArray& parentPath, const QString& name) {
    auto item = std::make_shared<DiskFolderItem>(Token());
    item->mInvalid = true;
    item->mInvalidName = name;
    item->mEncoded = parentPath;
    return item;
}

QString DiskFolderItem::Name() const {
    if (mInvalid) return mInvalidName;
    if (mEncoded == "/") return QStringLiteral("/");
    // Decoded once: a scan asks an entry for its name several times.
    if (mName.isNull())
        mName = QString::fromLocal8Bit(QByteArrayView(mEncoded).sliced(mEncoded.lastIndexOf('/') + 1));
    return mName;
}

FolderItemPtr DiskFolderItem::Parent() const {
    if (mInvalid) return fromBytes(mEncoded);
    if (mEncoded == "/") return nullptr;
    const int slash = mEncoded.lastIndexOf('/');
    return fromBytes(slash <= 0 ? QByteArray("/") : mEncoded.left(slash));
}

QByteArray DiskFolderItem::childPath(const QByteArray& name) const {
    QByteArray path;
    path.reserve(mEncoded.size() + 1 + name.size());
    path += mEncoded;
    if (!path.endsWith('/')) path += '/';
    path += name;
    return path;
}

FolderItemPtr DiskFolderItem::Child(const QString& name) const {
    if (mInvalid || !isValidEntryName(name)) return invalid(mEncoded, name);
    return fromBytes(childPath(QFile::encodeName(name)));
}

int DiskFolderItem::Count() const {
    mListing.clear();
    mListed = true;
    if (mInvalid) return 0;
    DIR* dir = ::opendir(mEncoded.constData());
    if (!dir) return 0;
    while (dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        mListing.emplace_back(n);
    }
    ::closedir(dir);
    // Case-insensitive order with a byte tie-break, the same on every machine.
    std::vector<std::pair<QString, QByteArray>> keyed;
    keyed.reserve(mListing.size());
    for (auto& n : mListing) keyed.emplace_back(QFile::decodeName(n).toCaseFolded(), std::move(n));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int c = a.first.compare(b.first);
        return c != 0 ? c < 0 : a.second < b.second;
    });
    for (size_t i = 0; i < keyed.size(); ++i) mListing[i] = std::move(keyed[i].second);
    return int(mListing.size());
}

FolderItemPtr DiskFolderItem::Item(int index) const {
    if (!mListed) Count();
    if (index < 1 || index > int(mListing.size())) return nullptr;
    return fromBytes(childPath(mListing[size_t(index - 1)]));
}

FolderItemPtr DiskFolderItem::TrueItem(int index) const {
    if (!mListed) Count();
    if (index < 1 || index > int(mListing.size())) return nullptr;
    return fromBytes(childPath(mListing[size_t(index - 1)]), true);
}

bool DiskFolderItem::statEntry(struct stat& st) const {
    if (mInvalid) return false;
    return (mNoFollow ? ::lstat(mEncoded.constData(), &st) : ::stat(mEncoded.constData(), &st)) ==
           0;
}

bool DiskFolderItem::Directory() const {
    struct stat st {};
    return statEntry(st) && S_ISDIR(st.st_mode);
}

bool DiskFolderItem::Exists() const {
    struct stat st {};
    return statEntry(st);
}

bool DiskFolderItem::IsFile() const {
    struct stat st {};
    return statEntry(st) && !S_ISDIR(st.st_mode);
}

bool DiskFolderItem::IsSymbolicLink() const {
    struct stat st {};
    return !mInvalid && ::lstat(mEncoded.constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool DiskFolderItem::Locked() const {
    struct stat st {};
    if (!statEntry(st)) return false;
    if (!(st.st_mode & S_IWUSR)) return true;
    int fd = ::open(mEncoded.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    int flags = 0;
    const bool immutable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL);
    ::close(fd);
    return immutable;
}

qint64 DiskFolderItem::Length() const {
    struct stat st {};
    if (!statEntry(st) || S_ISDIR(st.st_mode)) return 0;
    return st.st_size;
}

QString DiskFolderItem::NativePath() const {
    // Decoded on first use: most entries of a scan never show their path.
    if (mPath.isNull()) mPath = QFile::decodeName(mEncoded);
    if (mInvalid) return (mPath == QLatin1String("/") ? mPath : mPath + QLatin1Char('/')) + mInvalidName;
    return mPath;
}

QString DiskFolderItem::URLPath() const {
    // An entry that can never exist has no URL: none may resolve to a real entry.
    if (mInvalid) return QString();
    return encodeUrlPath(mEncoded, "file://");
}

FolderItemPtr DiskFolderItem::Resolved() const {
    if (mInvalid) return GetFolderItem(URLPath());
    return fromBytes(mEncoded);
}

void DiskFolderItem::CreateAsFolder() {
    if (mInvalid) {
        mLastErrorCode = EINVAL;
        return;
    }
    if (::mkdir(mEncoded.constData(), 0777) == 0) {
        mLastErrorCode = 0;
        return;
    }
    const int err = errno;
    struct stat st {};
    mLastErrorCode = (err == EEXIST && ::stat(mEncoded.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                         ? 0
                         : err;
}

bool DiskFolderItem::Delete() {
    if (mInvalid) {
        mLastErrorCode = EINVAL;
        return false;
    }
    struct stat st {};
    if (::lstat(mEncoded.constData(), &st) != 0) {
        mLastErrorCode = errno;
        return false;
    }
    const int rc = S_ISDIR(st.st_mode) ? ::rmdir(mEncoded.constData()) : ::unlink(mEncoded.constData());
    mLastErrorCode = rc == 0 ? 0 : errno;
    return rc == 0;
}

QString DiskFolderItem::finderCode(int offset) const {
    if (mInvalid) return {};
    QByteArray blob(512, '\0');
    ssize_t n = ::getxattr(mEncoded.constData(), kFinderInfoAttr, blob.data(), size_t(blob.size()));
    if (n < 0 && errno == ERANGE) {
        n = ::getxattr(mEncoded.constData(), kFinderInfoAttr, nullptr, 0);
        if (n <= 0 || n > 1 << 20) return {};
        blob.resize(int(n));
        n = ::getxattr(mEncoded.constData(), kFinderInfoAttr, blob.data(), size_t(blob.size()));
    }
    if (n <= 0) return {};
    blob.resize(int(n));
    const int at = finderInfoOffset(blob);
    if (at < 0) return {};
    const QByteArray code = blob.mid(at + offset, 4);
    if (code == QByteArray(4, '\0')) return {};
    return QString::fromLatin1(code);
}

void DiskFolderItem::setFinderCode(int offset, const QString& code) {
    if (mInvalid) return;
    QByteArray blob(4096, '\0');
    ssize_t n = ::getxattr(mEncoded.constData(), kFinderInfoAttr, blob.data(), size_t(blob.size()));
    blob = n > 0 ? blob.left(int(n)) : QByteArray();
    int at = finderInfoOffset(blob);
    if (at < 0) {
        blob = newFinderInfoBlob();
        at = 26 + 12;
    }
    const QByteArray bytes = fourCharCode(code);
    for (int i = 0; i < 4; ++i) blob[at + offset + i] = bytes[i];
    // File systems without extended attributes simply keep no codes.
    ::setxattr(mEncoded.constData(), kFinderInfoAttr, blob.constData(), size_t(blob.size()), 0);
}

QString DiskFolderItem::MacType() const { return finderCode(0); }
QString DiskFolderItem::MacCreator() const { return finderCode(4); }
void DiskFolderItem::setMacType(const QString& code) { setFinderCode(0, code); }
void DiskFolderItem::setMacCreator(const QString& code) { setFinderCode(4, code); }

std::unique_ptr<BinaryStream> DiskFolderItem::openForReading() const {
    if (mInvalid) return nullptr;
    // Non-blocking, so a named pipe cannot hang the open; only regular files
    // are streams (a pipe or device would never end or never answer).
    int fd = ::open(mEncoded.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<FileBinaryStream>(fd, false);
}

std::unique_ptr<BinaryStream> DiskFolderItem::openForWriting(bool replace) {
    if (mInvalid) {
        mLastErrorCode = EINVAL;
        return nullptr;
    }
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (replace ? O_TRUNC : O_EXCL);
    int fd = ::open(mEncoded.constData(), flags, 0666);
    if (fd < 0) {
        mLastErrorCode = errno;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        mLastErrorCode = EINVAL;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    mLastErrorCode = 0;
    return std::make_unique<FileBinaryStream>(fd, true);
}

bool DiskFolderItem::sameFileAs(const FolderItem& other) const {
    auto* disk = dynamic_cast<const DiskFolderItem*>(&other);
    if (!disk || mInvalid || disk->mInvalid) return false;
    struct stat a {}, b {};
    if (::stat(mEncoded.constData(), &a) != 0 || ::stat(disk->mEncoded.constData(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QByteArray DiskFolderItem::fileIdentity() const {
    struct stat st {};
    if (mInvalid || ::stat(mEncoded.constData(), &st) != 0) return {};
    return QByteArray::number(qulonglong(st.st_dev)) + ':' +
           QByteArray::number(qulonglong(st.st_ino));
}

std::shared_ptr<VirtualVolume> DiskFolderItem::CreateVirtualVolume() {
    if (mInvalid || mEncoded == "/") return nullptr;
    // A link to a package is followed, so the package is replaced, not the link.
    QByteArray target = mEncoded;
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(target.constData(), nullptr);
        if (!real) return nullptr;
        target = real;
        ::free(real);
    }
    if (::stat(target.constData(), &st) == 0) {
        // Only a file we may write is replaced.
        if (!S_ISREG(st.st_mode) || ::access(target.constData(), W_OK) != 0) return nullptr;
    } else if (errno != ENOENT) {
        return nullptr;
    }
    const int slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.left(slash) : QByteArray("/");
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::access(folder.constData(), W_OK | X_OK) != 0)
        return nullptr;
    return VirtualVolume::create(target);
}

std::shared_ptr<VirtualVolume> DiskFolderItem::OpenAsVirtualVolume() const {
    if (mInvalid) return nullptr;
    return VirtualVolume::open(mEncoded);
}

QString encodeUrlPath(const QByteArray& path, const char* prefix) {
    static const char hex[] = "0123456789ABCDEF";
    // Built as ASCII bytes and converted once: every URL holds only ASCII.
    const size_t prefixLength = std::strlen(prefix);
    QByteArray out;
    out.resize(qsizetype(prefixLength) + path.size() * 3);
    char* o = out.data();
    std::memcpy(o, prefix, prefixLength);
    o += prefixLength;
    for (char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                          c == '~' || c == '/';
        if (keep) {
            *o++ = char(c);
        } else {
            *o++ = '%';
            *o++ = hex[c >> 4];
            *o++ = hex[c & 15];
        }
    }
    out.truncate(int(o - out.constData()));
    return QString::fromLatin1(out);
}

bool decodeUrlPath(const QString& encoded, QByteArray& out) {
    // Unescaped characters above ASCII are taken as UTF-8 text.
    const QByteArray in = encoded.toUtf8();
    out.resize(in.size());
    char* o = out.data();
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    const int n = int(in.size());
    for (int i = 0; i < n; ++i) {
        if (in[i] != '%') {
            *o++ = in[i];
            continue;
        }
        if (i + 2 >= n) {
            out.clear();
            return false;
        }
        const int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
        if (hi < 0 || lo < 0) {
            out.clear();
            return false;
        }
        *o++ = char(hi * 16 + lo);
        i += 2;
    }
    out.truncate(int(o - out.constData()));
    return true;
}

}  // namespace zpc::platform
