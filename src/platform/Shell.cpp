#include "platform/Shell.h"

#include "platform/Exceptions.h"
#include "platform/Yield.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zpc::platform {

namespace {
QString& programPath() {
    static QString path = QStringLiteral("/bin/sh");
    return path;
}
}  // namespace

void Shell::setShellProgram(const QString& path) { programPath() = path; }
QString Shell::shellProgram() { return programPath(); }

void Shell::Execute(const QString& command) {
    mResult.clear();
    mErrorCode = 0;
    const QByteArray sh = QFile::encodeName(programPath());
    if (::access(sh.constData(), X_OK) != 0)
        throw ShellNotAvailableException(QStringLiteral("No shell is available at %1").arg(programPath()));

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw ShellNotRunningException(QStringLiteral("The shell could not be started"));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);

    // In a session of its own the command has no terminal: unzip asks for the
    // password of an encrypted package on the terminal, where nobody sees the
    // question, and would wait forever.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    const QByteArray cmd = command.toUtf8();
    char arg0[] = "sh";
    char arg1[] = "-c";
    char* argv[] = {arg0, arg1, const_cast<char*>(cmd.constData()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, sh.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        throw ShellNotAvailableException(QStringLiteral("No shell is available at %1").arg(programPath()));
    }

    QByteArray output;
    char buf[65536];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, 20);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n > 0) {
                output.append(buf, n);
                continue;
            }
            if (n == 0 || errno != EINTR) break;
        }
        // The command is still running: let the window paint meanwhile.
        waitPoint();
    }
    ::close(fds[0]);

    int status = 0;
    pid_t w;
    while ((w = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (w < 0) throw ShellNotRunningException(QStringLiteral("The shell stopped running"));
    if (WIFEXITED(status)) mErrorCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) mErrorCode = 128 + WTERMSIG(status);
    mResult = QString::fromUtf8(output);
}

}  // namespace zpc::platform
