// The CLAP instance: its record, activation, reset, the process call with its buffers,
// events and time information, the announcements it asks the main thread to make, the
// floating-point mode, and processing without allocation.

#include "test_module.hpp"
#include "local_instance.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"
#include "test_plugin.hpp"

#include <gtest/gtest.h>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace loom::test;
using loom::ParamSet;

// CLAP ids of the test plug-in's parameters (index × 128 + channel).
constexpr lc::clap_id GAIN = 0;
constexpr lc::clap_id OFFSET = 128;
constexpr lc::clap_id LATENCY = 256;
constexpr lc::clap_id INVERT = 384;
constexpr lc::clap_id BYPASS = 512;
constexpr lc::clap_id PEAK = 640;

constexpr float NAN_F = std::numeric_limits<float>::quiet_NaN();

// Deterministic test signal: multiples of 1/65536 in [-1, 1), far from the denormal range.
std::vector<float> signal(std::uint32_t frames, std::uint32_t seed) {
    std::vector<float> out(frames);
    for (std::uint32_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(static_cast<std::int64_t>((i * 7919u + seed * 104729u + 17u) % 131072u) - 65536) /
                 65536.0f;
    return out;
}

std::vector<std::vector<float>> signals(std::uint32_t channels, std::uint32_t frames, std::uint32_t seed) {
    std::vector<std::vector<float>> out;
    for (std::uint32_t c = 0; c < channels; ++c) out.push_back(signal(frames, seed * 64 + c));
    return out;
}

// The floating-point control register the wrapper changes while it processes.
std::uint64_t fp_mode() {
#if defined(__x86_64__)
    return _mm_getcsr();
#elif defined(__aarch64__)
    std::uint64_t fpcr = 0;
    asm volatile("mrs %0, fpcr" : "=r"(fpcr));
    return fpcr;
#else
    return 0;
#endif
}

TEST(ClapInstance, RecordLeadsToItsOwnInstance) {
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_t* p = instance.plugin();
    EXPECT_EQ(p->plugin_data, static_cast<const void*>(p)); // the record is the instance's first member
    for (const void* slot : {reinterpret_cast<const void*>(p->init), reinterpret_cast<const void*>(p->destroy),
                             reinterpret_cast<const void*>(p->activate), reinterpret_cast<const void*>(p->deactivate),
                             reinterpret_cast<const void*>(p->start_processing),
                             reinterpret_cast<const void*>(p->stop_processing), reinterpret_cast<const void*>(p->reset),
                             reinterpret_cast<const void*>(p->process), reinterpret_cast<const void*>(p->get_extension),
                             reinterpret_cast<const void*>(p->on_main_thread)})
        EXPECT_NE(slot, nullptr);
    EXPECT_TRUE(p->start_processing(p));
    p->stop_processing(p);
}

TEST(ClapInstance, InitAsksTheHostForParamsAndLatencyOnly) {
    FakeHost host;
    const Instance instance(host);
    EXPECT_EQ(host.extension_queries, (std::vector<std::string>{"clap.params", "clap.latency"}));
}

TEST(ClapInstance, NullRecordsAreRefused) {
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_t* p = instance.plugin();
    ASSERT_TRUE(instance.activate());
    AudioBlock block({}, 2, 8);
    EXPECT_EQ(p->process(nullptr, &block.process), lc::CLAP_PROCESS_ERROR);
    EXPECT_EQ(p->process(p, nullptr), lc::CLAP_PROCESS_ERROR);
    EXPECT_FALSE(p->activate(nullptr, 48000.0, 1, 64));
}

TEST(ClapActivate, RefusesSampleRatesThatAreNotFinitePositive) {
    FakeHost host;
    const Instance instance(host);
    struct Row { const char* name; double rate; };
    const Row rows[] = {{"Zero", 0.0},
                        {"Negative", -44100.0},
                        {"NaN", std::numeric_limits<double>::quiet_NaN()},
                        {"Infinite", std::numeric_limits<double>::infinity()},
                        {"MinusInfinite", -std::numeric_limits<double>::infinity()}};
    for (const Row& row : rows) EXPECT_FALSE(instance.activate(row.rate)) << row.name;
    AudioBlock block({}, 2, 8);
    EXPECT_EQ(instance.process(block.process), lc::CLAP_PROCESS_ERROR); // still inactive

    EXPECT_TRUE(instance.activate(44100.0));
    EXPECT_FALSE(instance.activate(44100.0)); // already active
    instance.plugin()->deactivate(instance.plugin());
    instance.plugin()->deactivate(instance.plugin()); // harmless when inactive
    EXPECT_TRUE(instance.activate(96000.0));
}

TEST(ClapActivate, PreparesThePluginWithTheInstancesSettings) {
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    GainPlugin& object = local.plugin_object();
    EXPECT_EQ(object.prepare_calls, 0u);

    ASSERT_TRUE(p->activate(p, 44100.0, 1, 0)); // maximum 0: blocks of 1 frame
    EXPECT_EQ(object.prepare_calls, 1u);
    EXPECT_EQ(object.prepared.max_frames, 1u);
    EXPECT_EQ(object.prepared.sample_rate, 44100.0f);
    EXPECT_EQ(object.prepared.channels, 2u);
    EXPECT_EQ(object.params().channels(), 2u);

    p->deactivate(p);
    const lc::clap_audio_port_configuration_request_t six = {.is_input = true, .port_index = 0, .channel_count = 6,
                                                             .port_type = nullptr, .port_details = nullptr};
    ASSERT_TRUE(local.configurable().apply_configuration(p, &six, 1));
    ASSERT_TRUE(p->activate(p, 48000.0, 32, 2048));
    EXPECT_EQ(object.prepared.max_frames, 2048u);
    EXPECT_EQ(object.prepared.channels, 6u);
    EXPECT_EQ(object.params().channels(), 6u);
}

TEST(ClapReset, PreparesAgainOnlyWhileActive) {
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    GainPlugin& object = local.plugin_object();
    p->reset(p);
    EXPECT_EQ(object.prepare_calls, 0u);
    ASSERT_TRUE(p->activate(p, 32000.0, 1, 300));
    p->reset(p);
    EXPECT_EQ(object.prepare_calls, 2u);
    EXPECT_EQ(object.prepared.sample_rate, 32000.0f);
    EXPECT_EQ(object.prepared.max_frames, 300u);
    p->deactivate(p);
    p->reset(p);
    EXPECT_EQ(object.prepare_calls, 2u);
}

TEST(ClapProcess, ZeroFramesAppliesEventsWithoutCallingThePlugin) {
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    ASSERT_TRUE(p->activate(p, 48000.0, 1, 64));
    AudioBlock block(signals(2, 0, 1), 2, 0);
    EventList events;
    events.value(GAIN + 1, -6.0);
    block.process.in_events = events.list();
    EXPECT_EQ(p->process(p, &block.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(local.plugin_object().process_calls, 0u);
    EXPECT_EQ(local.plugin_object().params().at(GainPlugin::GAIN).get_ch(1), -6.0f);
    EXPECT_EQ(host.callback_requests, 1);
}

TEST(ClapProcess, WithoutOutputBuffersContinuesWithoutCallingThePlugin) {
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    ASSERT_TRUE(p->activate(p, 48000.0, 1, 64));
    AudioBlock block(signals(2, 16, 1), 2, 16);
    block.process.audio_outputs = nullptr;
    EXPECT_EQ(p->process(p, &block.process), lc::CLAP_PROCESS_CONTINUE);
    block.process.audio_outputs = &block.output;
    block.process.audio_outputs_count = 0;
    EXPECT_EQ(p->process(p, &block.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(local.plugin_object().process_calls, 0u);
}

struct RefusedBlock {
    const char* name;
    void (*spoil)(AudioBlock&);
};

void PrintTo(const RefusedBlock& row, std::ostream* out) { *out << row.name; }

const RefusedBlock REFUSED_BLOCKS[] = {
    {"OnlySixtyFourBitBuffers",
     [](AudioBlock& b) {
         static double* none[2] = {nullptr, nullptr};
         b.output.data32 = nullptr;
         b.output.data64 = none;
     }},
    {"MoreChannelsThanConfigured", [](AudioBlock& b) { b.output.channel_count = 3; }},
    {"FewerChannelsThanConfigured", [](AudioBlock& b) { b.output.channel_count = 1; }},
    {"NoChannels", [](AudioBlock& b) { b.output.channel_count = 0; }},
    {"SixtyFiveChannels", [](AudioBlock& b) { b.output.channel_count = 65; }},
};

class ClapProcessRefuses : public ::testing::TestWithParam<RefusedBlock> {};

TEST_P(ClapProcessRefuses, WithTheErrorStatusButKeepsTheEvents) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    AudioBlock block(signals(2, 32, 1), 2, 32);
    EventList events;
    events.value(LATENCY, 1.0);
    block.process.in_events = events.list();
    GetParam().spoil(block);
    EXPECT_EQ(instance.process(block.process), lc::CLAP_PROCESS_ERROR);
    EXPECT_EQ(instance.value(LATENCY), 1.0);
    EXPECT_EQ(block.out[0], std::vector<float>(32, 123.0f)); // untouched
}

INSTANTIATE_TEST_SUITE_P(All, ClapProcessRefuses, ::testing::ValuesIn(REFUSED_BLOCKS), RowName{});

TEST(ClapProcess, RefusesANullChannelAfterHandlingTheOnesBefore) {
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    ASSERT_TRUE(p->activate(p, 48000.0, 1, 64));
    AudioBlock block(signals(2, 16, 3), 2, 16);
    block.out_ptrs[1] = nullptr;
    EXPECT_EQ(p->process(p, &block.process), lc::CLAP_PROCESS_ERROR);
    EXPECT_EQ(block.out[0], block.in[0]); // copied before the fault was found
    EXPECT_EQ(local.plugin_object().process_calls, 0u);
}

TEST(ClapProcess, SilencesOutputChannelsWithoutInput) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    // 0 dB and no offset: the plug-in gives back what it is handed.
    AudioBlock one_input(signals(1, 40, 5), 2, 40);
    ASSERT_EQ(instance.process(one_input.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(one_input.out[0], one_input.in[0]);
    EXPECT_EQ(one_input.out[1], std::vector<float>(40, 0.0f));

    AudioBlock no_input({}, 2, 40);
    ASSERT_EQ(instance.process(no_input.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(no_input.out[0], std::vector<float>(40, 0.0f));
    EXPECT_EQ(no_input.out[1], std::vector<float>(40, 0.0f));

    AudioBlock null_input_channel(signals(2, 40, 6), 2, 40);
    null_input_channel.in_ptrs[0] = nullptr;
    ASSERT_EQ(instance.process(null_input_channel.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(null_input_channel.out[0], std::vector<float>(40, 0.0f));
    EXPECT_EQ(null_input_channel.out[1], null_input_channel.in[1]);
}

TEST(ClapProcess, AppliesGainInvertAndOffsetAsWorkedOut) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    AudioBlock block(signals(2, 64, 9), 2, 64);
    EventList events;
    events.value(GAIN + 0, -6.0);
    events.value(GAIN + 1, 3.5);
    events.value(OFFSET + 1, 0.25);
    events.value(INVERT, 1.0);
    block.process.in_events = events.list();
    ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    const float g0 = -std::exp(-6.0f * 0.11512925f);
    const float g1 = -std::exp(3.5f * 0.11512925f);
    float peak = 0.0f;
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(block.out[0][i], block.in[0][i] * g0);
        EXPECT_EQ(block.out[1][i], block.in[1][i] * g1 + 0.25f);
        peak = std::max({peak, std::fabs(block.in[0][i] * g0), std::fabs(block.in[1][i] * g1 + 0.25f)});
    }
    EXPECT_EQ(instance.value(PEAK), static_cast<double>(peak));
}

TEST(ClapProcess, InPlaceBuffersGiveTheSameResult) {
    FakeHost host;
    const Instance separate(host);
    const Instance in_place(host);
    EventList events;
    events.value(GAIN + 0, -9.0);
    events.value(OFFSET + 1, -0.5);
    for (const Instance* instance : {&separate, &in_place}) ASSERT_TRUE(instance->activate());

    AudioBlock a(signals(2, 100, 11), 2, 100);
    AudioBlock b(signals(2, 100, 11), 2, 100, true);
    ASSERT_EQ(b.out_ptrs[0], b.in_ptrs[0]);
    a.process.in_events = events.list();
    b.process.in_events = events.list();
    ASSERT_EQ(separate.process(a.process), lc::CLAP_PROCESS_CONTINUE);
    ASSERT_EQ(in_place.process(b.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(b.in[0], a.out[0]);
    EXPECT_EQ(b.in[1], a.out[1]);
}

// Processing through the module gives the samples of the plug-in object driven directly.
class ClapMatchesDirect : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ClapMatchesDirect, ForEveryBlockSize) {
    const std::uint32_t channels = GetParam();
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.configure(channels));
    ASSERT_TRUE(instance.activate(44100.0, 512));

    GainPlugin direct;
    ParamSet params = direct.params();
    params.set_channels(channels);
    direct.prepare({.max_frames = 512, .sample_rate = 44100.0f, .channels = channels});

    const std::uint32_t sizes[] = {1, 31, 32, 33, 256, 512, 7, 100};
    std::uint32_t seed = 0;
    for (const std::uint32_t frames : sizes) {
        ++seed;
        SCOPED_TRACE("block of " + std::to_string(frames) + " after " + std::to_string(seed - 1) + " blocks");
        // New values on every block, through events for one and the parameter set for the other.
        EventList events;
        for (std::uint32_t c = 0; c < channels; ++c) {
            const double gain = -3.0 * c - static_cast<double>(seed);
            const double offset = 0.01 * c * (seed % 2 == 0 ? 1 : -1);
            events.value(GAIN + c, gain);
            events.value(OFFSET + c, offset);
            params.at(GainPlugin::GAIN).set_ch(c, static_cast<float>(gain));
            params.at(GainPlugin::OFFSET).set_ch(c, static_cast<float>(offset));
        }
        events.value(INVERT, seed % 3 == 0 ? 1.0 : 0.0);
        params.at(GainPlugin::INVERT).set(seed % 3 == 0 ? 1.0f : 0.0f);

        AudioBlock block(signals(channels, frames, seed), channels, frames);
        block.process.in_events = events.list();
        ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);

        std::vector<std::vector<float>> expected = block.in;
        std::vector<std::span<float>> spans;
        for (auto& c : expected) spans.emplace_back(c);
        direct.process(loom::Buffers(spans.data(), spans.size()), {});
        for (std::uint32_t c = 0; c < channels; ++c) EXPECT_EQ(block.out[c], expected[c]) << "channel " << c;
        EXPECT_EQ(instance.value(PEAK), static_cast<double>(params.at(GainPlugin::PEAK).get()));
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, ClapMatchesDirect, ::testing::Values(1u, 2u, 6u),
                         [](const ::testing::TestParamInfo<std::uint32_t>& row) { return std::to_string(row.param) + "Channels"; });

TEST(ClapEvents, LaterEventInTheQueueWinsWhateverItsTime) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    AudioBlock block(signals(2, 16, 1), 2, 16);
    EventList events;
    events.value(LATENCY, 2.0).header.time = 10;
    events.value(LATENCY, 1.0).header.time = 0;
    block.process.in_events = events.list();
    ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(instance.value(LATENCY), 1.0);
}

TEST(ClapEvents, ChannelFieldAddressesOnlyPerChannelParameters) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    AudioBlock block(signals(2, 16, 1), 2, 16);
    EventList events;
    events.value(INVERT + 1, 1.0);  // Invert has no channel 1
    events.value(GAIN + 1, -12.0);  // Gain of channel 1 only
    events.value(GAIN + 2, -24.0);  // no channel 2 on a 2-channel instance
    events.value(6 * 128, 1.0);     // no seventh parameter
    block.process.in_events = events.list();
    ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(instance.value(INVERT), 0.0);
    EXPECT_EQ(instance.value(GAIN + 0), 0.0);
    EXPECT_EQ(instance.value(GAIN + 1), -12.0);
}

TEST(ClapEvents, ValuesAreCheckedAndLimited) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    struct Row { const char* name; lc::clap_id id; double value; double expected; };
    const Row rows[] = {{"NaNIgnored", GAIN, std::numeric_limits<double>::quiet_NaN(), -1.0},
                        {"InfinityIgnored", GAIN, std::numeric_limits<double>::infinity(), -1.0},
                        {"MinusInfinityIgnored", GAIN, -std::numeric_limits<double>::infinity(), -1.0},
                        {"AboveRangeLimited", GAIN, 100.0, 12.0},
                        {"FarBelowRangeLimited", GAIN, -1e300, -60.0},
                        {"ChoiceRounded", LATENCY, 1.6, 2.0},
                        {"ChoiceHalfRoundedUp", LATENCY, 0.5, 1.0},
                        {"ToggleRounded", BYPASS, 0.7, 1.0}};
    for (const Row& row : rows) {
        EventList setup;
        setup.value(GAIN, -1.0);
        setup.value(LATENCY, 0.0);
        setup.value(BYPASS, 0.0);
        EventList events;
        events.value(row.id, row.value);
        AudioBlock first(signals(2, 4, 1), 2, 4);
        first.process.in_events = setup.list();
        ASSERT_EQ(instance.process(first.process), lc::CLAP_PROCESS_CONTINUE);
        AudioBlock second(signals(2, 4, 1), 2, 4);
        second.process.in_events = events.list();
        ASSERT_EQ(instance.process(second.process), lc::CLAP_PROCESS_CONTINUE);
        EXPECT_EQ(instance.value(row.id), row.expected) << row.name;
    }
}

TEST(ClapEvents, ForeignAndMalformedEventsAreSkippedOneByOne) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    EventList events;
    events.null();
    events.value(GAIN, -1.0).header.space_id = 1;
    events.value(GAIN, -2.0).header.type = lc::CLAP_EVENT_PARAM_MOD;
    events.value(GAIN, -3.0).header.size = sizeof(lc::clap_event_param_value_t) - 1;
    events.value(PEAK, 5.0); // read-only
    events.value(OFFSET, 0.5);
    AudioBlock block(signals(2, 8, 1), 2, 8);
    block.process.in_events = events.list();
    ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(instance.value(GAIN), 0.0);
    EXPECT_EQ(instance.value(OFFSET), 0.5);
    EXPECT_EQ(host.callback_requests, 1);
}

TEST(ClapEvents, ReadOnlyEventsChangeNothingAndAnnounceNothing) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    EventList events;
    events.value(PEAK, 5.0);
    AudioBlock block({}, 2, 0);
    block.process.in_events = events.list();
    ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(instance.value(PEAK), 0.0);
    EXPECT_EQ(host.callback_requests, 0);
}

// Sets the latency choice through one process call of 8 frames.
void process_with_latency(const Instance& instance, double choice) {
    EventList events;
    events.value(LATENCY, choice);
    AudioBlock block(signals(2, 8, 1), 2, 8);
    block.process.in_events = events.list();
    ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
}

TEST(ClapLatency, AnnouncesAChangeOnceOnTheMainThread) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    EXPECT_EQ(instance.latency().get(instance.plugin()), 0u);
    process_with_latency(instance, 2.0);
    EXPECT_EQ(instance.latency().get(instance.plugin()), 64u);
    EXPECT_EQ(instance.tail().get(instance.plugin()), 128u);
    EXPECT_EQ(host.callback_requests, 2); // the events, then the latency
    EXPECT_EQ(host.latency_changes, 0);   // not from the audio thread
    instance.plugin()->on_main_thread(instance.plugin());
    EXPECT_EQ(host.latency_changes, 1);
    instance.plugin()->on_main_thread(instance.plugin());
    EXPECT_EQ(host.latency_changes, 1);
    process_with_latency(instance, 2.0); // unchanged: only the events ask for a callback
    EXPECT_EQ(host.callback_requests, 3);
}

TEST(ClapLatency, SaysNothingWhenTheValueWentBackBeforeTheCallback) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    process_with_latency(instance, 1.0);
    process_with_latency(instance, 0.0);
    instance.plugin()->on_main_thread(instance.plugin());
    EXPECT_EQ(host.latency_changes, 0);
    EXPECT_EQ(instance.latency().get(instance.plugin()), 0u);
}

