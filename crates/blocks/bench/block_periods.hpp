#pragma once
// Runs a block period by period for the per-block benchmarks: one `control` and one 32-sample
// `process` of a stereo frame per iteration, reported per sample position (both channels).
// Blocks are made through the catalogue and called through `Block`, as the graph calls them.

#include "loom/blocks/catalogue.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace loom::test {

inline Frame stereo_frame() {
    Frame frame(2);
    frame.len = FRAME_SIZE;
    for (std::size_t c = 0; c < 2; ++c)
        for (std::uint32_t j = 0; j < FRAME_SIZE; ++j)
            frame.channels[c][j] = 0.8f * std::sin(0.3f * static_cast<float>(j) + static_cast<float>(c));
    return frame;
}

// Runs periods of block `name` configured with `a`, alternating the argument lists `a` and
// `b` when `b` is not empty so that every period glides; the frame is refreshed from the same
// input every period so the signal stays in range.
inline void run_periods(benchmark::State& state, std::string_view name, const std::vector<float>& a,
                        const std::vector<float>& b = {}) {
    const std::unique_ptr<Block> made = find(name)->make();
    Block& block = *made;
    block.configure(a);
    block.prepare(48000.0f, 2);
    const Frame input = stereo_frame();
    Frame frame = input;
    bool flip = false;
    for (auto _ : state) {
        block.control(!b.empty() && flip ? b : a);
        flip = !flip;
        frame.channels = input.channels;
        block.process(frame, 0);
        benchmark::DoNotOptimize(frame.channels.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * FRAME_SIZE,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace loom::test
