// The state extension: the parameter state bytes written to and read from host streams.
// A save that fails part-way says so; a load that is refused changes nothing.

#include "test_module.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <ostream>
#include <optional>
#include <vector>

namespace {

using namespace loom::test;

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put_f32(std::vector<std::uint8_t>& out, float v) { put_u32(out, std::bit_cast<std::uint32_t>(v)); }

// The state of a fresh test plug-in: "LOOM", version 1, six records: two per-channel
// parameters of 64 cells, then four of one cell, all at their defaults of 0.
std::vector<std::uint8_t> fresh_state() {
    std::vector<std::uint8_t> out = {'L', 'O', 'O', 'M'};
    put_u32(out, 1);
    put_u32(out, 6);
    for (int per_channel = 0; per_channel < 2; ++per_channel) {
        put_u32(out, 64);
        for (int c = 0; c < 64; ++c) put_f32(out, 0.0f);
    }
    for (int single = 0; single < 4; ++single) {
        put_u32(out, 1);
        put_f32(out, 0.0f);
    }
    return out;
}

// A state whose values differ from the defaults: gain -3 dB on channel c is -3 × (c + 1).
std::vector<std::uint8_t> changed_state() {
    std::vector<std::uint8_t> out = {'L', 'O', 'O', 'M'};
    put_u32(out, 1);
    put_u32(out, 6);
    put_u32(out, 64);
    for (int c = 0; c < 64; ++c) put_f32(out, -3.0f * static_cast<float>(c + 1));
    put_u32(out, 2);
    put_f32(out, 0.25f);
    put_f32(out, -0.25f);
    for (const float v : {2.0f, 1.0f, 1.0f, 7.0f}) {
        put_u32(out, 1);
        put_f32(out, v);
    }
    return out;
}

struct Values {
    double gain0, gain1, offset0, offset1, latency, invert, bypass, peak;
    bool operator==(const Values&) const = default;
};

Values values_of(const Instance& instance) {
    return {instance.value(0),   instance.value(1),   instance.value(128), instance.value(129),
            instance.value(256), instance.value(384), instance.value(512), instance.value(640)};
}

constexpr Values DEFAULTS = {0, 0, 0, 0, 0, 0, 0, 0};
constexpr Values CHANGED = {-3, -6, 0.25, -0.25, 2, 1, 1, 0}; // the meter is not restored

TEST(ClapStateSave, WritesTheParameterState) {
    FakeHost host;
    const Instance instance(host);
    OutStream out;
    ASSERT_TRUE(instance.state().save(instance.plugin(), &out.stream));
    EXPECT_EQ(out.bytes, fresh_state());
    EXPECT_EQ(out.bytes.size(), 564u);
}

TEST(ClapStateSave, WritesByteByByteToAStreamThatTakesOneAtATime) {
    FakeHost host;
    const Instance instance(host);
    OutStream out;
    out.per_call = 1;
    ASSERT_TRUE(instance.state().save(instance.plugin(), &out.stream));
    EXPECT_EQ(out.bytes, fresh_state());
    EXPECT_EQ(out.calls, 564);
}

TEST(ClapStateSave, FailsWhenTheStreamStopsTakingBytes) {
    FakeHost host;
    const Instance instance(host);
    struct Row { const char* name; std::size_t fail_after; std::int64_t result; };
    const Row rows[] = {{"ErrorAtOnce", 0, -1}, {"ZeroAtOnce", 0, 0}, {"ErrorPartWay", 100, -1},
                        {"ZeroPartWay", 563, 0}};
    for (const Row& row : rows) {
        OutStream out;
        out.per_call = 64;
        out.fail_after = row.fail_after;
        out.fail_result = row.result;
        EXPECT_FALSE(instance.state().save(instance.plugin(), &out.stream)) << row.name;
        EXPECT_EQ(out.bytes.size(), row.fail_after) << row.name; // what was written stays written
    }
}

TEST(ClapStateSave, FailsWhenTheStreamClaimsMoreThanItWasGiven) {
    FakeHost host;
    const Instance instance(host);
    OutStream out;
    out.per_call = 100;
    out.extra = 1000;
    EXPECT_FALSE(instance.state().save(instance.plugin(), &out.stream));
    EXPECT_FALSE(instance.state().save(instance.plugin(), nullptr));
}

TEST(ClapStateLoad, RestoresEveryHostSettableValue) {
    FakeHost host;
    const Instance instance(host);
    InStream in(changed_state());
    ASSERT_TRUE(instance.state().load(instance.plugin(), &in.stream));
    EXPECT_EQ(values_of(instance), CHANGED);
    EXPECT_EQ(host.rescans, std::vector<lc::clap_param_rescan_flags>{lc::CLAP_PARAM_RESCAN_VALUES});
}

TEST(ClapStateLoad, RoundTripsBetweenInstances) {
    FakeHost host;
    const Instance source(host);
    InStream in(changed_state());
    ASSERT_TRUE(source.state().load(source.plugin(), &in.stream));
    OutStream out;
    out.per_call = 7;
    ASSERT_TRUE(source.state().save(source.plugin(), &out.stream));

    const Instance target(host);
    ASSERT_TRUE(target.activate()); // loading works the same while active
    InStream back(out.bytes);
    ASSERT_TRUE(target.state().load(target.plugin(), &back.stream));
    EXPECT_EQ(values_of(target), CHANGED);
}

TEST(ClapStateLoad, ReadsInChunksUntilTheEnd) {
    // A state of 8292 bytes whose seventh record (beyond the six parameters) ends on the very
    // last byte: the load succeeds only when every byte was handed on.
    std::vector<std::uint8_t> bytes = changed_state();
    bytes[8] = 7;
    const std::uint32_t cells = (8292 - static_cast<std::uint32_t>(bytes.size()) - 4) / 4;
    put_u32(bytes, cells);
    for (std::uint32_t i = 0; i < cells; ++i) put_f32(bytes, 1.0f);
    ASSERT_EQ(bytes.size(), 8292u);

    FakeHost host;
    const Instance instance(host);
    InStream in(bytes);
    ASSERT_TRUE(instance.state().load(instance.plugin(), &in.stream));
    EXPECT_EQ(in.asked, (std::vector<std::uint64_t>{4096, 4096, 4096, 4096})); // 4096, 4096, 100, then 0
    EXPECT_EQ(values_of(instance), CHANGED);

    bytes.pop_back();
    const Instance other(host);
    InStream cut(bytes);
    EXPECT_FALSE(other.state().load(other.plugin(), &cut.stream));
    EXPECT_EQ(values_of(other), DEFAULTS);
}

struct RefusedLoad {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::optional<int> fail_at_call;
    std::int64_t extra;
};

void PrintTo(const RefusedLoad& row, std::ostream* out) { *out << row.name; }

std::vector<std::uint8_t> with_magic(const char* magic) {
    std::vector<std::uint8_t> bytes = changed_state();
    std::copy(magic, magic + 4, bytes.begin());
    return bytes;
}

std::vector<std::uint8_t> without_last_byte(std::vector<std::uint8_t> bytes) {
    bytes.pop_back();
    return bytes;
}

const RefusedLoad REFUSED_LOADS[] = {
    {"EmptyStream", {}, std::nullopt, 0},
    {"OtherMagic", with_magic("MOOL"), std::nullopt, 0},
    {"ReadErrorAtOnce", changed_state(), 0, 0},
    {"ReadErrorAfterTheState", changed_state(), 1, 0},
    {"StreamClaimsMoreThanAsked", changed_state(), std::nullopt, 5000},
    {"RecordCutShort", without_last_byte(changed_state()), std::nullopt, 0},
};

class ClapStateLoadRefuses : public ::testing::TestWithParam<RefusedLoad> {};

TEST_P(ClapStateLoadRefuses, AndChangesNothing) {
    FakeHost host;
    const Instance instance(host);
    InStream in(GetParam().bytes);
    in.fail_at_call = GetParam().fail_at_call;
    in.extra = GetParam().extra;
    EXPECT_FALSE(instance.state().load(instance.plugin(), &in.stream));
    EXPECT_EQ(values_of(instance), DEFAULTS);
    EXPECT_TRUE(host.rescans.empty());
}

INSTANTIATE_TEST_SUITE_P(All, ClapStateLoadRefuses, ::testing::ValuesIn(REFUSED_LOADS), loom::test::RowName{});

TEST(ClapStateLoad, AcceptsTheOtherMagicAndHostsWithoutParams) {
    FakeHost host;
    host.offer_params = false;
    const Instance instance(host);
    InStream in(with_magic("WEFT"));
    ASSERT_TRUE(instance.state().load(instance.plugin(), &in.stream));
    EXPECT_EQ(values_of(instance), CHANGED);
    EXPECT_TRUE(host.rescans.empty());
    EXPECT_FALSE(instance.state().load(instance.plugin(), nullptr));
}

} // namespace