TEST(ClapLatency, ActivationAndResetReadItWithoutAnnouncing) {
    FakeHost host;
    const Instance instance(host);
    EventList events;
    events.value(LATENCY, 1.0);
    instance.params().flush(instance.plugin(), events.list(), nullptr);
    EXPECT_EQ(instance.latency().get(instance.plugin()), 0u); // read again at activation
    ASSERT_TRUE(instance.activate());
    EXPECT_EQ(instance.latency().get(instance.plugin()), 16u);
    EXPECT_EQ(instance.tail().get(instance.plugin()), 32u);
    instance.plugin()->reset(instance.plugin());
    instance.plugin()->on_main_thread(instance.plugin());
    EXPECT_EQ(host.latency_changes, 0);
}

TEST(ClapLatency, HostWithoutTheLatencyExtensionIsNotCalled) {
    FakeHost host;
    host.offer_latency = false;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    process_with_latency(instance, 2.0);
    instance.plugin()->on_main_thread(instance.plugin());
    EXPECT_EQ(host.latency_changes, 0);
    EXPECT_EQ(instance.latency().get(instance.plugin()), 64u);
}

TEST(ClapNotify, RunsOnceOnTheMainThreadAfterEventsInProcess) {
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    int notified = 0;
    ASSERT_TRUE(local.plugin_object().params().set_listener([&](const ParamSet&) { ++notified; }));
    ASSERT_TRUE(p->activate(p, 48000.0, 1, 64));
    for (int i = 0; i < 3; ++i) {
        EventList events;
        events.value(GAIN, -1.0 * i);
        AudioBlock block(signals(2, 8, 1), 2, 8);
        block.process.in_events = events.list();
        ASSERT_EQ(p->process(p, &block.process), lc::CLAP_PROCESS_CONTINUE);
    }
    EXPECT_EQ(notified, 0);
    p->on_main_thread(p);
    EXPECT_EQ(notified, 1);
    p->on_main_thread(p);
    EXPECT_EQ(notified, 1);
}

