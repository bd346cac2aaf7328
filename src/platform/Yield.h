#pragma once

#include <QString>

namespace zpc::platform {

namespace detail {
extern unsigned gYieldCounter;
void yieldDue();
}  // namespace detail

// Long loops call yield() after each entry. It is throttled: at most every
// 15 ms it hands control to the UI services, which serve paint and timer
// events (never user input) and advance the progress report. Between those
// moments a call costs a counter increment: it is inline, since searches call
// it for every node they pass, and only every 16th call looks at the clock.
inline void yield() {
    if ((++detail::gYieldCounter & 15u) != 0) return;
    detail::yieldDue();
}

// Used while waiting on something outside the process (a running command):
// serves events like yield(), throttled the same way.
void waitPoint();

// Turns the servicing off and on (benchmarks measure its cost).
void setYieldEnabled(bool enabled);
bool yieldEnabled();

// Marks long work. The UI services show progress once the outermost scope has
// lasted about half a second; nested scopes only change the label.
class ProgressScope {
public:
    explicit ProgressScope(const QString& label);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

    // How many scopes are open right now (a window refuses to close meanwhile).
    static int depth();
};

}  // namespace zpc::platform
