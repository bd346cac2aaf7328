#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A small harness: best-of timings, reference commands, and the peak memory
// of one operation measured in a child process.
namespace zpc::bench {

struct Figure {
    QString name;
    double ours = 0;
    std::optional<double> ref;  // the standard tool's time, when there is one
    std::optional<double> peakMb;
};

// Prints "NAME ratio=R ours=S ref=S peak_mb=M", leaving out what is absent.
void print(const Figure& figure);

// The wall time of one call.
double timeOnce(const std::function<void()>& op);

// The best wall time of `runs` calls of op; prepare runs before each, untimed.
double bestOf(int runs, const std::function<void()>& op, const std::function<void()>& prepare = {});

// Runs a command (standard output discarded) and answers its wall time.
// Exits the benchmark when the command fails.
double timeCommand(const QStringList& argv);

// Runs a command and answers its standard output. Exits the benchmark when
// the command fails.
QByteArray outputOf(const QStringList& argv);

// Runs this program again with the given arguments and answers the child's
// peak resident memory in MB, which the child reports with printPeak().
// Exits the benchmark when the child fails.
double peakOfSelf(const QStringList& args);
// Prints this process's peak resident memory in KB on standard output.
void printPeak();

// Removes a folder tree the benchmark made (untimed housekeeping).
void removeTree(const QString& path);

[[noreturn]] void fail(const QString& why);

}  // namespace zpc::bench