TEST(ClapNotify, FlushNotifiesAtOnceWhileInactiveAndLaterWhileActive) {
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    int notified = 0;
    ASSERT_TRUE(local.plugin_object().params().set_listener([&](const ParamSet&) { ++notified; }));
    EventList events;
    events.value(BYPASS, 1.0);
    local.params().flush(p, events.list(), nullptr);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(host.callback_requests, 0);

    ASSERT_TRUE(p->activate(p, 48000.0, 1, 64));
    local.params().flush(p, events.list(), nullptr);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(host.callback_requests, 1);
    p->on_main_thread(p);
    EXPECT_EQ(notified, 2);

    EventList nothing;
    nothing.value(PEAK, 1.0);
    local.params().flush(p, nothing.list(), nullptr);
    local.params().flush(p, nullptr, nullptr);
    p->on_main_thread(p);
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(host.callback_requests, 1);
}

struct TimeCase {
    const char* name;
    std::int64_t steady_time;
    std::optional<lc::clap_event_transport_t> transport;
    std::optional<double> position;
    std::optional<double> tempo;
    bool playing;
};

void PrintTo(const TimeCase& row, std::ostream* out) { *out << row.name; }

lc::clap_event_transport_t transport(std::uint32_t flags, double seconds, double tempo) {
    lc::clap_event_transport_t t{};
    t.header = {.size = sizeof t, .time = 0, .space_id = 0, .type = lc::CLAP_EVENT_TRANSPORT, .flags = 0};
    t.flags = flags;
    t.song_pos_seconds = static_cast<lc::clap_sectime>(seconds * static_cast<double>(lc::CLAP_SECTIME_FACTOR));
    t.song_pos_beats = 7 * lc::CLAP_BEATTIME_FACTOR;
    t.tempo = tempo;
    return t;
}

