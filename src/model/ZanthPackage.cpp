#include "model/ZanthPackage.h"

#include "platform/DiskFolderItem.h"
#include "platform/SaveTemporary.h"
#include "platform/Shell.h"
#include "platform/SpecialFolder.h"
#include "platform/Text.h"
#include "platform/Yield.h"
#include "util/WytFramework.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <QRegularExpression>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace zpc::model {

using namespace zpc::platform;

namespace {

const char kRootPrefix[] = "ZanthPluginConverter-";

// This process's folder for unpacked packages; empty until one is needed.
QByteArray gRoot;

// The path of an entry on disk; empty for anything else, and for an entry
// whose name can be no entry (its path would be its folder's).
QByteArray pathOf(const FolderItemPtr& item) {
    auto disk = std::dynamic_pointer_cast<DiskFolderItem>(item);
    if (!disk || !isValidEntryName(disk->Name())) return {};
    return disk->encodedPath();
}

std::vector<QByteArray> listNames(const QByteArray& folder) {
    std::vector<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        names.emplace_back(n);
    }
    ::closedir(dir);
    return names;
}

bool removePath(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.constData()) == 0;
    // A package may hold folders its owner may not change.
    if ((st.st_mode & S_IRWXU) != S_IRWXU) ::chmod(path.constData(), st.st_mode | S_IRWXU);
    bool removed = true;
    for (const QByteArray& name : listNames(path))
        removed = removePath(path + '/' + name) && removed;
    return ::rmdir(path.constData()) == 0 && removed;
}

// A link is kept only when it leads to a file inside the root.
bool secureFolder(const QByteArray& folder, const QByteArray& realRoot) {
    bool safe = true;
    for (const QByteArray& name : listNames(folder)) {
        const QByteArray path = folder + '/' + name;
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0) {
            safe = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if ((st.st_mode & S_IRWXU) != S_IRWXU) ::chmod(path.constData(), st.st_mode | S_IRWXU);
            safe = secureFolder(path, realRoot) && safe;
        } else if (S_ISREG(st.st_mode)) {
            if (!(st.st_mode & S_IRUSR)) ::chmod(path.constData(), st.st_mode | S_IRUSR);
        } else {
            bool keep = false;
            if (S_ISLNK(st.st_mode)) {
                if (char* real = ::realpath(path.constData(), nullptr)) {
                    struct stat target {};
                    keep = QByteArray(real).startsWith(realRoot + '/') &&
                           ::stat(real, &target) == 0 && S_ISREG(target.st_mode);
                    ::free(real);
                }
            }
            if (!keep && ::unlink(path.constData()) != 0) safe = false;
        }
    }
    return safe;
}

