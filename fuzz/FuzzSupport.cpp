#include "FuzzSupport.h"

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>

namespace zpc::fuzz {

namespace {

QByteArray gScratch;

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

void removeScratch() {
    if (!gScratch.isEmpty()) ::nftw(gScratch.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const QByteArray& scratchFolder() {
    if (gScratch.isEmpty()) {
        const char* tmp = ::getenv("TMPDIR");
        QByteArray pattern = QByteArray(tmp && *tmp ? tmp : "/tmp") + "/zpc-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) fail(__FILE__, __LINE__, "no scratch folder");
        gScratch = pattern;
        std::atexit(removeScratch);
    }
    return gScratch;
}

QByteArray writeScratchFile(const char* name, const QByteArray& bytes) {
    const QByteArray path = scratchFolder() + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) fail(__FILE__, __LINE__, "cannot write a scratch file");
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) fail(__FILE__, __LINE__, "cannot write a scratch file");
        done += n;
    }
    ::close(fd);
    return path;
}

void fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

}  // namespace zpc::fuzz
