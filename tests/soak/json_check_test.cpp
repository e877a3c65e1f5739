// The JSON line check the fuzzer and the soak share: it must take every line the driver writes and refuse broken ones.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/json_check.h"

namespace {

using farvane::fuzz::IsJsonObject;

TEST(JsonCheck, TakesTheDriversLineShapes)
{
    for (const std::string_view line :
         {"{\"end\": {\"t\": 12345}}", "{\"msgbox\": {\"prompt\": \"You Lose!\", \"title\": \"Muahahahaa\"}}",
          "{\"dump\": {\"t\": 0, \"Drift\": [-250, 249], \"Obstacle\": [{\"Left\": -0.5, \"Visible\": true}], "
          "\"lblHigh\": \"\", \"x\": 1e-07, \"y\": 2.5E+3, \"s\": \"a\\\"\\\\\\u00e9\"}}",
          "{}", " {\"a\": null, \"b\": false} "})
        EXPECT_TRUE(IsJsonObject(line)) << line;
}

TEST(JsonCheck, RefusesBrokenOrNonObjectLines)
{
    for (const std::string_view line : {"",
                                        "[]",
                                        "1",
                                        "\"s\"",
                                        "{",
                                        "{\"a\": 1",
                                        "{\"a\" 1}",
                                        "{\"a\": 1,}",
                                        "{\"a\": [1, 2,]}",
                                        "{a: 1}",
                                        "{\"a\": nan}",
                                        "{\"a\": inf}",
                                        "{\"a\": -}",
                                        "{\"a\": 01}",
                                        "{\"a\": 1.}",
                                        "{\"a\": .5}",
                                        "{\"a\": +1}",
                                        "{\"a\": \"tab\there\"}",
                                        "{\"a\": \"\\x41\"}",
                                        "{\"a\": \"\\u12\"}",
                                        "{\"a\": 1} {}",
                                        "{\"a\": 1}x",
                                        "{\"a\": True}"})
        EXPECT_FALSE(IsJsonObject(line)) << line;
}

TEST(JsonCheck, RefusesNestingDeeperThanAnyDump)
{
    std::string deep = "{\"a\": ";
    for (int n = 0; n < 100; ++n)
        deep += "[";
    for (int n = 0; n < 100; ++n)
        deep += "]";
    deep += "}";
    EXPECT_FALSE(IsJsonObject(deep));
}

} // namespace
