#include "loom/core/state.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace {

using loom::ParamInfo;
using loom::ParamKind;
using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::string_view, 2> SOFT_HARD = {"Soft", "Hard"};

// A table shaped like Kiln's: drive, mode, tone, bypass.
constexpr std::array<ParamInfo, 4> TABLE = {{
    {.id = "drive", .unit = "dB", .min = 0, .max = 24, .default_value = 6},
    {.id = "mode", .choices = SOFT_HARD, .min = 0, .max = 1, .default_value = 0, .kind = ParamKind::Choice},
    {.id = "tone", .unit = "Hz", .min = 200, .max = 16000, .default_value = 8000, .log = true},
    {.id = "bypass", .min = 0, .max = 1, .default_value = 0, .kind = ParamKind::Toggle},
}};

void put(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put(Bytes& b, float v) { put(b, std::bit_cast<std::uint32_t>(v)); }

Bytes header(const char* magic, std::uint32_t version, std::uint32_t count) {
    Bytes b(magic, magic + 4);
    put(b, version);
    put(b, count);
    return b;
}

// A state with one single-cell record per value.
Bytes state(std::initializer_list<float> values, const char* magic = "LOOM") {
    Bytes b = header(magic, 1, static_cast<std::uint32_t>(values.size()));
    for (float v : values) {
        put(b, 1u);
        put(b, v);
    }
    return b;
}

std::vector<float> values(const loom::ParamSet& set) {
    std::vector<float> out;
    for (std::size_t i = 0; i < set.size(); ++i)
        for (std::size_t ch = 0; ch < set.at(i).cells(); ++ch) out.push_back(set.at(i).get_ch(ch));
    return out;
}

class State : public ::testing::Test {
protected:
    State() {
        set.at(0).set(12);
        set.at(1).set(1);
        set.at(2).set(440);
        set.at(3).set(1);
    }
    loom::ParamSet set = loom::ParamSet::with_channels(TABLE, 2);
    const std::vector<float> before = {12, 1, 440, 1};
};

TEST(StateSave, FreshTableGivesTheFortyFourBytes) {
    const auto set = loom::ParamSet::with_channels(TABLE, 2);
    const Bytes expected = {'L', 'O', 'O', 'M', 0x01, 0, 0, 0, 0x04, 0, 0, 0,
                            0x01, 0, 0, 0, 0x00, 0x00, 0xC0, 0x40,  // drive 6
                            0x01, 0, 0, 0, 0x00, 0x00, 0x00, 0x00,  // mode 0
                            0x01, 0, 0, 0, 0x00, 0x00, 0xFA, 0x45,  // tone 8000
                            0x01, 0, 0, 0, 0x00, 0x00, 0x00, 0x00}; // bypass 0
    EXPECT_EQ(loom::state::save(set), expected);
}

TEST_F(State, RoundTripsAndAcceptsTheOtherMagic) {
    const Bytes saved = loom::state::save(set);
    auto other = loom::ParamSet::with_channels(TABLE, 2);
    ASSERT_TRUE(loom::state::load(other, saved));
    EXPECT_EQ(values(other), before);

    Bytes weft = loom::state::save(loom::ParamSet::with_channels(TABLE, 2));
    std::memcpy(weft.data(), "WEFT", 4);
    ASSERT_TRUE(loom::state::load(set, weft));
    EXPECT_EQ(values(set), (std::vector<float>{6, 0, 8000, 0}));
}

TEST_F(State, RefusesBadBytesAndChangesNothing) {
    Bytes cut = state({1, 1, 1000, 0});
    cut.pop_back(); // the last value is cut short
    Bytes missing_record = state({1, 1});
    missing_record[8] = 3; // says three records, holds two
    struct Row { const char* name; Bytes bytes; };
    const Row rows[] = {
        {"Empty", {}},
        {"ElevenBytes", [] { Bytes b = header("LOOM", 1, 0); b.pop_back(); return b; }()},
        {"SevenBytes", Bytes{'L', 'O', 'O', 'M', 1, 0, 0}},
        {"OtherMagic", state({1}, "LOAM")},
        {"VersionTwo", [] { Bytes b = state({1}); b[4] = 2; return b; }()},
        {"VersionZero", [] { Bytes b = state({1}); b[4] = 0; return b; }()},
        {"LastValueCut", cut},
        {"RecordMissing", missing_record},
        {"CellCountBeyondBytes", [] { Bytes b = header("LOOM", 1, 1); put(b, 0xFFFFFFFFu); put(b, 1.0f); return b; }()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(loom::state::load(set, row.bytes));
        EXPECT_EQ(values(set), before);
    }
}

TEST_F(State, CorrectsValuesByTheValueRule) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ASSERT_TRUE(loom::state::load(set, state({nan, 0.7f, 50, 0.2f})));
    EXPECT_EQ(values(set), (std::vector<float>{6, 1, 200, 0}));
}

TEST_F(State, MatchesRecordsByPositionOnly) {
    ASSERT_TRUE(loom::state::load(set, header("LOOM", 1, 0))); // no records: nothing changes
    EXPECT_EQ(values(set), before);

    ASSERT_TRUE(loom::state::load(set, state({3, 0}))); // fewer records: the rest keep their values
    EXPECT_EQ(values(set), (std::vector<float>{3, 0, 440, 1}));

    Bytes extra = state({4, 1, 300, 0, 99}); // a fifth record, then trailing bytes
    extra.push_back(0xAB);
    ASSERT_TRUE(loom::state::load(set, extra));
    EXPECT_EQ(values(set), (std::vector<float>{4, 1, 300, 0}));
}

TEST(StatePerChannel, DropsMissingChannelsAndKeepsUnmentionedOnes) {
    constexpr std::array<ParamInfo, 2> table = {{
        {.id = "trim", .min = -1, .max = 1, .per_channel = true},
        {.id = "meter", .min = -96, .max = 0, .default_value = -96, .kind = ParamKind::ReadOnly},
    }};
    auto set = loom::ParamSet::with_channels(table, 3);
    set.at(0).set(0.5f);
    set.at(1).set(-10);
    const Bytes saved = loom::state::save(set);
    EXPECT_EQ(saved.size(), 12u + 4 + 3 * 4 + 4 + 4);

    Bytes b = header("LOOM", 1, 2);
    put(b, 5u); // five channels for a set of three: the last two are dropped
    for (float v : {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}) put(b, v);
    put(b, 1u);
    put(b, -50.0f); // read-only: never restored
    ASSERT_TRUE(loom::state::load(set, b));
    EXPECT_EQ(values(set), (std::vector<float>{0.1f, 0.2f, 0.3f, -10}));

    Bytes one = header("LOOM", 1, 1);
    put(one, 1u);
    put(one, -0.75f); // only channel 0 mentioned
    ASSERT_TRUE(loom::state::load(set, one));
    EXPECT_EQ(values(set), (std::vector<float>{-0.75f, 0.2f, 0.3f, -10}));
}

TEST_F(State, CallsTheListenerOnlyAfterASuccessfulLoad) {
    int calls = 0;
    set.set_listener([&](const loom::ParamSet&) { ++calls; });
    EXPECT_FALSE(loom::state::load(set, {}));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(loom::state::load(set, header("LOOM", 1, 0)));
    EXPECT_EQ(calls, 1);
}

} // namespace