const TimeCase TIME_CASES[] = {
    {"SteadyTimeOnly", 1000, std::nullopt, 1000.0, std::nullopt, false},
    {"NothingKnown", -1, std::nullopt, std::nullopt, std::nullopt, false},
    {"SecondsTimeline", 1000, transport(lc::CLAP_TRANSPORT_HAS_SECONDS_TIMELINE, 1.5, 0.0), 72000.0, std::nullopt,
     false},
    {"SecondsTimelineWithoutSteadyTime", -1, transport(lc::CLAP_TRANSPORT_HAS_SECONDS_TIMELINE, 0.25, 0.0), 12000.0,
     std::nullopt, false},
    {"TransportWithoutTimeline", 500, transport(lc::CLAP_TRANSPORT_HAS_BEATS_TIMELINE, 1.5, 0.0), 500.0, std::nullopt,
     false},
    {"TempoAndPlaying", -1, transport(lc::CLAP_TRANSPORT_HAS_TEMPO | lc::CLAP_TRANSPORT_IS_PLAYING, 0.0, 128.5),
     std::nullopt, 128.5, true},
    {"TempoWithoutItsFlag", -1, transport(lc::CLAP_TRANSPORT_IS_PLAYING, 0.0, 99.0), std::nullopt, std::nullopt, true},
};

