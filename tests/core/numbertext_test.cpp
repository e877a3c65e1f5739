// Numbers as text: the same bytes as the standard library's floating-point to_chars and from_chars
// (the tables hold what libstdc++ 12 writes), also from the code that stands in for them where a
// library lacks them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "playfield/numbertext.h"

namespace farvane {
namespace {

template <typename Float>
struct Case {
    Float value;
    const char* text;
};

template <typename Float, typename Format>
std::string written(Format format, Float value)
{
    char buffer[64];
    return std::string(buffer, format(buffer, buffer + sizeof buffer, value));
}

TEST(NumberText, ShortestTextIsTheStandardLibrarysByteForByte)
{
    const Case<double> doubles[] = {
        {0.10000000000000001, "0.1"},
        {0.5, "0.5"},
        {2.5, "2.5"},
        {-2.5, "-2.5"},
        {0.33333333333333331, "0.3333333333333333"},
        {-0.33333333333333331, "-0.3333333333333333"},
        {0.66666666666666663, "0.6666666666666666"},
        {0.0001, "1e-04"},
        {0.00014999999999999999, "0.00015"},
        {0.001, "0.001"},
        {123.456, "123.456"},
        {10000000000000002, "10000000000000002"},
        {1e+21, "1e+21"},
        {1.5e+21, "1.5e+21"},
        {1e+22, "1e+22"},
        {1.7976931348623157e+308, "1.7976931348623157e+308"},
        {4.9406564584124654e-324, "5e-324"},
        {2.2250738585072014e-308, "2.2250738585072014e-308"},
        {9.2e+18, "9.2e+18"},
        {9.3e+18, "9.3e+18"},
        {-9.3e+18, "-9.3e+18"},
        {1e+100, "1e+100"},
        {123456789.125, "123456789.125"},
        {0.30000000000000004, "0.30000000000000004"},
        {9.9999999999999995e-08, "1e-07"},
        {4.3499999999999996, "4.35"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {-std::numeric_limits<double>::quiet_NaN(), "-nan"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {100.5, "100.5"},
        {1000000000000000.5, "1000000000000000.5"},
        {299792.45799999998, "299792.458"},
        {6.0221407599999999e+23, "6.02214076e+23"},
    };
    for (const auto& c : doubles) {
        EXPECT_EQ(written<double>([](char* a, char* b, double v) { return shortestChars(a, b, v); }, c.value), c.text);
        EXPECT_EQ(written<double>([](char* a, char* b, double v) { return portable::shortestChars(a, b, v); }, c.value),
                  c.text);
    }
    const Case<float> floats[] = {
        {0.100000001f, "0.1"},
        {0.5f, "0.5"},
        {2.5f, "2.5"},
        {-2.5f, "-2.5"},
        {0.333333343f, "0.33333334"},
        {-7.75f, "-7.75"},
        {9.99999975e-05f, "1e-04"},
        {1.49999996e-05f, "1.5e-05"},
        {3.40282347e+38f, "3.4028235e+38"},
        {1.40129846e-45f, "1e-45"},
        {1.17549435e-38f, "1.1754944e-38"},
        {123.456001f, "123.456"},
        {16777216.0f, "16777216"},
        {0.00100000005f, "0.001"},
        {2906.25f, "2906.25"},
        {3.14159274f, "3.1415927"},
        {-9.99999975e-05f, "-1e-04"},
        {10000000.0f, "1e+07"},
        {0.300000012f, "0.3"},
        {99.9899979f, "99.99"},
    };
    for (const auto& c : floats) {
        EXPECT_EQ(written<float>([](char* a, char* b, float v) { return shortestChars(a, b, v); }, c.value), c.text);
        EXPECT_EQ(written<float>([](char* a, char* b, float v) { return portable::shortestChars(a, b, v); }, c.value),
                  c.text);
    }
    const Case<float> wholes[] = {
        {0.0f, "0"},
        {1.0f, "1"},
        {-1.0f, "-1"},
        {2880.0f, "2880"},
        {-720.0f, "-720"},
        {16777216.0f, "16777216"},
        {1.00000002e+20f, "100000002004087734272"},
        {-1.00000002e+20f, "-100000002004087734272"},
        {3.40282347e+38f, "340282346638528859811704183484516925440"},
        {4.2949673e+09f, "4294967296"},
        {123456792.0f, "123456792"},
    };
    for (const auto& c : wholes) {
        EXPECT_EQ(written<float>([](char* a, char* b, float v) { return wholeChars(a, b, v); }, c.value), c.text);
        EXPECT_EQ(written<float>([](char* a, char* b, float v) { return portable::wholeChars(a, b, v); }, c.value),
                  c.text);
    }
}

TEST(NumberText, ReadsTheLongestNumberAtTheStartAsFromCharsDoes)
{
    struct Read {
        const char* text;
        bool ok;
        double value;
    };
    const Read table[] = {
        {"12a", true, 12},    {"1e3", true, 1000}, {"0.5", true, 0.5},        {".5", true, 0.5},
        {"5.", true, 5},      {"1e", true, 1},     {"1e+", true, 1},          {"1.5e-3x", true, 0.0015},
        {"0x10", true, 0},    {"-0", true, -0.0},  {"+5", false, 0},          {"abc", false, 0},
        {"-", false, 0},      {"", false, 0},      {" 1", false, 0},          {"99999999999999999999", true, 1e20},
        {"4.35", true, 4.35}, {"1e400", false, 0}, {"-INF", true, -HUGE_VAL}, {"1e-400", false, 0},
    };
    for (const Read& r : table) {
        for (const bool portableOne : {false, true}) {
            double value = 0;
            const char* end = r.text + std::strlen(r.text);
            const bool ok = portableOne ? portable::parseDouble(r.text, end, value) : parseDouble(r.text, end, value);
            EXPECT_EQ(ok, r.ok) << r.text << (portableOne ? " (portable)" : "");
            if (ok && r.ok) {
                EXPECT_EQ(value, r.value) << r.text;
                EXPECT_EQ(std::signbit(value), std::signbit(r.value)) << r.text;
            }
        }
    }
}

} // namespace
} // namespace farvane
