#include "platform/system/MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace {

int64_t lcmClamped(int64_t a, int64_t b)
{
    const int64_t g = std::gcd(a, b);
    const __int128 l = static_cast<__int128>(a / g) * b;
    return l > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int64_t>(l);
}

__int128 rescale(int64_t value, int64_t from, int64_t to)
{
    // Round half away from zero.
    const __int128 n = static_cast<__int128>(value) * to;
    const __int128 half = from / 2;
    return n >= 0 ? (n + half) / from : (n - half) / from;
}

MediaTime combine(const MediaTime& a, const MediaTime& b, bool subtract)
{
    using F = MediaTime::Flag;
    if (!a.isValid() || !b.isValid())
        return MediaTime::invalid();
    if (a.flag() == F::indefinite || b.flag() == F::indefinite)
        return MediaTime::indefinite();
    auto sign = [](const MediaTime& t, bool negate) {
        int s = t.flag() == F::positiveInfinity ? 1 : t.flag() == F::negativeInfinity ? -1 : 0;
        return negate ? -s : s;
    };
    const int sa = sign(a, false), sb = sign(b, subtract);
    if (sa != 0 || sb != 0) {
        if (sa != 0 && sb != 0 && sa != sb)
            return MediaTime::indefinite();
        return (sa != 0 ? sa : sb) > 0 ? MediaTime::positiveInfinity() : MediaTime::negativeInfinity();
    }
    int64_t scale = a.timescale() == b.timescale() ? a.timescale() : lcmClamped(a.timescale(), b.timescale());
    if (scale == 0)
        scale = std::max(a.timescale(), b.timescale());
    const __int128 va = rescale(a.value(), a.timescale(), scale);
    const __int128 vb = rescale(b.value(), b.timescale(), scale);
    const __int128 r = subtract ? va - vb : va + vb;
    if (r > std::numeric_limits<int64_t>::max())
        return MediaTime::positiveInfinity();
    if (r < std::numeric_limits<int64_t>::min())
        return MediaTime::negativeInfinity();
    return MediaTime(static_cast<int64_t>(r), static_cast<int32_t>(scale));
}

} // namespace

MediaTime MediaTime::positiveInfinity() { return MediaTime(Flag::positiveInfinity); }
MediaTime MediaTime::negativeInfinity() { return MediaTime(Flag::negativeInfinity); }
MediaTime MediaTime::indefinite() { return MediaTime(Flag::indefinite); }

MediaTime MediaTime::fromSeconds(double seconds, int32_t timescale)
{
    if (!std::isfinite(seconds) || timescale <= 0)
        return invalid();
    const double v = std::round(seconds * timescale);
    if (v > static_cast<double>(std::numeric_limits<int64_t>::max()) || v < static_cast<double>(std::numeric_limits<int64_t>::min()))
        return seconds > 0 ? positiveInfinity() : negativeInfinity();
    return {static_cast<int64_t>(v), timescale};
}

double MediaTime::seconds() const
{
    switch (flag_) {
    case Flag::valid:
        return static_cast<double>(value_) / timescale_;
    case Flag::positiveInfinity:
        return std::numeric_limits<double>::infinity();
    case Flag::negativeInfinity:
        return -std::numeric_limits<double>::infinity();
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

std::optional<int64_t> MediaTime::valueIn(int32_t timescale) const
{
    if (!isNumeric() || timescale <= 0)
        return std::nullopt;
    const __int128 r = rescale(value_, timescale_, timescale);
    if (r > std::numeric_limits<int64_t>::max() || r < std::numeric_limits<int64_t>::min())
        return std::nullopt;
    return static_cast<int64_t>(r);
}

MediaTime MediaTime::convertedTo(int32_t timescale) const
{
    if (!isNumeric())
        return *this;
    const auto v = valueIn(timescale);
    return v ? MediaTime(*v, timescale) : invalid();
}

MediaTime operator+(const MediaTime& a, const MediaTime& b) { return combine(a, b, false); }
MediaTime operator-(const MediaTime& a, const MediaTime& b) { return combine(a, b, true); }

std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b)
{
    using F = MediaTime::Flag;
    auto rank = [](const MediaTime& t) {
        switch (t.flag()) {
        case F::invalid: return 0;
        case F::negativeInfinity: return 1;
        case F::valid: return 2;
        case F::positiveInfinity: return 3;
        case F::indefinite: return 4;
        }
        return 0;
    };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb || ra != 2)
        return ra <=> rb;
    const __int128 l = static_cast<__int128>(a.value()) * b.timescale();
    const __int128 r = static_cast<__int128>(b.value()) * a.timescale();
    return l < r ? std::strong_ordering::less : l > r ? std::strong_ordering::greater : std::strong_ordering::equal;
}
