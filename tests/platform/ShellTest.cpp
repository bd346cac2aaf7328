#include "platform/Exceptions.h"
#include "platform/Shell.h"
#include "support/TestSupport.h"

using namespace zpc::platform;

TEST(Shell, CollectsBothStreamsAndTheExitCode) {
    Shell shell;
    shell.Execute("echo out; echo err 1>&2; exit 3");
    EXPECT_EQ(shell.ErrorCode(), 3);
    EXPECT_EQ(shell.Result(), "out\nerr\n");
    shell.Execute("true");
    EXPECT_EQ(shell.ErrorCode(), 0);
    EXPECT_EQ(shell.Result(), "");
}

TEST(Shell, LargeOutputDoesNotBlock) {
    Shell shell;
    shell.Execute("head -c 3000000 /dev/zero | tr '\\0' x");
    EXPECT_EQ(shell.ErrorCode(), 0);
    EXPECT_EQ(shell.Result().size(), 3000000);
}

TEST(Shell, ReadsNothingFromTheTerminal) {
    Shell shell;
    shell.Execute("cat");  // would wait forever on a terminal
    EXPECT_EQ(shell.ErrorCode(), 0);
}

// Nor from a terminal it might open itself (unzip asks the password of an
// encrypted package there): the command runs in a session of its own, which
// has no terminal.
TEST(Shell, TheCommandHasNoTerminal) {
    Shell shell;
    shell.Execute("echo $$ $(cut -d' ' -f6 /proc/$$/stat)");
    ASSERT_EQ(shell.ErrorCode(), 0);
    const QStringList ids = shell.Result().trimmed().split(' ');
    ASSERT_EQ(ids.size(), 2) << shell.Result().toStdString();
    EXPECT_EQ(ids[0], ids[1]) << "the shell leads its own session";
}

TEST(Shell, MissingShellRaises) {
    Shell::setShellProgram("/nonexistent/sh");
    Shell shell;
    EXPECT_THROW(shell.Execute("true"), ShellNotAvailableException);
    Shell::setShellProgram("/bin/sh");
    EXPECT_NO_THROW(shell.Execute("true"));
}
