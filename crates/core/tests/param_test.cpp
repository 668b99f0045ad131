#include "loom/core/param.hpp"

#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string_view>

namespace {

using loom::ParamInfo;
using loom::ParamKind;
using loom::ParamSet;

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();

constexpr std::array<std::string_view, 2> SOFT_HARD = {"Soft", "Hard"};
constexpr std::array<std::string_view, 4> FOUR = {"A", "B", "C", "D"};
constexpr std::array<std::string_view, 3> THREE = {"A", "B", "C"};
constexpr std::array<std::string_view, 1> ONE = {"A"};

constexpr ParamInfo DRIVE{.id = "drive", .name = "Drive", .unit = "dB", .min = 0, .max = 24, .default_value = 6};
constexpr ParamInfo MODE{.id = "mode", .name = "Mode", .choices = SOFT_HARD, .min = 0, .max = 1,
                         .default_value = 0, .kind = ParamKind::Choice};
constexpr ParamInfo STEPS{.id = "steps", .choices = FOUR, .min = 0, .max = 3, .kind = ParamKind::Choice};
constexpr ParamInfo BYPASS{.id = "bypass", .min = 0, .max = 1, .kind = ParamKind::Toggle};
constexpr ParamInfo METER{.id = "meter", .unit = "dB", .min = -96, .max = 0, .default_value = -96,
                          .kind = ParamKind::ReadOnly};
constexpr ParamInfo TRIM{.id = "trim", .min = -1, .max = 1, .per_channel = true};

TEST(ParamRule, CorrectsEveryWrittenValue) {
    struct Row { const char* name; ParamInfo info; float in, out; };
    const Row rows[] = {
        {"NaNBecomesDefault", DRIVE, NaN, 6},
        {"FloatClampsHigh", DRIVE, 30, 24},
        {"FloatClampsLow", DRIVE, -INF, 0},
        {"FloatKeepsFraction", DRIVE, 3.3f, 3.3f},
        {"ToggleRoundsUp", BYPASS, 0.6f, 1},
        {"ToggleHalfRoundsAway", BYPASS, 0.5f, 1},
        {"ToggleBelowHalf", BYPASS, 0.49f, 0},
        {"ChoiceHalfRoundsAway", STEPS, 2.5f, 3},
        {"ChoiceNegativeClamps", STEPS, -4, 0},
        {"ReadOnlyClampsButKeepsFraction", METER, -3.7f, -3.7f},
        {"ReadOnlyClamps", METER, 5, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto set = ParamSet::with_channels(std::array{row.info}, 4);
        set.at(0).set(row.in);
        EXPECT_EQ(set.at(0).get(), row.out);
    }
}

TEST(Param, SetWritesEveryCellAndSetChWritesOne) {
    auto set = ParamSet::with_channels(std::array{TRIM, DRIVE}, 4);
    loom::Param& trim = set.at(0);
    ASSERT_EQ(trim.cells(), 4u);
    EXPECT_EQ(set.at(1).cells(), 1u);
    trim.set(0.5f);
    for (std::size_t ch = 0; ch < 4; ++ch) EXPECT_EQ(trim.get_ch(ch), 0.5f);
    trim.set_ch(2, -0.25f);
    EXPECT_EQ(trim.get_ch(2), -0.25f);
    EXPECT_EQ(trim.get_ch(1), 0.5f);
    trim.set_ch(10, 0.75f); // beyond the last cell: the last cell
    EXPECT_EQ(trim.get_ch(3), 0.75f);
    EXPECT_EQ(trim.get_ch(10), 0.75f);
    trim.set(NaN);
    for (std::size_t ch = 0; ch < 4; ++ch) EXPECT_EQ(trim.get_ch(ch), 0.0f);

    loom::Param& drive = set.at(1);
    drive.set_ch(7, 12);
    EXPECT_EQ(drive.get(), 12);
    EXPECT_EQ(drive.get_ch(3), 12);
}

TEST(ParamSet, SharesValuesBetweenCopiesAndClampsChannels) {
    auto a = ParamSet::with_channels(std::array{DRIVE, TRIM}, 64);
    ParamSet b = a;
    b.at(0).set(9);
    EXPECT_EQ(a.at(0).get(), 9);
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(a.channels(), 1u);
    struct Row { std::size_t in, out; };
    for (const Row row : {Row{0, 1}, Row{1, 1}, Row{6, 6}, Row{64, 64}, Row{100, 64}}) {
        a.set_channels(row.in);
        EXPECT_EQ(b.channels(), row.out) << row.in;
    }
    auto zero = ParamSet::with_channels(std::array{TRIM}, 0);
    EXPECT_EQ(zero.max_channels(), 1u);
    EXPECT_EQ(zero.at(0).cells(), 1u);
}

TEST(ParamSet, ListenerIsSetOnceAndCalledOnNotify) {
    auto set = ParamSet::with_channels(std::array{DRIVE}, 1);
    set.notify(); // nothing installed: nothing happens
    int calls = 0;
    EXPECT_TRUE(set.set_listener([&](const ParamSet& s) { calls += s.size() == 1 ? 1 : 100; }));
    EXPECT_FALSE(set.set_listener([&](const ParamSet&) { calls += 1000; }));
    set.notify();
    ParamSet(set).notify();
    EXPECT_EQ(calls, 2);
}

struct DisplayCase {
    const char* name;
    ParamInfo info;
    float value;
    std::string_view text;
};

const DisplayCase DISPLAYS[] = {
    {"FloatWithUnit", DRIVE, 6, "6.00 dB"},
    {"FloatLarge", {.id = "tone", .unit = "Hz", .min = 200, .max = 16000}, 8000, "8000.00 Hz"},
    {"FloatWithoutUnit", {.id = "x"}, 0.5f, "0.50"},
    {"TieGoesToEvenDown", {.id = "x"}, 0.125f, "0.12"},
    {"TieGoesToEvenUp", {.id = "x"}, 0.375f, "0.38"},
    {"NotATieRoundsUp", {.id = "x"}, 0.115f, "0.12"}, // 0.115f is slightly above 0.115
    {"Negative", METER, -3.14159f, "-3.14 dB"},
    {"NaN", DRIVE, NaN, "NaN dB"},
    {"Infinity", {.id = "x"}, INF, "inf"},
    {"MinusInfinity", {.id = "x"}, -INF, "-inf"},
    {"ChoiceBelowHalf", MODE, 0.4f, "Soft"},
    {"ChoiceHalf", MODE, 0.5f, "Hard"},
    {"ChoiceBeyondLast", MODE, 7, "Hard"},
    {"ChoiceNegative", MODE, -1, "Soft"},
    {"ChoiceNaN", MODE, NaN, "Soft"},
    {"ToggleBelowHalf", BYPASS, 0.49f, "Off"},
    {"ToggleHalf", BYPASS, 0.5f, "On"},
    {"ToggleNaN", BYPASS, NaN, "Off"},
    {"Formatter", {.id = "x", .formatter = [](float v) { return std::string(v > 0 ? "up" : "down"); }}, 1, "up"},
};

class ParamDisplay : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(ParamDisplay, ShowsText) { EXPECT_EQ(GetParam().info.display(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(All, ParamDisplay, ::testing::ValuesIn(DISPLAYS), loom::test::RowName{});

struct InvalidCase {
    const char* name;
    ParamInfo first, second;
    const char* message;
};

const InvalidCase INVALID[] = {
    {"MinEqualsMax", DRIVE, {.id = "flat", .min = 1, .max = 1, .default_value = 1}, "flat: min must be below max"},
    {"NaNBound", {.id = "nan", .min = NaN}, DRIVE, "nan: min must be below max"},
    {"DefaultOutside", DRIVE, {.id = "d", .min = 0, .max = 1, .default_value = 2}, "d: default outside range"},
    {"DefaultNaN", DRIVE, {.id = "d", .default_value = NaN}, "d: default outside range"},
    {"LogFromZero", DRIVE, {.id = "tone", .min = 0, .max = 1, .log = true}, "tone: a log curve needs min above zero"},
    {"ChoiceOfOne", {.id = "c", .choices = ONE, .min = 0, .max = 1, .kind = ParamKind::Choice}, DRIVE,
     "c: a choice needs two or more names"},
    {"ChoiceRange", {.id = "mode", .choices = THREE, .min = 0, .max = 1, .kind = ParamKind::Choice}, DRIVE,
     "mode: a choice runs from 0 to its last index"},
    {"ToggleRange", {.id = "t", .min = 0, .max = 2, .kind = ParamKind::Toggle}, DRIVE, "t: a toggle runs from 0 to 1"},
    {"FirstFaultWins", {.id = "a", .min = 2, .max = 1, .default_value = 5}, {.id = "b", .min = 2, .max = 1},
     "a: min must be below max"},
    {"Duplicate", DRIVE, DRIVE, "duplicate parameter id drive"},
    {"EntryFaultBeforeDuplicate", DRIVE, {.id = "drive", .min = 1, .max = 0}, "drive: min must be below max"},
};

class ParamValidation : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(ParamValidation, StopsWithMessage) {
    const std::array table{GetParam().first, GetParam().second};
    EXPECT_DEATH(ParamSet::with_channels(table, 2), std::string("^") + GetParam().message + "\n$");
}

INSTANTIATE_TEST_SUITE_P(All, ParamValidation, ::testing::ValuesIn(INVALID), loom::test::RowName{});

TEST(ParamSet, IndexBeyondTheEndIsFatal) {
    auto set = ParamSet::with_channels(std::array{DRIVE}, 1);
    EXPECT_DEATH(set.at(1), "parameter index out of range");
}

} // namespace
