#pragma once
// A test-only block for graph tests: a pure delay with a fixed length, a tail, two meters and
// a log of the calls the graph makes, plus a catalogue that holds it beside the built-in
// blocks.

#include "loom/blocks/block.hpp"
#include "loom/blocks/catalogue.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace loom::test {

inline constexpr std::string_view PROBE_KINDS[] = {"a", "b", "c"};
inline constexpr std::string_view PROBE_METERS[] = {"level", "count"};

// Argument order: delay (fixed, samples of latency), tail_ms, kind (a choice), level.
inline constexpr ArgInfo PROBE_ARGS[] = {
    {"delay", "", {}, "", 0.0f, 1000.0f, 0.0f, true},
    {"tail_ms", "ms", {}, "", 0.0f, 100000.0f, 0.0f, false},
    {"kind", "", PROBE_KINDS, "", 0.0f, 2.0f, 1.0f, false},
    {"level", "dB", {}, "", -1000.0f, 1000.0f, 7.0f, false},
};

// One call the graph made: 'R' prepare, 'C' control, 'P' process (with offset and length).
struct ProbeCall {
    char kind = 0;
    std::uint32_t offset = 0;
    std::uint32_t len = 0;

    bool operator==(const ProbeCall&) const = default;
};

// Delays every channel by `delay` samples (read once by `configure`). Its latency is that
// delay, its tail is `tail_ms` at the given rate, meter 0 ("level") is the last `level`
// value and meter 1 ("count") the samples processed since prepare. Processing allocates
// nothing: the log has a fixed capacity.
class Probe final : public Block {
public:
    static constexpr std::size_t LOG_CAPACITY = 512;

    void configure(std::span<const float> args) noexcept override {
        ++configure_calls;
        for (std::size_t i = 0; i < configured.size() && i < args.size(); ++i) configured[i] = args[i];
        length = static_cast<std::uint32_t>(configured[0]);
    }

    void prepare(float rate, std::uint32_t channel_count) noexcept override {
        sample_rate = rate;
        channels = channel_count;
        rings.assign(channel_count, std::vector<float>(length, 0.0f));
        position = 0;
        processed = 0;
        record({'R', 0, 0});
    }

    void control(std::span<const float> args) noexcept override {
        for (std::size_t i = 0; i < last.size(); ++i) last[i] = args[i];
        ++controls;
        record({'C', 0, 0});
    }

    void process(Frame& frame, std::uint32_t offset) noexcept override {
        record({'P', offset, frame.len});
        processed += frame.len;
        if (length == 0) return;
        const std::size_t count = std::min(rings.size(), frame.channel_count());
        for (std::size_t ch = 0; ch < count; ++ch) {
            std::size_t q = position;
            for (std::uint32_t j = 0; j < frame.len; ++j) {
                std::swap(frame.channels[ch][j], rings[ch][q]);
                if (++q == length) q = 0;
            }
        }
        position = (position + frame.len) % length;
    }

    std::uint32_t latency() const noexcept override { return length; }

    std::uint32_t tail(std::span<const float> args, float rate) const noexcept override {
        return static_cast<std::uint32_t>(args[1] * rate / 1000.0f);
    }

    float meter(std::uint32_t index) const noexcept override {
        if (index == 0) return last[3];
        if (index == 1) return static_cast<float>(processed);
        return 0.0f;
    }

    void record(ProbeCall call) noexcept {
        if (calls < LOG_CAPACITY) log[calls] = call;
        ++calls;
    }
    // The logged calls since the last `clear`.
    std::vector<ProbeCall> logged() const {
        return std::vector<ProbeCall>(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(std::min(calls, LOG_CAPACITY)));
    }
    void clear() noexcept { calls = 0; }

    std::array<float, 4> configured{};
    std::size_t configure_calls = 0;
    std::array<float, 4> last{};
    std::size_t controls = 0;
    float sample_rate = 0.0f;
    std::uint32_t channels = 0;
    std::uint64_t processed = 0;

private:
    std::uint32_t length = 0;
    std::vector<std::vector<float>> rings;
    std::size_t position = 0;
    std::array<ProbeCall, LOG_CAPACITY> log{};
    std::size_t calls = 0;
};

inline std::unique_ptr<Block> make_probe() { return std::make_unique<Probe>(); }

inline constexpr BlockInfo PROBE_INFO = {"probe", "", PROBE_ARGS, PROBE_METERS, &make_probe};
// The built-in blocks in catalogue order, then probe.
inline const std::array<const BlockInfo*, 10> TEST_BLOCKS = {
    ALL[0], ALL[1], ALL[2], ALL[3], ALL[4], ALL[5], ALL[6], ALL[7], ALL[8], &PROBE_INFO,
};

} // namespace loom::test
