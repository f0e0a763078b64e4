#pragma once

#include <compare>
#include <cstdint>
#include <optional>

// Exact rational time: value / timescale seconds. Arithmetic stays exact by moving both operands to a common
// timescale; flags mark the invalid and infinite times that capture code needs to tell apart from zero.
class MediaTime {
public:
    enum class Flag : uint8_t { invalid, valid, positiveInfinity, negativeInfinity, indefinite };

    constexpr MediaTime() = default;
    constexpr MediaTime(int64_t value, int32_t timescale) : value_(value), timescale_(timescale), flag_(timescale > 0 ? Flag::valid : Flag::invalid) {}

    static constexpr MediaTime invalid() { return {}; }
    static constexpr MediaTime zero() { return {0, 1}; }
    static MediaTime positiveInfinity();
    static MediaTime negativeInfinity();
    static MediaTime indefinite();
    // Nanosecond timescale is what HostClock and V4L2/PulseAudio stamps use.
    static MediaTime fromNanoseconds(int64_t nanoseconds) { return {nanoseconds, 1'000'000'000}; }
    // Rounds to the given timescale; non-finite seconds give an invalid time.
    static MediaTime fromSeconds(double seconds, int32_t timescale = 1'000'000'000);

    int64_t value() const { return value_; }
    int32_t timescale() const { return timescale_; }
    Flag flag() const { return flag_; }
    bool isValid() const { return flag_ != Flag::invalid; }
    bool isNumeric() const { return flag_ == Flag::valid; }
    double seconds() const;
    // Value in another timescale, rounded to nearest; nullopt when not numeric or out of range.
    std::optional<int64_t> valueIn(int32_t timescale) const;
    MediaTime convertedTo(int32_t timescale) const;

    friend MediaTime operator+(const MediaTime& a, const MediaTime& b);
    friend MediaTime operator-(const MediaTime& a, const MediaTime& b);
    MediaTime& operator+=(const MediaTime& other) { return *this = *this + other; }
    MediaTime& operator-=(const MediaTime& other) { return *this = *this - other; }

    // Invalid times compare equal to each other and below everything else, like the platform type did.
    friend std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b);
    friend bool operator==(const MediaTime& a, const MediaTime& b) { return (a <=> b) == std::strong_ordering::equal; }

private:
    constexpr explicit MediaTime(Flag flag) : value_(0), timescale_(1), flag_(flag) {}

    int64_t value_ = 0;
    int32_t timescale_ = 0;
    Flag flag_ = Flag::invalid;
};
