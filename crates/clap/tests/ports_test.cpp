// Extension look-up, the audio ports and configurable audio ports extensions, and the
// channel range an instance takes from its plug-in's layout.

#include "test_module.hpp"
#include "local_instance.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace loom::test;

TEST(ClapExtensions, AnswersTheOfferedIdsOnly) {
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_t* p = instance.plugin();
    for (const char* id : {"clap.params", "clap.state", "clap.latency", "clap.tail", "clap.audio-ports",
                           "clap.configurable-audio-ports/1", "clap.configurable-audio-ports.draft1"})
        EXPECT_NE(p->get_extension(p, id), nullptr) << id;
    EXPECT_EQ(p->get_extension(p, "clap.configurable-audio-ports/1"),
              p->get_extension(p, "clap.configurable-audio-ports.draft1"));
    for (const char* id : {"clap.params ", "clap.param", "CLAP.PARAMS", "", "clap.gui", "clap.note-ports",
                           "clap.configurable-audio-ports", "clap.tail.draft"})
        EXPECT_EQ(p->get_extension(p, id), nullptr) << id;
    EXPECT_EQ(p->get_extension(p, nullptr), nullptr);
}

void expect_port(const lc::clap_audio_port_info_t& info, std::uint32_t channels, const char* type) {
    EXPECT_EQ(info.id, 0u);
    EXPECT_STREQ(info.name, "Main");
    EXPECT_EQ(info.flags, lc::CLAP_AUDIO_PORT_IS_MAIN);
    EXPECT_EQ(info.channel_count, channels);
    if (type == nullptr)
        EXPECT_EQ(info.port_type, nullptr);
    else
        EXPECT_STREQ(info.port_type, type);
    EXPECT_EQ(info.in_place_pair, 0u);
}

TEST(ClapAudioPorts, OneMainPortEachWay) {
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_audio_ports_t& ports = instance.ports();
    const lc::clap_plugin_t* p = instance.plugin();
    EXPECT_EQ(ports.count(p, true), 1u);
    EXPECT_EQ(ports.count(p, false), 1u);
    struct Row { std::uint32_t channels; const char* type; };
    for (const Row row : {Row{2, "stereo"}, Row{1, "mono"}, Row{6, nullptr}, Row{64, nullptr}}) {
        SCOPED_TRACE(std::to_string(row.channels) + " channels");
        ASSERT_TRUE(instance.configure(row.channels));
        for (const bool is_input : {true, false}) {
            lc::clap_audio_port_info_t info;
            std::memset(static_cast<void*>(&info), 0x55, sizeof info);
            ASSERT_TRUE(ports.get(p, 0, is_input, &info));
            expect_port(info, row.channels, row.type);
        }
    }
    lc::clap_audio_port_info_t info;
    std::memset(static_cast<void*>(&info), 0x55, sizeof info);
    EXPECT_FALSE(ports.get(p, 1, true, &info));
    EXPECT_EQ(info.id, 0x55555555u); // nothing written
    EXPECT_FALSE(ports.get(p, 0, false, nullptr));
}

using Request = lc::clap_audio_port_configuration_request_t;

Request request(bool is_input, std::uint32_t port, std::uint32_t channels, const char* type = nullptr) {
    return {.is_input = is_input, .port_index = port, .channel_count = channels, .port_type = type,
            .port_details = nullptr};
}

struct ConfigurationCase {
    const char* name;
    std::vector<Request> requests;
    bool accepted;
};

void PrintTo(const ConfigurationCase& row, std::ostream* out) { *out << row.name; }

const ConfigurationCase CONFIGURATIONS[] = {
    {"OneRequestForTwo", {request(true, 0, 2)}, true},
    {"InputAndOutputForSix", {request(true, 0, 6), request(false, 0, 6)}, true},
    {"PortTypeNotLookedAt", {request(false, 0, 1, "stereo")}, true},
    {"SixtyFour", {request(true, 0, 64)}, true},
    {"OtherPort", {request(true, 1, 2)}, false},
    {"FurtherRequestOnOtherPort", {request(true, 0, 2), request(false, 1, 2)}, false},
    {"DifferentCounts", {request(true, 0, 2), request(false, 0, 1)}, false},
    {"SixtyFive", {request(true, 0, 65)}, false},
    {"Zero", {request(true, 0, 0)}, false},
    {"NoRequests", {}, false},
};

class ClapConfigurablePorts : public ::testing::TestWithParam<ConfigurationCase> {};

