// The form runtime's conversions, rounding rules, 16-bit limits and box overlap.
#include "playfield/runtime.h"

#include "playfield/numbertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace farvane {

double CaptionToNumber(std::string_view caption)
{
    while (!caption.empty() && (caption.front() == ' ' || caption.front() == '\t'))
        caption.remove_prefix(1);
    // A score is plain digits, read here exactly (15 digits stay below 2^53) and several times
    // faster than by the general parser, which takes everything else.
    if (!caption.empty() && caption.size() <= 15) {
        std::int64_t digits = 0;
        std::size_t i = 0;
        for (; i < caption.size() && caption[i] >= '0' && caption[i] <= '9'; ++i)
            digits = digits * 10 + (caption[i] - '0');
        if (i == caption.size())
            return static_cast<double>(digits);
    }
    double value = 0;
    const bool read = parseDouble(caption.data(), caption.data() + caption.size(), value);
    return read && std::isfinite(value) ? value : 0.0;
}

namespace {

// Largest magnitude at which every whole double still prints exactly through int64.
constexpr double WholeLimit = 9.2e18;

std::size_t formatNumber(char* out, std::size_t size, double value)
{
    char* end = out;
    // Below the limit a double is whole exactly when its truncation gives it back: no floor call.
    // NaN and the infinities fail the limit test and take the general form.
    const auto whole = std::fabs(value) < WholeLimit ? static_cast<std::int64_t>(value) : 0;
    if (std::fabs(value) < WholeLimit && static_cast<double>(whole) == value)
        end = std::to_chars(out, out + size, whole).ptr;
    else
        end = shortestChars(out, out + size, value);
    return static_cast<std::size_t>(end - out);
}

} // namespace

void SetCaptionNumber(std::string& caption, double value)
{
    char buffer[64];
    const std::size_t length = formatNumber(buffer, sizeof buffer, value);
    // A score mostly keeps its number of digits from one tick to the next: then its characters
    // are overwritten in place, without the general replace that assign goes through.
    if (caption.size() == length) {
        std::memcpy(caption.data(), buffer, length);
        return;
    }
    caption.assign(buffer, length);
}

std::int16_t Clamp16(std::int32_t value)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, std::numeric_limits<std::int16_t>::min(),
                                                              std::numeric_limits<std::int16_t>::max()));
}

namespace {

template <typename T>
T roundHalfEven(double value)
{
    constexpr double lo = std::numeric_limits<T>::min();
    constexpr double hi = std::numeric_limits<T>::max();
    if (!(value > lo && value < hi)) // out of range, or NaN
        return std::isnan(value) ? T{0} : (value <= lo ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max());
    // Every box side in play is already whole; only a fraction needs the rounding rule.
    const auto whole = static_cast<std::int64_t>(value);
    if (static_cast<double>(whole) == value)
        return static_cast<T>(whole);
    // The default floating-point mode rounds to nearest with ties to even; the game never changes it.
    return static_cast<T>(std::clamp(std::nearbyint(value), lo, hi));
}

} // namespace

std::int16_t RoundToInt16(double value) { return roundHalfEven<std::int16_t>(value); }
std::int32_t roundFractionToInt32(double value) { return roundHalfEven<std::int32_t>(value); }

std::int16_t Int(double value)
{
    // Inside the 16-bit range the floor is the truncation, one less for a negative fraction:
    // the random drifts and spawn points take this path, without a call to floor.
    if (value >= -32768.0 && value < 32768.0) {
        const auto truncated = static_cast<std::int32_t>(value);
        return static_cast<std::int16_t>(truncated - (static_cast<double>(truncated) > value ? 1 : 0));
    }
    if (std::isnan(value))
        return 0;
    return static_cast<std::int16_t>(std::clamp(std::floor(value), -32768.0, 32767.0));
}

} // namespace farvane