class ClapProcessContext : public ::testing::TestWithParam<TimeCase> {};

TEST_P(ClapProcessContext, CarriesTheHostsTimeInformation) {
    const TimeCase& row = GetParam();
    FakeHost host;
    const LocalInstance<GainPlugin> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    ASSERT_TRUE(p->activate(p, 48000.0, 1, 64));
    AudioBlock block(signals(2, 8, 1), 2, 8);
    block.process.steady_time = row.steady_time;
    block.process.transport = row.transport ? &*row.transport : nullptr;
    ASSERT_EQ(p->process(p, &block.process), lc::CLAP_PROCESS_CONTINUE);
    const loom::ProcessContext& context = local.plugin_object().last_context;
    EXPECT_EQ(context.position, row.position);
    EXPECT_EQ(context.tempo, row.tempo);
    EXPECT_EQ(context.playing, row.playing);
    EXPECT_EQ(context.sample_rate, 48000.0f);
    EXPECT_EQ(local.plugin_object().last_channels, 2u);
    EXPECT_EQ(local.plugin_object().last_frames, 8u);
}

INSTANTIATE_TEST_SUITE_P(All, ClapProcessContext, ::testing::ValuesIn(TIME_CASES), RowName{});

TEST(ClapProcess, FlushesDenormalsToZeroAndRestoresTheMode) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    EventList events;
    events.value(GAIN, -60.0);
    const std::vector<float> tiny(16, 1e-37f); // times -60 dB: a denormal result
    AudioBlock block({tiny, tiny}, 2, 16);
    block.process.in_events = events.list();

    const std::uint64_t before = fp_mode();
    ASSERT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(fp_mode(), before);
    for (const float y : block.out[0]) EXPECT_EQ(y, 0.0f);

    // The same plug-in driven directly, without flush-to-zero, keeps the denormal.
    GainPlugin direct;
    direct.params().at(GainPlugin::GAIN).set(-60.0f);
    direct.prepare({.max_frames = 16, .sample_rate = 48000.0f, .channels = 1});
    std::vector<float> samples = tiny;
    const std::span<float> spans[] = {samples};
    direct.process(spans, {});
    EXPECT_EQ(std::fpclassify(samples[0]), FP_SUBNORMAL);

    // Restored on an error return too (read again: the direct run raised exception flags).
    const std::uint64_t again = fp_mode();
    AudioBlock refused({tiny}, 3, 16);
    EXPECT_EQ(instance.process(refused.process), lc::CLAP_PROCESS_ERROR);
    EXPECT_EQ(fp_mode(), again);
}