TEST_P(ClapConfigurablePorts, JudgesAndAppliesAlike) {
    const ConfigurationCase& row = GetParam();
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_configurable_audio_ports_t& configurable = instance.configurable();
    const lc::clap_plugin_t* p = instance.plugin();
    const auto count = static_cast<std::uint32_t>(row.requests.size());
    const Request* requests = row.requests.empty() ? nullptr : row.requests.data();
    EXPECT_EQ(configurable.can_apply_configuration(p, requests, count), row.accepted);
    EXPECT_EQ(configurable.apply_configuration(p, requests, count), row.accepted);

    lc::clap_audio_port_info_t info{};
    ASSERT_TRUE(instance.ports().get(p, 0, true, &info));
    EXPECT_EQ(info.channel_count, row.accepted ? row.requests[0].channel_count : 2u);
    EXPECT_EQ(host.rescans.size(), row.accepted ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(All, ClapConfigurablePorts, ::testing::ValuesIn(CONFIGURATIONS), RowName{});

TEST(ClapConfigurablePorts, RefusedWhileActive) {
    FakeHost host;
    const Instance instance(host);
    const lc::clap_plugin_configurable_audio_ports_t& configurable = instance.configurable();
    const lc::clap_plugin_t* p = instance.plugin();
    const Request two = request(true, 0, 2);
    const Request one = request(true, 0, 1);
    ASSERT_TRUE(instance.activate());
    EXPECT_FALSE(configurable.can_apply_configuration(p, &two, 1));
    EXPECT_FALSE(configurable.apply_configuration(p, &one, 1));
    EXPECT_EQ(instance.params().count(p), 8u);
    p->deactivate(p);
    EXPECT_TRUE(configurable.can_apply_configuration(p, &two, 1));
    EXPECT_TRUE(configurable.apply_configuration(p, &one, 1));
    EXPECT_EQ(instance.params().count(p), 6u); // one parameter fewer for each per-channel one
}

TEST(ClapConfigurablePorts, HostWithoutParamsGetsNoRescan) {
    FakeHost host;
    host.offer_params = false;
    const Instance instance(host);
    ASSERT_TRUE(instance.configure(4));
    EXPECT_TRUE(host.rescans.empty());
}

// A plug-in that is only its layout, for the channel range an instance takes from it.
template <class Shape>
struct Shaped {
    static loom::Layout layout() { return Shape::layout(); }
    loom::ParamSet params() const { return set; }
    void prepare(const loom::PrepareContext&) {}
    void process(loom::Buffers, const loom::ProcessContext&) noexcept {}
    std::uint32_t latency_samples() const { return 3; }
    std::uint32_t tail_samples() const { return 5; }
    loom::ParamSet set = loom::ParamSet::with_channels({}, 64);
};

struct NoInputs {
    static loom::Layout layout() { return {.inputs = {}, .outputs = {{"Out", loom::Fixed{1}}}}; }
};
struct FixedSix {
    static loom::Layout layout() { return {.inputs = {{"In", loom::Fixed{6}}, {"Side", loom::Fixed{1}}}, .outputs = {}}; }
};
struct FixedZero {
    static loom::Layout layout() { return {.inputs = {{"In", loom::Fixed{0}}}, .outputs = {}}; }
};
struct RangeThreeToTwo {
    static loom::Layout layout() { return {.inputs = {{"In", loom::Range{3, 2}}}, .outputs = {}}; }
};
struct RangeZeroTo200 {
    static loom::Layout layout() { return {.inputs = {{"In", loom::Range{0, 200}}}, .outputs = {}}; }
};

// The channel count an instance starts with, and which counts it accepts from 0 to 65.
template <class Shape>
void expect_channels(std::uint32_t start, std::uint32_t min, std::uint32_t max) {
    FakeHost host;
    const LocalInstance<Shaped<Shape>> local(host);
    const lc::clap_plugin_t* p = local.plugin();
    lc::clap_audio_port_info_t info{};
    ASSERT_TRUE(local.ports().get(p, 0, false, &info));
    EXPECT_EQ(info.channel_count, start);
    EXPECT_EQ(local.plugin_object().params().channels(), start);
    for (std::uint32_t n = 0; n <= 65; ++n) {
        const Request r = request(true, 0, n);
        EXPECT_EQ(local.configurable().can_apply_configuration(p, &r, 1), n >= min && n <= max) << n;
    }
    const auto& latency = local.template extension<lc::clap_plugin_latency_t>(lc::CLAP_EXT_LATENCY);
    const auto& tail = local.template extension<lc::clap_plugin_tail_t>(lc::CLAP_EXT_TAIL);
    EXPECT_EQ(latency.get(p), 3u); // read at creation
    EXPECT_EQ(tail.get(p), 5u);
}

TEST(ClapChannelRange, ComesFromTheFirstInputBus) {
    {
        SCOPED_TRACE("no inputs");
        expect_channels<NoInputs>(2, 1, 64);
    }
    {
        SCOPED_TRACE("Fixed 6");
        expect_channels<FixedSix>(6, 6, 6);
    }
    {
        SCOPED_TRACE("Fixed 0");
        expect_channels<FixedZero>(1, 1, 1);
    }
    {
        SCOPED_TRACE("Range 3 to 2");
        expect_channels<RangeThreeToTwo>(3, 3, 3);
    }
    {
        SCOPED_TRACE("Range 0 to 200");
        expect_channels<RangeZeroTo200>(2, 1, 64);
    }
}

} // namespace
