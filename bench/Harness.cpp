#include "Harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace zpc::bench {

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Spawns argv, waits, and answers the exit status. Standard output goes to
// /dev/null, or into captured when that is given.
int spawnAndWait(const QStringList& argv, QByteArray* captured = nullptr) {
    std::vector<QByteArray> bytes;
    for (const QString& a : argv) bytes.push_back(QFile::encodeName(a));
    std::vector<char*> args;
    for (QByteArray& b : bytes) args.push_back(b.data());
    args.push_back(nullptr);
    int fds[2] = {-1, -1};
    if (captured && ::pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captured) {
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (captured) {
        ::close(fds[1]);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) captured->append(buf, n);
        ::close(fds[0]);
    }
    if (rc != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

void print(const Figure& f) {
    QString line = f.name;
    if (f.ref) line += QString::asprintf(" ratio=%.2f", f.ours / *f.ref);
    line += QString::asprintf(" ours=%.4f", f.ours);
    if (f.ref) line += QString::asprintf(" ref=%.4f", *f.ref);
    if (f.peakMb) line += QString::asprintf(" peak_mb=%.1f", *f.peakMb);
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

double timeOnce(const std::function<void()>& op) {
    const double start = now();
    op();
    return now() - start;
}

double bestOf(int runs, const std::function<void()>& op, const std::function<void()>& prepare) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        if (prepare) prepare();
        const double start = now();
        op();
        best = std::min(best, now() - start);
    }
    return best;
}

double timeCommand(const QStringList& argv) {
    const double start = now();
    if (spawnAndWait(argv) != 0) fail("command failed: " + argv.join(' '));
    return now() - start;
}

QByteArray outputOf(const QStringList& argv) {
    QByteArray out;
    if (spawnAndWait(argv, &out) != 0) fail("command failed: " + argv.join(' '));
    return out;
}

double peakOfSelf(const QStringList& args) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) fail("cannot find this program");
    QStringList argv{QFile::decodeName(QByteArray(self, int(n)))};
    argv += args;
    QByteArray out;
    if (spawnAndWait(argv, &out) != 0) fail("child failed: " + args.join(' '));
    bool ok = false;
    const double kb = out.trimmed().toDouble(&ok);
    if (!ok) fail("child gave no peak: " + args.join(' '));
    return kb / 1024.0;
}

void printPeak() {
    // VmHWM belongs to this program's own memory. getrusage's ru_maxrss would
    // also count the parent's size at the moment of exec.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) fail("cannot read /proc/self/status");
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("VmHWM:")) continue;
        std::printf("%s\n", line.mid(6).trimmed().split(' ').value(0).constData());
        std::fflush(stdout);
        return;
    }
    fail("no VmHWM in /proc/self/status");
}

void removeTree(const QString& path) {
    if (path.isEmpty() || path == QLatin1String("/")) fail("refusing to remove " + path);
    if (spawnAndWait({"rm", "-rf", "--", path}) != 0) fail("cannot remove " + path);
}

void fail(const QString& why) {
    std::fprintf(stderr, "bench: %s\n", why.toUtf8().constData());
    std::exit(1);
}

}  // namespace zpc::bench
