#include "loom/blocks/block.hpp"
#include "loom/blocks/catalogue.hpp"
#include "loom/blocks/frame.hpp"

#include "frames.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using loom::Block;
using loom::Frame;
using loom::FRAME_SIZE;

TEST(Frame, IsMadeSilentWithNoValidSamples) {
    const Frame frame(3);
    EXPECT_EQ(FRAME_SIZE, 32u);
    ASSERT_EQ(frame.channel_count(), 3u);
    EXPECT_EQ(frame.len, 0u);
    for (const auto& samples : frame.channels)
        for (float x : samples) EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(Frame().channel_count(), 0u);
}

TEST(Frame, ChannelIsTheFirstLenSamples) {
    Frame frame(2);
    frame.len = 5;
    frame.channel(1)[4] = 2.5f;
    EXPECT_EQ(frame.channel(1).size(), 5u);
    EXPECT_EQ(frame.channels[1][4], 2.5f);
    EXPECT_EQ(frame.channel(0).data(), frame.channels[0].data());
}

TEST(FrameDeathTest, LenAboveThirtyTwoIsFatal) {
    Frame frame(1);
    frame.len = 33;
    EXPECT_DEATH(frame.channel(0), "frame: len is above 32");
}

TEST(FrameDeathTest, ChannelBeyondTheLastIsFatal) {
    Frame frame(2);
    EXPECT_DEATH(frame.channel(2), "frame: channel index beyond the last channel");
}

TEST(Glide, FollowsTheClosedForm) {
    struct Row { float from, to; };
    const Row rows[] = {{0.0f, 1.0f}, {1.0f, 0.25f}, {-3.0f, 5.0f}, {2.0f, 2.0f}, {1.0f, 1.584893471e-05f}};
    for (const Row& row : rows) {
        for (std::uint32_t p = 0; p < 32; ++p) {
            const float expected = row.from + (row.to - row.from) * (static_cast<float>(p) + 1.0f) / 32.0f;
            EXPECT_EQ(loom::glide(row.from, row.to, p), expected) << row.from << " to " << row.to << " at " << p;
        }
    }
    EXPECT_EQ(loom::glide(0.0f, 1.0f, 0), 1.0f / 32.0f);
    EXPECT_EQ(loom::glide(0.0f, 0.3f, 31), 0.3f);
    EXPECT_EQ(loom::glide(0.7f, 1.2f, 31), 1.2f);
    EXPECT_EQ(loom::glide(2.0f, 2.0f, 13), 2.0f);
}

// A block that provides only what it must; the rest are the contract's defaults.
class Minimal final : public Block {
public:
    void prepare(float, std::uint32_t) noexcept override {}
    void control(std::span<const float>) noexcept override {}
    void process(Frame&, std::uint32_t) noexcept override {}
};

TEST(Block, DefaultsAnswerZero) {
    Minimal block;
    const float args[] = {1.0f, 2.0f, 3.0f};
    block.configure(args);
    EXPECT_EQ(block.latency(), 0u);
    EXPECT_EQ(block.tail(args, 48000.0f), 0u);
    EXPECT_EQ(block.tail({}, 8000.0f), 0u);
    for (std::uint32_t i : {0u, 1u, 31u, 4000000000u}) EXPECT_EQ(block.meter(i), 0.0f);
}

// Two periods of argument values for every block that can be made; the second period differs
// in every gliding argument.
struct PeriodCase {
    const char* name;
    std::vector<float> first, second;
};

const PeriodCase PERIOD_CASES[] = {
    {"gain", {0.0f, -0.3f, 0.0f}, {-12.0f, 0.8f, 1.0f}},
    {"shaper", {0.0f, 6.0f, 0.2f, -3.0f}, {0.0f, 18.0f, 0.2f, 2.0f}},
    {"shaper_tube", {4.0f, -6.0f, -0.4f, 0.0f}, {4.0f, 30.0f, -0.4f, -20.0f}},
    {"onepole", {0.0f, 500.0f}, {1.0f, 9000.0f}},
};

class MadeBlock : public ::testing::TestWithParam<PeriodCase> {
protected:
    std::unique_ptr<Block> make(std::uint32_t channels = 2) const {
        std::string_view name = GetParam().name;
        name = name.substr(0, name.find('_'));
        const loom::BlockInfo* info = loom::find(name);
        EXPECT_NE(info, nullptr);
        std::unique_ptr<Block> block = info->make();
        std::vector<float> defaults;
        for (const loom::ArgInfo& arg : info->args) defaults.push_back(arg.default_value);
        block->configure(defaults);
        block->prepare(48000.0f, channels);
        return block;
    }
};

