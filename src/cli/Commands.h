#pragma once

#include <QString>
#include <QStringList>

namespace zpc::cli {

// Exit statuses of zanthpc.
enum ExitStatus { kDone = 0, kFailed = 1, kUsageError = 2 };

// The command-line forms, as printed for --help and after a usage error.
QString usageText();

// Runs one command line (the arguments after the program's name): the
// outcome on standard output, messages on standard error. Answers the exit
// status. Uses whatever UI services are installed for the model's messages;
// a message shown counts as a failure.
int run(const QStringList& arguments);

}  // namespace zpc::cli
