#include "platform/SaveTemporary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <vector>

namespace zpc::platform {

namespace {

constexpr int kLetters = 8;

// Short enough for any file system, whatever the target's name.
QByteArray prefixOf(const QByteArray& targetName) {
    return '.' + targetName.left(100) + '.';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isTemporaryOf(const QByteArray& entry, const QByteArray& prefix) {
    if (!entry.startsWith(prefix) || !entry.endsWith(".tmp")) return false;
    const QByteArray middle = entry.mid(prefix.size(), entry.size() - prefix.size() - 4);
    return middle.size() == kLetters && std::all_of(middle.begin(), middle.end(), isLetter);
}

QByteArray randomLetters() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray out(kLetters, 'x');
    for (char& c : out) c = letters[QRandomGenerator::system()->bounded(62)];
    return out;
}

// Only a lock taken here proves no save holds the file; where there are no
// locks, nothing is removed.
void removeAbandoned(const QByteArray& folder, const QByteArray& prefix) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return;
    std::vector<QByteArray> strays;
    while (dirent* e = ::readdir(dir))
        if (isTemporaryOf(e->d_name, prefix)) strays.push_back(folder + '/' + e->d_name);
    ::closedir(dir);
    for (const QByteArray& path : strays) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
        if (fd < 0) continue;
        struct stat held {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            S_ISREG(held.st_mode) && sameFile(fd, path))
            ::unlink(path.constData());
        ::close(fd);
    }
}

}  // namespace

bool lockInUse(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    return errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL;
}

bool sameFile(int fd, const QByteArray& path) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::lstat(path.constData(), &named) == 0 &&
           held.st_ino == named.st_ino && held.st_dev == named.st_dev;
}

SaveTemporary createSaveTemporary(const QByteArray& folder, const QByteArray& targetName) {
    const QByteArray prefix = prefixOf(targetName);
    removeAbandoned(folder, prefix);
    for (int attempt = 0; attempt < 100; ++attempt) {
        SaveTemporary t;
        t.path = folder + '/' + prefix + randomLetters() + ".tmp";
        t.fd = ::open(t.path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (t.fd < 0 && errno == EEXIST) continue;
        if (t.fd < 0) return {};
        // Another save may take it for abandoned before it is locked.
        if (lockInUse(t.fd) && sameFile(t.fd, t.path)) return t;
        ::close(t.fd);
    }
    return {};
}

}  // namespace zpc::platform
