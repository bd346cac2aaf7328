#pragma once

#include <QString>
#include <cstdint>

namespace zpc::platform {

// Number formats made of zeros only ("0", "00", "000000"): at least that many
// digits, leading zeros added; negative numbers keep their sign in front.
QString Format(int64_t value, const QString& pattern);

// Uniform integers, both ends included. Each generator is seeded afresh from a
// process-wide seed sequence, so two generators made in a row differ.
class Random {
public:
    Random();
    int64_t InRange(int64_t low, int64_t high);

private:
    uint64_t mState[2];
    uint64_t next();
};

// A monotonic microsecond counter (time since boot).
int64_t Microseconds();

// The local date and time at the moment of creation.
class Date {
public:
    Date();
    int Year() const { return mYear; }
    int Month() const { return mMonth; }
    int Day() const { return mDay; }
    int Hour() const { return mHour; }
    int Minute() const { return mMinute; }
    int Second() const { return mSecond; }

private:
    int mYear, mMonth, mDay, mHour, mMinute, mSecond;
};

}  // namespace zpc::platform
