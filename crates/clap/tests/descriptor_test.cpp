// The generic descriptor pieces: owned C strings, id comparison, the descriptor built from a
// configuration and the registry's once-only cell.

#include "loom/clap/descriptor.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace loom::clap;
using namespace std::string_view_literals;

TEST(CString, LeavesOutEveryNulByte) {
    struct Row { const char* name; std::string_view text; std::string_view expected; };
    const Row rows[] = {{"Plain", "Kiln", "Kiln"},
                        {"Empty", "", ""},
                        {"NulInside", "Ki\0ln"sv, "Kiln"},
                        {"NulAtBothEnds", "\0Kiln\0"sv, "Kiln"},
                        {"OnlyNuls", "\0\0\0"sv, ""},
                        {"Utf8Kept", "Gr\u00fc\u00dfe", "Gr\u00fc\u00dfe"}};
    for (const Row& row : rows) {
        const std::string s = c_string(row.text);
        EXPECT_EQ(std::string_view(s), row.expected) << row.name;
        EXPECT_EQ(s.c_str()[s.size()], '\0') << row.name;
    }
}

TEST(IsId, ComparesWholeTexts) {
    EXPECT_TRUE(is_id("clap.tail", "clap.tail"));
    EXPECT_FALSE(is_id("clap.tail ", "clap.tail"));
    EXPECT_FALSE(is_id("clap.tai", "clap.tail"));
    EXPECT_FALSE(is_id("CLAP.TAIL", "clap.tail"));
    EXPECT_FALSE(is_id("", "clap.tail"));
    EXPECT_FALSE(is_id(nullptr, "clap.tail"));
}

constexpr std::string_view FEATURES[] = {"audio-effect", "dis\0tortion"sv, "x"};
constexpr ClapConfig CONFIG = {.id = "velloran-labs.kiln",
                               .name = "Kiln",
                               .vendor = "Velloran Labs",
                               .url = "https://velloran.example",
                               .version = "0.1.0",
                               .description = "Pushes the signal into a clipper.",
                               .features = FEATURES};

TEST(Descriptor, PointsIntoItsOwnStrings) {
    const Descriptor d(CONFIG);
    ASSERT_EQ(d.strings.size(), 10u);
    EXPECT_EQ(d.raw.clap_version.major, 1u);
    EXPECT_EQ(d.raw.clap_version.minor, 2u);
    EXPECT_EQ(d.raw.clap_version.revision, 10u);
    EXPECT_STREQ(d.raw.id, "velloran-labs.kiln");
    EXPECT_STREQ(d.raw.name, "Kiln");
    EXPECT_STREQ(d.raw.vendor, "Velloran Labs");
    EXPECT_STREQ(d.raw.url, "https://velloran.example");
    EXPECT_STREQ(d.raw.version, "0.1.0");
    EXPECT_STREQ(d.raw.description, "Pushes the signal into a clipper.");
    EXPECT_EQ(d.raw.manual_url, d.strings[6].c_str());
    EXPECT_EQ(d.raw.support_url, d.strings[6].c_str());
    EXPECT_STREQ(d.raw.manual_url, "");
    // Short strings keep their characters inside the string object: every pointer must
    // still lead into the list the descriptor owns.
    EXPECT_EQ(d.raw.name, d.strings[1].c_str());
    ASSERT_EQ(d.feature_ptrs.size(), 4u);
    EXPECT_EQ(d.raw.features, d.feature_ptrs.data());
    EXPECT_EQ(d.raw.features[0], d.strings[7].c_str());
    EXPECT_STREQ(d.raw.features[0], "audio-effect");
    EXPECT_STREQ(d.raw.features[1], "distortion");
    EXPECT_STREQ(d.raw.features[2], "x");
    EXPECT_EQ(d.raw.features[3], nullptr);
}

TEST(Descriptor, WithoutFeaturesHasAnEmptyList) {
    constexpr ClapConfig bare = {.id = "a", .name = "", .vendor = "", .url = "", .version = "", .description = "",
                                 .features = {}};
    const Descriptor d(bare);
    ASSERT_NE(d.raw.features, nullptr);
    EXPECT_EQ(d.raw.features[0], nullptr);
    EXPECT_STREQ(d.raw.url, "");
}

TEST(Registry, BuildsTheDescriptorOnce) {
    static Registry registry{CONFIG};
    EXPECT_EQ(registry.descriptor_cell.value, nullptr);
    const clap_plugin_descriptor_t* first = registry.descriptor();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, &registry.descriptor_cell.value->raw);
    EXPECT_EQ(registry.descriptor(), first);
    EXPECT_STREQ(first->id, "velloran-labs.kiln");
}

} // namespace
