#include "platform/Yield.h"

#include "platform/UIServices.h"

#include <ctime>

namespace zpc::platform {

namespace {

bool gEnabled = true;
unsigned gCounter = 0;
long long gLastServeNs = 0;
int gDepth = 0;
constexpr long long kIntervalNs = 15'000'000;

long long nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

void serveIfDue() {
    const long long now = nowNs();
    if (now - gLastServeNs < kIntervalNs) return;
    gLastServeNs = now;
    ui().yieldPoint();
}

}  // namespace

void yield() {
    if (!gEnabled) return;
    // Reading the clock costs more than the loops' own steps; do it rarely.
    if ((++gCounter & 15u) != 0) return;
    serveIfDue();
}

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
