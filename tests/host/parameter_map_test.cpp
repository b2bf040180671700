// The host's parameter sets: typed lookups, defaults, writes and value parsing.
#include <gtest/gtest.h>

#include "host/parameter_map.h"

namespace {

using zqx::host::formatParameterValue;
using zqx::host::ParameterMap;
using zqx::host::parseParameterValue;

TEST(ParameterMap, TypedLookupsAndDefaults) {
    ParameterMap p{{"i", 7}, {"d", 2.5}, {"w", 3.0}, {"b", true}, {"s", std::string("x")}};
    ParameterSet& set = p;
    EXPECT_EQ(set.getInt("i", -1), 7);
    EXPECT_EQ(set.getInt("w", -1), 3) << "a whole double reads as int";
    EXPECT_EQ(set.getInt("d", -1), -1) << "a fractional double does not";
    EXPECT_EQ(set.getInt("missing", -1), -1);
    EXPECT_EQ(set.getDouble("i", -1.0), 7.0);
    EXPECT_EQ(set.getDouble("missing", 10.0), 10.0);
    EXPECT_EQ(set.getDouble("s", -1.0), -1.0);
    EXPECT_TRUE(set.getBool("b"));
    EXPECT_TRUE(set.getBool("i"));
    EXPECT_FALSE(set.getBool("missing"));
    set.setInt("samplingRate", 22050);
    EXPECT_EQ(set.getInt("samplingRate", -1), 22050);
    EXPECT_EQ(p.readLog().size(), 11u);
}

TEST(ParameterMap, ParsesTypedText) {
    struct Case {
        const char* text;
        ParameterMap::Value value;
    };
    const Case cases[] = {
        {"44100", 44100},    {"-1", -1},           {"0.5", 0.5},       {"1e3", 1000.0},
        {"true", true},      {"false", false},     {"abc", std::string("abc")},
        {"99999999999", 99999999999.0}, {"", std::string("")},
    };
    for (const Case& c : cases) EXPECT_EQ(parseParameterValue(c.text), c.value) << c.text;
    EXPECT_EQ(formatParameterValue(0.1), "0.10000000000000001");
    EXPECT_EQ(formatParameterValue(true), "true");
}

}  // namespace
