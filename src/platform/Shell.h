#pragma once

#include <QString>

namespace zpc::platform {

// Runs one command line through /bin/sh and waits for it to end. Standard
// output and standard error are collected together. While it waits the
// application keeps painting (through the yield point), but no user input is
// served, so from the caller's side the call is synchronous.
class Shell {
public:
    // Raises ShellNotAvailableException when /bin/sh cannot be started and
    // ShellNotRunningException when the shell is lost while it runs.
    void Execute(const QString& command);
    QString Result() const { return mResult; }
    int ErrorCode() const { return mErrorCode; }

    // Where the shell lives; tests point it elsewhere to see the failure.
    static void setShellProgram(const QString& path);
    static QString shellProgram();

private:
    QString mResult;
    int mErrorCode = 0;
};

}  // namespace zpc::platform
