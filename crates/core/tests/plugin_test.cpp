#include "loom/core/plugin.hpp"

#include <gtest/gtest.h>

#include <array>

namespace {

using loom::ChannelRange;

TEST(ChannelRange, LimitsEveryRuleToOneToSixtyFour) {
    struct Row { const char* name; loom::Channels rule; ChannelRange range; std::uint32_t default_count; };
    const Row rows[] = {
        {"FixedZero", loom::Fixed{0}, {1, 1}, 1},
        {"FixedTwo", loom::Fixed{2}, {2, 2}, 2},
        {"FixedSix", loom::Fixed{6}, {6, 6}, 6},
        {"FixedHundred", loom::Fixed{100}, {64, 64}, 64},
        {"RangeReversed", loom::Range{3, 2}, {3, 3}, 3},
        {"RangeWide", loom::Range{0, 200}, {1, 64}, 2},
        {"RangeMono", loom::Range{1, 1}, {1, 1}, 1},
        {"RangeAboveTwo", loom::Range{4, 8}, {4, 8}, 4},
        {"RangeMinAboveLimit", loom::Range{70, 80}, {64, 64}, 64},
        {"Any", loom::Any{}, {1, 64}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ChannelRange r = loom::channel_range(row.rule);
        EXPECT_EQ(r, row.range);
        EXPECT_EQ(loom::default_channels(r), row.default_count);
    }
}

// The smallest plug-in: it offers only the required operations.
struct Minimal {
    static loom::Layout layout() { return {}; }
    loom::ParamSet params() const { return set; }
    void prepare(const loom::PrepareContext&) {}
    void process(loom::Buffers, const loom::ProcessContext&) {}
    std::uint32_t latency_samples() const { return 0; }
    std::uint32_t tail_samples() const { return 0; }
    loom::ParamSet set = loom::ParamSet::with_channels({}, 1);
};

struct Instrument : Minimal {
    static constexpr bool is_instrument() { return true; }
    void midi(std::uint8_t status, std::uint8_t, std::uint8_t, std::uint32_t frame) { last = status + frame; }
    int last = 0;
};

static_assert(loom::Plugin<Minimal>);
static_assert(loom::Plugin<Instrument>);
static_assert(!loom::plugin_is_instrument<Minimal>());
static_assert(loom::plugin_is_instrument<Instrument>());

TEST(Plugin, MidiIsIgnoredUnlessThePluginTakesIt) {
    Minimal minimal;
    loom::plugin_midi(minimal, 0x90, 60, 100, 3); // compiles and does nothing
    Instrument instrument;
    loom::plugin_midi(instrument, 0x90, 60, 100, 3);
    EXPECT_EQ(instrument.last, 0x90 + 3);
}

} // namespace
