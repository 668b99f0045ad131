// Fuzz target: Kiln processing hostile audio. The input spells out the set-up and then a
// sequence of host events; every sample and parameter value is a raw 32-bit pattern, so NaN,
// infinities, denormals and huge values all reach the plug-in. It never crashes, never
// allocates after `prepare`, keeps every parameter valid, and a buffer of finite input always
// comes out finite.
//
// Layout: channels (1 byte), rate (1 byte: a table index, or 255 then 4 raw bytes), then
// events until the input ends: 0 sets parameter (byte) to (raw float); 1 sets the channel
// count a host reports (byte); 2 and up process a buffer of (byte) frames: for an event of 2
// modulo 4 a raw 64-bit tempo comes first, then the samples, channel after channel, as raw
// floats, or, when the event byte is odd, as finite samples made from each raw value
// (non-finite ones replaced by a large finite value).
#include "fuzz.hpp"

#include "kiln/kiln.hpp"
#include "loom/test/allocation_counter.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

namespace {

using loom::fuzz::expect;
using loom::fuzz::Reader;

constexpr std::size_t MAX_FRAMES = 255;

float rate(Reader& in) {
    constexpr std::array<float, 6> RATES = {48000.0f, 44100.0f, 8000.0f, 96000.0f, 192000.0f, 22050.0f};
    const std::uint8_t choice = in.byte();
    if (choice == 255) return in.any_float();
    return RATES[choice % RATES.size()];
}

void check_valid(const loom::ParamSet& params) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        const float v = params.at(i).get();
        expect(std::bit_cast<std::uint32_t>(params.at(i).info().apply_rule(v)) == std::bit_cast<std::uint32_t>(v),
               "a parameter holds a value that breaks the value rule");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const std::uint32_t channels = 1 + in.byte() % loom::MAX_CHANNELS;
    const float sample_rate = rate(in);

    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    params.set_channels(channels);
    plugin.prepare({.max_frames = MAX_FRAMES, .sample_rate = sample_rate, .channels = channels});
    std::vector<std::vector<float>> audio(channels, std::vector<float>(MAX_FRAMES));
    std::vector<std::span<float>> buffers(channels);

    while (!in.empty()) {
        const std::uint8_t event = in.byte();
        if (event == 0) {
            const std::size_t index = in.byte() % params.size();
            const float value = in.any_float();
            loom::test::AllocationCounter counter;
            params.at(index).set(value);
            expect(counter.count() == 0, "setting a parameter allocated");
            check_valid(params);
            continue;
        }
        if (event == 1) {
            params.set_channels(in.byte());
            continue;
        }
        const std::size_t frames = in.byte();
        const bool make_finite = (event & 1) != 0;
        const loom::ProcessContext context{.tempo = event % 4 == 2 ? std::optional<double>(in.any_double()) : std::nullopt};
        bool finite = true;
        for (std::size_t ch = 0; ch < channels; ++ch) {
            for (std::size_t i = 0; i < frames; ++i) {
                float x = in.any_float();
                if (make_finite && !std::isfinite(x)) x = std::signbit(x) ? -3.0e38f : 3.0e38f;
                finite = finite && std::isfinite(x);
                audio[ch][i] = x;
            }
            buffers[ch] = std::span<float>(audio[ch].data(), frames);
        }

        loom::test::AllocationCounter counter;
        plugin.process(buffers, context);
        const std::uint32_t latency = plugin.latency_samples();
        static_cast<void>(plugin.tail_samples());
        expect(counter.count() == 0, "processing allocated after prepare");
        expect(latency == 0, "Kiln reported a latency");
        check_valid(params);
        if (!finite) continue;
        for (std::size_t ch = 0; ch < channels; ++ch)
            for (std::size_t i = 0; i < frames; ++i)
                expect(std::isfinite(audio[ch][i]), "finite input came out not finite");
    }
    return 0;
}
