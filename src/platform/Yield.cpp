#include "platform/Yield.h"

#include "platform/UIServices.h"

#include <ctime>

namespace zpc::platform {

namespace {

bool gEnabled = true;
long long gLastServeNs = 0;
int gDepth = 0;
constexpr long long kIntervalNs = 15'000'000;

// The coarse clock is read without a system call and at a fraction of the
// cost; its few milliseconds of resolution do not matter at 15 ms.
long long nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return (long long)ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

void serveIfDue() {
    const long long now = nowNs();
    if (now - gLastServeNs < kIntervalNs) return;
    gLastServeNs = now;
    ui().yieldPoint();
}

}  // namespace

namespace detail {
unsigned gYieldCounter = 0;

void yieldDue() {
    if (gEnabled) serveIfDue();
}
}  // namespace detail

void waitPoint() {
    if (!gEnabled) return;
    serveIfDue();
}

void setYieldEnabled(bool enabled) { gEnabled = enabled; }
bool yieldEnabled() { return gEnabled; }

ProgressScope::ProgressScope(const QString& label) {
    ++gDepth;
    ui().beginProgress(label);
}

ProgressScope::~ProgressScope() {
    --gDepth;
    ui().endProgress();
}

int ProgressScope::depth() { return gDepth; }

}  // namespace zpc::platform
