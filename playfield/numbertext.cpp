// Numbers as text: the standard library's floating-point to_chars and from_chars where it has
// them, and otherwise printf's correctly rounded digits, searched for the shortest that read back.
#include "playfield/numbertext.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>

namespace farvane {

namespace portable {

namespace {

// printf and strtod follow the C locale's decimal point; these texts always use '.'.
char localePoint()
{
    const std::lconv* conventions = std::localeconv();
    return conventions && conventions->decimal_point && conventions->decimal_point[0] ? conventions->decimal_point[0]
                                                                                      : '.';
}

// Reads a plain decimal number (the caller has checked its form) whatever the locale; false when
// it lies outside the range of a double.
bool readDecimal(std::string text, double& value)
{
    const char point = localePoint();
    if (point != '.')
        for (char& c : text)
            if (c == '.')
                c = point;
    errno = 0;
    const double read = std::strtod(text.c_str(), nullptr);
    // Past the largest double, or below the smallest subnormal; a subnormal itself reads fine.
    if (errno == ERANGE && (std::isinf(read) || read == 0))
        return false;
    value = read;
    return true;
}

template <typename Float>
char* shortest(char* first, char* last, Float value)
{
    std::string text;
    if (std::isnan(value)) {
        text = std::signbit(value) ? "-nan" : "nan";
    } else if (std::isinf(value)) {
        text = value < 0 ? "-inf" : "inf";
    } else if (value == 0) {
        text = std::signbit(value) ? "-0" : "0";
    } else {
        // The fewest significant digits that read back to the value, correctly rounded by printf.
        constexpr int MaxDigits = sizeof(Float) == sizeof(float) ? 9 : 17;
        char buffer[64];
        int digits = 1;
        for (; digits < MaxDigits; ++digits) {
            std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, static_cast<double>(value));
            double back = 0;
            if (readDecimal(buffer, back) && static_cast<Float>(back) == value)
                break;
        }
        std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, static_cast<double>(value));
        // buffer: [-]d[.ddd]e(+|-)XX
        const bool negative = buffer[0] == '-';
        std::string mantissa;
        const char* at = buffer + (negative ? 1 : 0);
        for (; *at != 'e'; ++at)
            if (*at >= '0' && *at <= '9')
                mantissa += *at;
        const int exponent = std::atoi(at + 1);
        const int count = static_cast<int>(mantissa.size());

        std::string scientific = mantissa.substr(0, 1);
        if (count > 1)
            scientific += "." + mantissa.substr(1);
        char exponentText[16];
        std::snprintf(exponentText, sizeof exponentText, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        scientific += exponentText;

        std::string fixed;
        if (exponent >= 0) {
            if (count <= exponent + 1)
                fixed = mantissa + std::string(static_cast<std::size_t>(exponent + 1 - count), '0');
            else
                fixed = mantissa.substr(0, static_cast<std::size_t>(exponent + 1)) + "." +
                        mantissa.substr(static_cast<std::size_t>(exponent + 1));
        } else {
            fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
        }
        text = (negative ? "-" : "") + (scientific.size() < fixed.size() ? scientific : fixed);
    }
    if (static_cast<std::size_t>(last - first) < text.size())
        return first;
    std::memcpy(first, text.data(), text.size());
    return first + text.size();
}

} // namespace

char* shortestChars(char* first, char* last, double value) { return shortest(first, last, value); }
char* shortestChars(char* first, char* last, float value) { return shortest(first, last, value); }

char* wholeChars(char* first, char* last, float value)
{
    char buffer[64];
    // printf writes a whole value's digits exactly; the point, if any, is never written.
    const int length = std::snprintf(buffer, sizeof buffer, "%.0f", static_cast<double>(value));
    if (length < 0 || last - first < length)
        return first;
    std::memcpy(first, buffer, static_cast<std::size_t>(length));
    return first + length;
}

bool parseDouble(const char* first, const char* last, double& value)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    auto startsWith = [&](const char* at, const char* word) {
        for (; *word; ++word, ++at)
            if (at == last || lower(*at) != *word)
                return false;
        return true;
    };
    const char* at = first;
    const bool negative = at != last && *at == '-';
    if (negative)
        ++at;
    if (startsWith(at, "inf")) {
        value = negative ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    if (startsWith(at, "nan")) {
        value = negative ? -std::nan("") : std::nan("");
        return true;
    }
    const char* start = at;
    bool anyDigit = false;
    while (at != last && *at >= '0' && *at <= '9')
        ++at, anyDigit = true;
    if (at != last && *at == '.') {
        ++at;
        while (at != last && *at >= '0' && *at <= '9')
            ++at, anyDigit = true;
    }
    if (!anyDigit)
        return false;
    if (at != last && lower(*at) == 'e') {
        const char* exponent = at + 1;
        if (exponent != last && (*exponent == '+' || *exponent == '-'))
            ++exponent;
        if (exponent != last && *exponent >= '0' && *exponent <= '9') {
            while (exponent != last && *exponent >= '0' && *exponent <= '9')
                ++exponent;
            at = exponent;
        }
    }
    double magnitude = 0;
    if (!readDecimal(std::string(start, at), magnitude))
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace portable

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
char* shortestChars(char* first, char* last, double value) { return std::to_chars(first, last, value).ptr; }
char* shortestChars(char* first, char* last, float value) { return std::to_chars(first, last, value).ptr; }
char* wholeChars(char* first, char* last, float value)
{
    return std::to_chars(first, last, value, std::chars_format::fixed).ptr;
}
bool parseDouble(const char* first, const char* last, double& value)
{
    return std::from_chars(first, last, value).ec == std::errc();
}
#else
char* shortestChars(char* first, char* last, double value) { return portable::shortestChars(first, last, value); }
char* shortestChars(char* first, char* last, float value) { return portable::shortestChars(first, last, value); }
char* wholeChars(char* first, char* last, float value) { return portable::wholeChars(first, last, value); }
bool parseDouble(const char* first, const char* last, double& value)
{
    return portable::parseDouble(first, last, value);
}
#endif

} // namespace farvane
