#include "platform/Numbers.h"

#include <QDateTime>
#include <atomic>
#include <ctime>
#include <random>

namespace zpc::platform {

QString Format(int64_t value, const QString& pattern) {
    const int width = pattern.count(QLatin1Char('0'));
    const bool negative = value < 0;
    // Go through unsigned so the most negative value does not overflow.
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    QString digits = QString::number(magnitude);
    if (digits.size() < width) digits.prepend(QString(width - digits.size(), QLatin1Char('0')));
    return negative ? QLatin1Char('-') + digits : digits;
}

namespace {

uint64_t splitmix(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t nextSeed() {
    static const uint64_t base = [] {
        std::random_device rd;
        return (uint64_t(rd()) << 32) ^ rd() ^ uint64_t(Microseconds());
    }();
    static std::atomic<uint64_t> counter{0};
    uint64_t x = base + counter.fetch_add(1) * 0x632BE59BD9B4E019ull;
    return splitmix(x);
}

}  // namespace

Random::Random() {
    uint64_t seed = nextSeed();
    mState[0] = splitmix(seed);
    mState[1] = splitmix(seed);
}

// xorshift128+: fast, and good enough for identifiers that only tell nodes apart.
uint64_t Random::next() {
    uint64_t s1 = mState[0];
    const uint64_t s0 = mState[1];
    mState[0] = s0;
    s1 ^= s1 << 23;
    mState[1] = s1 ^ s0 ^ (s1 >> 17) ^ (s0 >> 26);
    return mState[1] + s0;
}

int64_t Random::InRange(int64_t low, int64_t high) {
    if (high < low) std::swap(low, high);
    const uint64_t span = uint64_t(high) - uint64_t(low) + 1;
    if (span == 0) return int64_t(next());  // the whole 64-bit range
    // Rejection sampling keeps the draw uniform.
    const uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    uint64_t r;
    do r = next();
    while (r >= limit);
    return int64_t(uint64_t(low) + r % span);
}

int64_t Microseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

Date::Date() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    mYear = d.year();
    mMonth = d.month();
    mDay = d.day();
    mHour = t.hour();
    mMinute = t.minute();
    mSecond = t.second();
}

}  // namespace zpc::platform
