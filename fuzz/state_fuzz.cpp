// Fuzz target: loading a saved state. The bytes go into Kiln's parameter set and into a set
// with every kind of parameter (per-channel, choice, toggle, read-only). A refused state
// changes nothing; an accepted one leaves every cell a valid value and saves to bytes that
// load back to the same values.
#include "fuzz.hpp"

#include "kiln/kiln.hpp"
#include "loom/core/param.hpp"
#include "loom/core/state.hpp"

#include <array>
#include <bit>
#include <span>

namespace {

using loom::fuzz::expect;
using loom::ParamKind;

constexpr std::array<std::string_view, 3> LEVELS = {"low", "mid", "high"};

// Every kind of parameter, two of them per channel.
const std::array<loom::ParamInfo, 5> MIXED = {{
    {.id = "gain", .min = -60.0f, .max = 12.0f, .default_value = 0.0f, .per_channel = true},
    {.id = "level", .choices = LEVELS, .min = 0.0f, .max = 2.0f, .default_value = 1.0f, .kind = ParamKind::Choice},
    {.id = "on", .min = 0.0f, .max = 1.0f, .default_value = 1.0f, .kind = ParamKind::Toggle, .per_channel = true},
    {.id = "meter", .min = -100.0f, .max = 0.0f, .default_value = -100.0f, .kind = ParamKind::ReadOnly},
    {.id = "freq", .min = 20.0f, .max = 20000.0f, .default_value = 1000.0f, .log = true},
}};

// Every cell holds a value the value rule leaves as it is.
void check_valid(const loom::ParamSet& params) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        const loom::Param& p = params.at(i);
        for (std::size_t ch = 0; ch < p.cells(); ++ch) {
            const float v = p.get_ch(ch);
            expect(std::bit_cast<std::uint32_t>(p.info().apply_rule(v)) == std::bit_cast<std::uint32_t>(v),
                   "a loaded value breaks the value rule");
        }
    }
}

// The value of every cell, parameter by parameter.
std::vector<std::vector<float>> values_of(const loom::ParamSet& params) {
    std::vector<std::vector<float>> out(params.size());
    for (std::size_t i = 0; i < params.size(); ++i)
        for (std::size_t ch = 0; ch < params.at(i).cells(); ++ch) out[i].push_back(params.at(i).get_ch(ch));
    return out;
}

void check_load(loom::ParamSet params, loom::ParamSet fresh, std::span<const std::uint8_t> bytes) {
    // Move every cell off its default first, so that a load that wrote defaults would show.
    for (std::size_t i = 0; i < params.size(); ++i) {
        loom::Param& p = params.at(i);
        const float span = p.info().max - p.info().min;
        for (std::size_t ch = 0; ch < p.cells(); ++ch)
            p.set_ch(ch, p.info().min + span * (0.3f + 0.1f * static_cast<float>(ch % 5)));
    }
    const std::vector<std::uint8_t> before = loom::state::save(params);
    const auto values_before = values_of(params);
    const bool accepted = loom::state::load(params, bytes);
    const std::vector<std::uint8_t> after = loom::state::save(params);
    expect(after.size() == before.size(), "loading changed the size of the state");
    if (!accepted) {
        expect(after == before, "a refused state changed a value");
        return;
    }
    check_valid(params);
    for (std::size_t i = 0; i < params.size(); ++i)
        if (params.at(i).info().kind == ParamKind::ReadOnly)
            expect(values_of(params)[i] == values_before[i], "a state changed a read-only parameter");

    expect(loom::state::load(fresh, after), "a saved state is refused");
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params.at(i).info().kind == ParamKind::ReadOnly) continue;
        for (std::size_t ch = 0; ch < params.at(i).cells(); ++ch)
            expect(std::bit_cast<std::uint32_t>(fresh.at(i).get_ch(ch)) ==
                       std::bit_cast<std::uint32_t>(params.at(i).get_ch(ch)),
                   "a saved state loads back to other values");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    check_load(loom::ParamSet::with_channels(kiln::PARAMS, loom::MAX_CHANNELS),
               loom::ParamSet::with_channels(kiln::PARAMS, loom::MAX_CHANNELS), bytes);
    check_load(loom::ParamSet::with_channels(MIXED, 3), loom::ParamSet::with_channels(MIXED, 3), bytes);
    return 0;
}
