// The parameters extension: the host's list with per-channel parameters expanded, texts cut
// at character boundaries, values, display texts read back, and flush.

#include "test_module.hpp"
#include "local_instance.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ostream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace loom::test;
using loom::ParamInfo;
using loom::ParamKind;
using loom::ParamSet;

struct InfoRow {
    lc::clap_id id;
    const char* name;
    const char* module;
    std::uint32_t flags;
    double min, max, default_value;
};

void expect_list(const Instance& instance, const std::vector<InfoRow>& expected) {
    const lc::clap_plugin_params_t& params = instance.params();
    ASSERT_EQ(params.count(instance.plugin()), expected.size());
    for (std::uint32_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("parameter " + std::to_string(i));
        lc::clap_param_info_t info;
        std::memset(static_cast<void*>(&info), 0x55, sizeof info);
        ASSERT_TRUE(params.get_info(instance.plugin(), i, &info));
        EXPECT_EQ(info.id, expected[i].id);
        EXPECT_STREQ(info.name, expected[i].name);
        EXPECT_STREQ(info.module, expected[i].module);
        EXPECT_EQ(info.flags, expected[i].flags);
        EXPECT_EQ(info.cookie, nullptr);
        EXPECT_EQ(info.min_value, expected[i].min);
        EXPECT_EQ(info.max_value, expected[i].max);
        EXPECT_EQ(info.default_value, expected[i].default_value);
    }
    lc::clap_param_info_t info{};
    EXPECT_FALSE(params.get_info(instance.plugin(), static_cast<std::uint32_t>(expected.size()), &info));
    EXPECT_FALSE(params.get_info(instance.plugin(), 0, nullptr));
}

TEST(ClapParams, ListsPerChannelParametersOncePerChannel) {
    FakeHost host;
    const Instance instance(host);
    expect_list(instance, {{0, "Gain 1", "Out/Channel 1", 0x20, -60, 12, 0},
                           {1, "Gain 2", "Out/Channel 2", 0x20, -60, 12, 0},
                           {128, "Offset 1", "Channel 1", 0x20, -1, 1, 0},
                           {129, "Offset 2", "Channel 2", 0x20, -1, 1, 0},
                           {256, "Latency", "Delay", 0x10021, 0, 2, 0},
                           {384, "Invert", "", 0x21, 0, 1, 0},
                           {512, "Bypass", "", 0x31, 0, 1, 0},
                           {640, "Peak", "Meters", 0x8, 0, 16, 0}});
}

TEST(ClapParams, ListFollowsTheChannelCount) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.configure(1));
    EXPECT_EQ(host.rescans, std::vector<lc::clap_param_rescan_flags>{lc::CLAP_PARAM_RESCAN_ALL});
    expect_list(instance, {{0, "Gain 1", "Out/Channel 1", 0x20, -60, 12, 0},
                           {128, "Offset 1", "Channel 1", 0x20, -1, 1, 0},
                           {256, "Latency", "Delay", 0x10021, 0, 2, 0},
                           {384, "Invert", "", 0x21, 0, 1, 0},
                           {512, "Bypass", "", 0x31, 0, 1, 0},
                           {640, "Peak", "Meters", 0x8, 0, 16, 0}});
    ASSERT_TRUE(instance.configure(6));
    EXPECT_EQ(instance.params().count(instance.plugin()), 16u);
    lc::clap_param_info_t info{};
    ASSERT_TRUE(instance.params().get_info(instance.plugin(), 5, &info));
    EXPECT_EQ(info.id, 5u);
    EXPECT_STREQ(info.name, "Gain 6");
    EXPECT_STREQ(info.module, "Out/Channel 6");
    ASSERT_TRUE(instance.params().get_info(instance.plugin(), 11, &info));
    EXPECT_EQ(info.id, 133u);
    EXPECT_STREQ(info.module, "Channel 6");
}

// Parameters whose texts do not fit CLAP's fixed arrays.
const std::string LONG_ASCII(300, 'a');
const std::string NAME_SPLIT_AT_255 = std::string(253, 'b') + "\u20AC"; // bytes 253 to 255
const std::string NAME_OF_255 = std::string(253, 'c') + "\u00E9";       // exactly 255 bytes
const std::string GROUP_SPLIT_AT_1023 = std::string(1022, 'g') + "\u00E9";
const std::string_view FANCY_CHOICES[] = {"\u00DCber", "Stra\u00DFe"};

