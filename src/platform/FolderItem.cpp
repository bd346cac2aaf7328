#include "platform/FolderItem.h"

#include "platform/DiskFolderItem.h"
#include "platform/Exceptions.h"
#include "platform/Picture.h"
#include "platform/UIServices.h"
#include "platform/VirtualVolume.h"

#include <QDir>

namespace zpc::platform {

FolderItem::~FolderItem() = default;

bool FolderItem::Visible() const { return !Name().startsWith(QLatin1Char('.')); }
bool FolderItem::Locked() const { return false; }
bool FolderItem::IsFile() const { return Exists() && !Directory(); }
FolderItemPtr FolderItem::Resolved() const { return GetFolderItem(URLPath()); }
bool FolderItem::IsSymbolicLink() const { return false; }
QString FolderItem::ShellPath() const { return shellQuote(NativePath()); }
QString FolderItem::MacType() const { return {}; }
QString FolderItem::MacCreator() const { return {}; }
void FolderItem::setMacType(const QString&) {}
void FolderItem::setMacCreator(const QString&) {}
bool FolderItem::sameFileAs(const FolderItem&) const { return false; }
QByteArray FolderItem::fileIdentity() const { return {}; }
std::shared_ptr<VirtualVolume> FolderItem::CreateVirtualVolume() { return nullptr; }
std::shared_ptr<VirtualVolume> FolderItem::OpenAsVirtualVolume() const { return nullptr; }
bool FolderItem::Delete() { return false; }

PicturePtr FolderItem::OpenAsPicture() const {
    return Picture::Open(std::const_pointer_cast<FolderItem>(shared_from_this()));
}

bool FolderItem::Launch(bool activate) const {
    (void)activate;
    return ui().launchFile(std::const_pointer_cast<FolderItem>(shared_from_this()));
}

QString shellQuote(const QString& word) {
    QString out;
    out.reserve(word.size() + 2);
    out += QLatin1Char('\'');
    for (QChar c : word) {
        if (c == QLatin1Char('\'')) out += QLatin1String("'\\''");
        else out += c;
    }
    out += QLatin1Char('\'');
    return out;
}

bool isValidEntryName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

FolderItemPtr folderItemForPath(const QString& nativePath) {
    return std::make_shared<DiskFolderItem>(nativePath);
}

FolderItemPtr GetFolderItem(const QString& urlPath) {
    QString rest;
    if (urlPath.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        rest = urlPath.mid(7);
        if (rest.startsWith(QLatin1String("localhost/"), Qt::CaseInsensitive)) rest = rest.mid(9);
    } else if (urlPath.startsWith(QLatin1Char('/'))) {
        rest = urlPath;
    } else {
        throw UnsupportedFormatException(QStringLiteral("Unsupported path form: %1").arg(urlPath));
    }
    if (!rest.startsWith(QLatin1Char('/')))
        throw UnsupportedFormatException(QStringLiteral("Unsupported path form: %1").arg(urlPath));
    QByteArray bytes;
    if (!decodeUrlPath(rest, bytes) || bytes.contains('\0'))
        throw UnsupportedFormatException(QStringLiteral("Malformed URL path: %1").arg(urlPath));
    return DiskFolderItem::fromBytes(bytes);
}

}  // namespace zpc::platform