// Runs a period split into pieces of the given lengths and returns channel by channel output.
std::vector<float> run_period(Block& block, const std::vector<std::uint32_t>& pieces, std::size_t start) {
    std::vector<float> out;
    std::uint32_t offset = 0;
    std::vector<Frame> frames;
    for (std::uint32_t len : pieces) {
        Frame frame = loom::test::signal_frame(2, len, start + offset);
        block.process(frame, offset);
        frames.push_back(frame);
        offset += len;
    }
    for (std::size_t c = 0; c < 2; ++c)
        for (const Frame& frame : frames)
            for (std::uint32_t j = 0; j < frame.len; ++j) out.push_back(frame.channels[c][j]);
    return out;
}

TEST_P(MadeBlock, PeriodSplitOverSeveralCallsEqualsOneCall) {
    const std::vector<std::vector<std::uint32_t>> splits = {
        {20, 12}, {1, 30, 1}, std::vector<std::uint32_t>(32, 1), {7, 0, 25}};
    for (const std::vector<std::uint32_t>& split : splits) {
        std::unique_ptr<Block> whole = make();
        std::unique_ptr<Block> pieces = make();
        for (std::size_t period = 0; period < 3; ++period) {
            // No glide, a glide to the second values, a glide back.
            const std::vector<float>& args = period == 1 ? GetParam().second : GetParam().first;
            whole->control(args);
            pieces->control(args);
            const std::vector<float> expected = run_period(*whole, {32}, period * 32);
            EXPECT_EQ(run_period(*pieces, split, period * 32), expected) << "period " << period;
        }
    }
}

TEST_P(MadeBlock, ControlAndProcessDoNotAllocate) {
    std::unique_ptr<Block> block = make();
    Frame frame = loom::test::signal_frame(2, 32);
    Frame wide = loom::test::signal_frame(3, 32);
    loom::test::AllocationCounter counter;
    for (int period = 0; period < 8; ++period) {
        block->control(period % 2 == 0 ? GetParam().first : GetParam().second);
        block->process(frame, 0);
        frame.len = 10;
        block->process(frame, 0);
        wide.len = 22;
        block->process(wide, 10);
        frame.len = 32;
        static_cast<void>(block->latency());
        static_cast<void>(block->tail(GetParam().first, 48000.0f));
        static_cast<void>(block->meter(0));
    }
    EXPECT_EQ(counter.count(), 0u);
}

TEST_P(MadeBlock, KeepsTheContractDefaults) {
    std::unique_ptr<Block> block = make();
    block->control(GetParam().second);
    EXPECT_EQ(block->latency(), 0u);
    EXPECT_EQ(block->tail(GetParam().first, 48000.0f), 0u);
    EXPECT_EQ(block->tail(GetParam().second, 8000.0f), 0u);
    for (std::uint32_t i : {0u, 1u, 7u}) EXPECT_EQ(block->meter(i), 0.0f);
}

TEST_P(MadeBlock, EmptyFrameIsLeftAlone) {
    std::unique_ptr<Block> block = make();
    block->control(GetParam().first);
    Frame none;
    block->process(none, 0);
    Frame empty = loom::test::signal_frame(2, 32);
    empty.len = 0;
    block->process(empty, 5);
    for (std::size_t c = 0; c < 2; ++c)
        for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(empty.channels[c][j], loom::test::signal(c, j));
}

TEST_P(MadeBlock, PrepareAgainEqualsFresh) {
    std::unique_ptr<Block> fresh = make();
    std::unique_ptr<Block> reused = make();
    reused->control(GetParam().first);
    static_cast<void>(run_period(*reused, {32}, 0));
    reused->control(GetParam().second);
    static_cast<void>(run_period(*reused, {19}, 32));
    reused->prepare(48000.0f, 2);
    for (std::size_t period = 0; period < 2; ++period) {
        const std::vector<float>& args = period == 0 ? GetParam().second : GetParam().first;
        fresh->control(args);
        reused->control(args);
        EXPECT_EQ(run_period(*reused, {32}, 64 + 32 * period), run_period(*fresh, {32}, 64 + 32 * period));
    }
}

INSTANTIATE_TEST_SUITE_P(All, MadeBlock, ::testing::ValuesIn(PERIOD_CASES), loom::test::RowName{});

TEST(BlockDeathTest, TooFewArgumentValuesAreFatal) {
    struct Row { std::string_view name; std::size_t count; std::string_view message; };
    const Row rows[] = {{"gain", 3, "gain: control needs 3 argument values"},
                        {"shaper", 4, "shaper: control needs 4 argument values"},
                        {"onepole", 2, "onepole: control needs 2 argument values"}};
    for (const Row& row : rows) {
        std::unique_ptr<Block> block = loom::find(row.name)->make();
        block->prepare(48000.0f, 1);
        const std::vector<float> short_list(row.count - 1, 0.5f);
        EXPECT_DEATH(block->control(short_list), std::string(row.message));
    }
}

} // namespace