const ParamInfo LONG_TEXTS[] = {
    {.id = "a", .name = LONG_ASCII, .description = "", .unit = "", .group = LONG_ASCII},
    {.id = "b", .name = NAME_SPLIT_AT_255, .description = "", .unit = "", .group = GROUP_SPLIT_AT_1023},
    {.id = "c", .name = NAME_OF_255, .description = "", .unit = "", .group = "", .per_channel = true},
    {.id = "d", .name = "Fancy", .description = "", .unit = {}, .group = {}, .choices = FANCY_CHOICES,
     .min = 0.0f, .max = 1.0f, .kind = ParamKind::Choice},
};

struct LongTexts {
    static loom::Layout layout() { return {.inputs = {{"In", loom::Fixed{2}}}, .outputs = {}}; }
    ParamSet params() const { return set; }
    void prepare(const loom::PrepareContext&) {}
    void process(loom::Buffers, const loom::ProcessContext&) noexcept {}
    std::uint32_t latency_samples() const { return 0; }
    std::uint32_t tail_samples() const { return 0; }

    ParamSet set = ParamSet::with_channels(LONG_TEXTS, 8);
};

TEST(ClapParams, CutsTextsAtCharacterBoundaries) {
    FakeHost host;
    const LocalInstance<LongTexts> local(host);
    const lc::clap_plugin_params_t& params = local.params();
    lc::clap_param_info_t info{};

    ASSERT_TRUE(params.get_info(local.plugin(), 0, &info));
    EXPECT_EQ(std::string(info.name), std::string(255, 'a'));
    EXPECT_EQ(std::string(info.module), LONG_ASCII); // fits in 1023 bytes

    ASSERT_TRUE(params.get_info(local.plugin(), 1, &info));
    EXPECT_EQ(std::string(info.name), std::string(253, 'b')); // the euro sign would not fit
    EXPECT_EQ(std::string(info.module), std::string(1022, 'g'));

    // Per-channel: the 255-byte name plus " 1" is cut back to the whole name.
    ASSERT_TRUE(params.get_info(local.plugin(), 2, &info));
    EXPECT_EQ(std::string(info.name), NAME_OF_255);
    EXPECT_STREQ(info.module, "Channel 1");
    ASSERT_TRUE(params.get_info(local.plugin(), 3, &info));
    EXPECT_EQ(info.id, 2u * 128u + 1u);
    ASSERT_TRUE(params.get_info(local.plugin(), 4, &info)); // a group without an address
    EXPECT_STREQ(info.name, "Fancy");
    EXPECT_STREQ(info.module, "");

    // Display texts are cut the same way: "Straße" in 6 bytes keeps "Stra".
    char text[8];
    ASSERT_TRUE(params.value_to_text(local.plugin(), 3 * 128, 1.0, text, 6));
    EXPECT_STREQ(text, "Stra");
    ASSERT_TRUE(params.value_to_text(local.plugin(), 3 * 128, 1.0, text, 8));
    EXPECT_STREQ(text, "Stra\u00DFe");
    ASSERT_TRUE(params.value_to_text(local.plugin(), 3 * 128, 0.0, text, 2));
    EXPECT_STREQ(text, "");
}