QByteArray extractionRoot() {
    struct stat st {};
    if (!gRoot.isEmpty() && ::lstat(gRoot.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return gRoot;
    const QByteArray base = pathOf(SpecialFolder::Temporary());
    if (base.isEmpty()) return {};
    QByteArray pattern = base + '/' + kRootPrefix + QByteArray::number(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    gRoot = pattern;
    return gRoot;
}

bool hasWildcard(const QString& path) {
    return path.contains(QLatin1Char('*')) || path.contains(QLatin1Char('?')) ||
           path.contains(QLatin1Char('['));
}

// The space a package needs once unpacked, from unzip's own listing; -1 when
// the listing says nothing (the unpacking then reports what is wrong).
qint64 unpackedSize(const QString& packageWord) {
    Shell shell;
    shell.Execute(QStringLiteral("unzip -Zt ") + packageWord);
    if (shell.ErrorCode() != 0) return -1;
    static const QRegularExpression totals(
        QStringLiteral("(\\d+) files?, (\\d+) bytes? uncompressed"));
    const auto match = totals.match(shell.Result());
    if (!match.hasMatch()) return -1;
    // Every entry takes at least a block of its own.
    return match.captured(2).toLongLong() + match.captured(1).toLongLong() * 4096;
}

std::function<qint64(const QByteArray&)> gFreeSpaceQuery;

qint64 freeSpace(const QByteArray& folder) {
    if (gFreeSpaceQuery) return gFreeSpaceQuery(folder);
    struct statvfs fs {};
    if (::statvfs(folder.constData(), &fs) != 0) return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

}  // namespace

FolderItemPtr ZanthPackage::newExtractionFolder() {
    const QByteArray root = extractionRoot();
    if (root.isEmpty()) return nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray path = root + '/' + util::WytFramework::createUID().toLatin1();
        if (::mkdir(path.constData(), 0700) == 0) return DiskFolderItem::fromBytes(path);
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

void ZanthPackage::discardExtractionFolder(const FolderItemPtr& folder) {
    const QByteArray path = pathOf(folder);
    if (path.isEmpty() || gRoot.isEmpty() || !path.startsWith(gRoot + '/')) return;
    removePath(path);
    if (::rmdir(gRoot.constData()) == 0) gRoot.clear();
}

void ZanthPackage::removeExtractionFolders() {
    if (gRoot.isEmpty()) return;
    removePath(gRoot);
    gRoot.clear();
}

void ZanthPackage::removeStaleExtractionFolders() {
    const QByteArray base = pathOf(SpecialFolder::Temporary());
    if (base.isEmpty()) return;
    for (const QByteArray& name : listNames(base)) {
        if (!name.startsWith(kRootPrefix)) continue;
        bool isNumber = false;
        const qint64 pid =
            name.mid(int(sizeof kRootPrefix) - 1).split('-').value(0).toLongLong(&isNumber);
        if (!isNumber || pid <= 0 || pid == ::getpid()) continue;
        // Only a process that no longer runs has left its folder for good.
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        const QByteArray path = base + '/' + name;
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        removePath(path);
    }
}

FolderItemPtr ZanthPackage::unpack(const FolderItemPtr& package,
                                   const FolderItemPtr& extractionFolder,
                                   const std::function<void(const QString&, int)>& report) {
    // unzip reads wildcards in the name of the package and would open other
    // files than the one asked for, so such a name is reached through a link.
    QString packageWord = package->ShellPath();
    FolderItemPtr alias;
    if (hasWildcard(package->NativePath())) {
        FolderItemPtr link = extractionFolder->Parent()->Child(extractionFolder->Name() +
                                                               QStringLiteral(".zanth_plugin"));
        const QByteArray target = pathOf(package), where = pathOf(link);
        if (!hasWildcard(link->NativePath()) && !target.isEmpty() && !where.isEmpty() &&
            ::symlink(target.constData(), where.constData()) == 0) {
            alias = link;
            packageWord = link->ShellPath();
        }
    }
    struct AliasRemover {
        FolderItemPtr& alias;
        ~AliasRemover() {
            if (alias) alias->Delete();
        }
    } removeAlias{alias};

    const qint64 needed = unpackedSize(packageWord);
    const qint64 available = freeSpace(pathOf(extractionFolder));
    if (needed >= 0 && available >= 0 && needed > available) {
        const qint64 mb = 1024 * 1024;
        report(QStringLiteral("The package \"%1\" needs %2 MB once unpacked, more than the %3 MB "
                              "free in the temporary folder.")
                   .arg(package->Name())
                   .arg((needed + mb - 1) / mb)
                   .arg(available / mb),
               kNoRoomCode);
        return nullptr;
    }

    // Without -^ unzip drops control characters from names ("a\nb" becomes "ab").
    Shell shell;
    shell.Execute(QStringLiteral("unzip -u -^ ") + packageWord + QStringLiteral(" -d ") +
                  extractionFolder->ShellPath());
    if (shell.ErrorCode() != 0) {
        report(shell.Result(), shell.ErrorCode());
        return nullptr;
    }
    if (!secure(extractionFolder)) return nullptr;
    return pluginFolderIn(extractionFolder);
}

bool ZanthPackage::secure(const FolderItemPtr& extractionFolder) {
    const QByteArray path = pathOf(extractionFolder);
    if (path.isEmpty()) return false;
    char* real = ::realpath(path.constData(), nullptr);
    if (!real) return false;
    const QByteArray realRoot(real);
    ::free(real);
    return secureFolder(path, realRoot);
}

FolderItemPtr ZanthPackage::pluginFolderIn(const FolderItemPtr& extractionFolder) {
    const int n = extractionFolder->Count();
    for (int i = 1; i <= n; ++i) {
        FolderItemPtr entry = extractionFolder->Item(i);
        if (entry && entry->Visible() && entry->Directory() &&
            !text::equals(entry->Name(), QStringLiteral("__MACOSX")))
            return entry;
        yield();
    }
    return nullptr;
}

QString ZanthPackage::zipCommand(const FolderItemPtr& folder, const QString& packageWord) {
    return QStringLiteral("cd ") + folder->Parent()->ShellPath() + QLatin1Char(';') +
           QStringLiteral("zip -r ") + packageWord + QLatin1Char(' ') + nameWord(folder->Name());
}

QString ZanthPackage::nameWord(const QString& name) {
    return shellQuote(name.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + name : name);
}

bool ZanthPackage::createNewFolder(const FolderItemPtr& folder) {
    const QByteArray path = pathOf(folder);
    return !path.isEmpty() && ::mkdir(path.constData(), 0777) == 0;
}

namespace {

// Private folders of saves in progress, each held by a lock on it, so that a
// save tells them from those of saves that were killed.
std::map<QByteArray, int> gHeldFolders;

const char kPrivatePrefix[] = ".zanth-save-";

// Locks the folder at path: the descriptor holding the lock, or -1 when it is
// held elsewhere or is no longer the folder that was there. Only abandoned
// folders need a real lock; a new one may go unlocked where there are none.
int lockFolder(const QByteArray& path, bool abandoned) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    const bool locked = abandoned ? ::flock(fd, LOCK_EX | LOCK_NB) == 0 : platform::lockInUse(fd);
    if (!locked || !platform::sameFile(fd, path)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void removeAbandonedPrivateFolders(const QByteArray& directory) {
    for (const QByteArray& name : listNames(directory)) {
        if (!name.startsWith(kPrivatePrefix) || name.size() != int(sizeof kPrivatePrefix) - 1 + 6)
            continue;
        const QByteArray path = directory + '/' + name;
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        const int fd = lockFolder(path, true);
        if (fd < 0) continue;
        removePath(path);
        ::close(fd);
    }
}

}  // namespace

FolderItemPtr ZanthPackage::createPrivateFolder(const FolderItemPtr& directory) {
    const QByteArray path = pathOf(directory);
    if (path.isEmpty()) return nullptr;
    removeAbandonedPrivateFolders(path);
    for (int attempt = 0; attempt < 10; ++attempt) {
        QByteArray pattern = path + '/' + kPrivatePrefix + "XXXXXX";
        if (!::mkdtemp(pattern.data())) return nullptr;
        // Another save may take it for abandoned before it is locked.
        const int fd = lockFolder(pattern, false);
        if (fd < 0) continue;
        gHeldFolders[pattern] = fd;
        return DiskFolderItem::fromBytes(pattern);
    }
    return nullptr;
}

void ZanthPackage::releasePrivateFolder(const FolderItemPtr& privateFolder) {
    const auto held = gHeldFolders.find(pathOf(privateFolder));
    if (held == gHeldFolders.end()) return;
    ::close(held->second);
    gHeldFolders.erase(held);
}

void ZanthPackage::setFreeSpaceQuery(std::function<qint64(const QByteArray&)> query) {
    gFreeSpaceQuery = std::move(query);
}

bool ZanthPackage::replace(const FolderItemPtr& target, const FolderItemPtr& file) {
    const QByteArray to = pathOf(target), from = pathOf(file);
    if (to.isEmpty() || from.isEmpty()) return false;
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::chmod(from.constData(), st.st_mode & 07777);
    return ::rename(from.constData(), to.constData()) == 0;
}

bool ZanthPackage::moveToNew(const FolderItemPtr& item, const FolderItemPtr& target) {
    const QByteArray from = pathOf(item), to = pathOf(target);
    return !from.isEmpty() && !to.isEmpty() &&
           ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0;
}

bool ZanthPackage::removeTree(const FolderItemPtr& item) {
    const QByteArray path = pathOf(item);
    return !path.isEmpty() && removePath(path);
}

}  // namespace zpc::model