TEST(ClapProcess, AllocatesNothing) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.configure(6));
    ASSERT_TRUE(instance.activate(48000.0, 512));
    std::vector<std::unique_ptr<AudioBlock>> blocks;
    std::vector<std::unique_ptr<EventList>> events;
    std::uint32_t seed = 0;
    for (const std::uint32_t frames : {512u, 1u, 33u, 0u, 256u}) {
        blocks.push_back(std::make_unique<AudioBlock>(signals(6, frames, ++seed), 6, frames));
        events.push_back(std::make_unique<EventList>());
        events.back()->value(GAIN + seed % 6, -3.0 * seed);
        events.back()->value(LATENCY, seed % 3);
        events.back()->value(BYPASS, seed % 2);
        blocks.back()->process.in_events = events.back()->list();
    }
    const AllocationCounter allocations;
    for (const auto& block : blocks) ASSERT_EQ(instance.process(block->process), lc::CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(allocations.count(), 0u);
}

} // namespace

namespace {

// The main thread asks for values, latency, tail and the state and runs its callback while
// the audio thread processes blocks whose events change the latency (a data race here shows
// under the thread sanitizer).
TEST(ClapThreads, MainThreadCallsRaceTheAudioThread) {
    FakeHost host;
    const Instance instance(host);
    ASSERT_TRUE(instance.activate());
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int i = 0; i < 300; ++i) {
            EventList events;
            events.value(LATENCY, i % 3);
            events.value(GAIN + 1, -0.1 * i);
            AudioBlock block(signals(2, 64, static_cast<std::uint32_t>(i)), 2, 64);
            block.process.in_events = events.list();
            EXPECT_EQ(instance.process(block.process), lc::CLAP_PROCESS_CONTINUE);
        }
        done.store(true);
    });
    std::uint32_t largest_latency = 0;
    while (!done.load()) {
        instance.plugin()->on_main_thread(instance.plugin());
        largest_latency = std::max(largest_latency, instance.latency().get(instance.plugin()));
        EXPECT_LE(instance.tail().get(instance.plugin()), 128u);
        EXPECT_LE(instance.value(GAIN + 1), 0.0);
        OutStream out;
        EXPECT_TRUE(instance.state().save(instance.plugin(), &out.stream));
    }
    audio.join();
    instance.plugin()->on_main_thread(instance.plugin());
    EXPECT_LE(largest_latency, 64u);
    EXPECT_EQ(instance.latency().get(instance.plugin()), 64u); // 299 % 3 == 2
    EXPECT_GE(host.latency_changes, 1);
}

} // namespace