TEST(ClapParams, GetsValuesOfValidIdsOnly) {
    FakeHost host;
    const Instance instance(host);
    EventList events;
    events.value(1, -7.5);
    events.value(256, 2.0);
    instance.params().flush(instance.plugin(), events.list(), nullptr);

    const lc::clap_plugin_params_t& params = instance.params();
    double v = -1.0;
    ASSERT_TRUE(params.get_value(instance.plugin(), 1, &v));
    EXPECT_EQ(v, -7.5);
    ASSERT_TRUE(params.get_value(instance.plugin(), 0, &v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(params.get_value(instance.plugin(), 256, &v));
    EXPECT_EQ(v, 2.0);

    v = 42.0;
    for (const lc::clap_id id : {257u, 2u, 6u * 128u, lc::CLAP_INVALID_ID}) {
        EXPECT_FALSE(params.get_value(instance.plugin(), id, &v)) << id;
        EXPECT_EQ(v, 42.0) << id;
    }
    EXPECT_FALSE(params.get_value(instance.plugin(), 0, nullptr));
}

struct TextRow {
    const char* name;
    lc::clap_id id;
    double value;
    const char* text;
};

void PrintTo(const TextRow& row, std::ostream* out) { *out << row.name; }

const TextRow DISPLAY_TEXTS[] = {
    {"FloatWithUnit", 0, -6.0, "-6.00 dB"},
    {"FloatOfAnotherChannel", 1, 3.14159, "3.14 dB"},
    {"FloatTieToEven", 0, 0.125, "0.12 dB"},
    {"FloatWithoutUnit", 128, 0.5, "0.50"},
    {"FloatOutsideRangeShownAsIs", 128, 7.0, "7.00"},
    {"FloatNaN", 128, std::numeric_limits<double>::quiet_NaN(), "NaN"},
    {"FloatBeyondSinglePrecision", 0, 1e300, "inf dB"},
    {"Choice", 256, 1.0, "Short"},
    {"ChoiceRounded", 256, 1.5, "Long"},
    {"ChoiceBeyondTheLast", 256, 9.0, "Long"},
    {"ChoiceNegative", 256, -1.0, "None"},
    {"ToggleOn", 384, 0.5, "On"},
    {"ToggleOff", 512, 0.49, "Off"},
    {"ReadOnly", 640, 1.0, "1.00"},
};

class ClapValueToText : public ::testing::TestWithParam<TextRow> {};

TEST_P(ClapValueToText, WritesTheDisplayText) {
    FakeHost host;
    const Instance instance(host);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(instance.params().value_to_text(instance.plugin(), GetParam().id, GetParam().value, buffer,
                                                sizeof buffer));
    EXPECT_STREQ(buffer, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(All, ClapValueToText, ::testing::ValuesIn(DISPLAY_TEXTS), RowName{});

TEST(ClapValueToText, FitsTheBufferItIsGiven) {
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_params_t& params = instance.params();
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(params.value_to_text(instance.plugin(), 0, -6.0, buffer, 0));
    EXPECT_EQ(buffer[0], 'x'); // size 0: nothing written
    ASSERT_TRUE(params.value_to_text(instance.plugin(), 0, -6.0, buffer, 1));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
    ASSERT_TRUE(params.value_to_text(instance.plugin(), 0, -6.0, buffer, 4));
    EXPECT_STREQ(buffer, "-6.");
    EXPECT_FALSE(params.value_to_text(instance.plugin(), 0, -6.0, nullptr, 8));
    EXPECT_FALSE(params.value_to_text(instance.plugin(), 2, -6.0, buffer, 8));
    EXPECT_FALSE(params.value_to_text(instance.plugin(), 257, 1.0, buffer, 8));
}

struct ReadRow {
    const char* name;
    lc::clap_id id;
    const char* text;
    std::optional<double> value; // nothing: the text is refused
};

void PrintTo(const ReadRow& row, std::ostream* out) { *out << row.name; }

constexpr double INF = std::numeric_limits<double>::infinity();

const ReadRow TEXTS_READ[] = {
    {"ToggleOnPadded", 384, " ON ", 1.0},
    {"ToggleFalse", 384, "False", 0.0},
    {"ToggleOne", 512, "1", 1.0},
    {"ToggleZeroInUnicodeSpace", 512, "\u30000\u2028", 0.0},
    {"ToggleTrue", 512, "tRuE", 1.0},
    {"ToggleOffDisplayText", 512, "Off", 0.0},
    {"ToggleYes", 384, "yes", std::nullopt},
    {"ToggleEmpty", 384, "", std::nullopt},
    {"ToggleOnePointZero", 384, "1.0", std::nullopt},
    {"ChoiceName", 256, "long", 2.0},
    {"ChoiceNameInCapitals", 256, " SHORT\t", 1.0},
    {"ChoiceNumber", 256, "1", 1.0},
    {"ChoiceNumberBeyondTheChoices", 256, "3", 3.0},
    {"ChoiceFraction", 256, "-0.5", -0.5},
    {"ChoiceUnknownWord", 256, "medium", std::nullopt},
    {"ChoiceNumberWithUnit", 256, "1 x", std::nullopt},
    {"FloatWithUnit", 0, "-6.5 dB", -6.5},
    {"FloatWithUnitAttached", 0, "12kHz", 12.0},
    {"FloatPercent", 128, "50 %", 50.0},
    {"FloatExponentAndUnit", 1, "1e3Hz", 1000.0},
    {"FloatUnitThenPercent", 1, "6dB%", 6.0},
    {"FloatPlusSign", 0, "  +3.25  ", 3.25},
    {"FloatLeadingPoint", 0, ".5", 0.5},
    {"FloatTrailingPoint", 0, "5.", 5.0},
    {"FloatOnlyTheFirstWord", 0, "7 8", 7.0},
    {"FloatOnlyUnit", 0, "dB", std::nullopt},
    {"FloatInfinityLosesItsLetters", 0, "inf", std::nullopt},
    {"FloatEmpty", 0, "   ", std::nullopt},
    {"FloatDoubleSign", 0, "--1", std::nullopt},
    {"FloatTwoPoints", 0, "1.2.3", std::nullopt},
    {"FloatHexadecimal", 0, "0x10", std::nullopt},
    {"FloatLonePoint", 0, ".", std::nullopt},
    {"FloatExponentWithoutDigits", 0, "1e+", std::nullopt},
    {"FloatOverflow", 0, "1e999", INF},
    {"FloatNegativeOverflow", 0, "-1e999", -INF},
    {"FloatUnderflow", 0, "1e-999", 0.0},
    {"FloatInvalidUtf8", 0, "6\xff", std::nullopt},
    {"ReadOnlyWithUnit", 640, "3 dB", 3.0},
    {"ChoiceInfinityWord", 256, "-Infinity", -INF},
};

class ClapTextToValue : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ClapTextToValue, ReadsTheText) {
    FakeHost host;
    const Instance instance(host);
    const ReadRow& row = GetParam();
    double out = 4242.0;
    const bool ok = instance.params().text_to_value(instance.plugin(), row.id, row.text, &out);
    ASSERT_EQ(ok, row.value.has_value());
    EXPECT_EQ(out, row.value ? *row.value : 4242.0);
}

INSTANTIATE_TEST_SUITE_P(All, ClapTextToValue, ::testing::ValuesIn(TEXTS_READ), RowName{});

TEST(ClapTextToValue, NanIsANumberForChoices) {
    FakeHost host;
    const Instance instance(host);
    double out = 0.0;
    ASSERT_TRUE(instance.params().text_to_value(instance.plugin(), 256, "NaN", &out));
    EXPECT_TRUE(std::isnan(out));
}

TEST(ClapTextToValue, RefusesNullsAndInvalidIds) {
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_params_t& params = instance.params();
    double out = 1.0;
    EXPECT_FALSE(params.text_to_value(instance.plugin(), 0, nullptr, &out));
    EXPECT_FALSE(params.text_to_value(instance.plugin(), 0, "1", nullptr));
    EXPECT_FALSE(params.text_to_value(instance.plugin(), 2, "1", &out));
    EXPECT_FALSE(params.text_to_value(instance.plugin(), 385, "1", &out));
    EXPECT_EQ(out, 1.0);
}

TEST(ClapParamsFlush, AppliesEventsWhileInactive) {
    FakeHost host;
    const Instance instance(host);
    EventList events;
    events.value(0, 3.0);
    events.value(384, 1.0);
    events.value(640, 9.0); // read-only
    instance.params().flush(instance.plugin(), events.list(), nullptr);
    EXPECT_EQ(instance.value(0), 3.0);
    EXPECT_EQ(instance.value(1), 0.0);
    EXPECT_EQ(instance.value(384), 1.0);
    EXPECT_EQ(instance.value(640), 0.0);
    EXPECT_EQ(host.callback_requests, 0);
}

} // namespace
