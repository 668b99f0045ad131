#pragma once
// Runs a block period by period for block tests: one `control` per 32-sample period, then the
// period's `process` calls, whole or split into pieces at continuing offsets.

#include "loom/blocks/block.hpp"
#include "loom/blocks/frame.hpp"

#include "frames.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace loom::test {

// The input of a run: sample `index` of channel `channel`.
using Input = std::function<float(std::size_t channel, std::size_t index)>;

// Output, channel by channel, of `periods` periods of `block` for `input`. Period p is
// controlled with args[p], or the last list once p passes the end, and processed in pieces of
// the lengths in `split` (which sum to 32).
inline std::vector<std::vector<float>> run_periods(Block& block, const std::vector<std::vector<float>>& args,
                                                   std::size_t channels, std::size_t periods,
                                                   const Input& input = signal,
                                                   const std::vector<std::uint32_t>& split = {32}) {
    std::vector<std::vector<float>> out(channels);
    std::size_t index = 0;
    for (std::size_t p = 0; p < periods; ++p) {
        block.control(args[std::min(p, args.size() - 1)]);
        std::uint32_t offset = 0;
        for (std::uint32_t len : split) {
            Frame frame(channels);
            frame.len = len;
            for (std::size_t c = 0; c < channels; ++c)
                for (std::uint32_t j = 0; j < len; ++j) frame.channels[c][j] = input(c, index + j);
            block.process(frame, offset);
            for (std::size_t c = 0; c < channels; ++c)
                out[c].insert(out[c].end(), frame.channels[c].begin(), frame.channels[c].begin() + len);
            offset += len;
            index += len;
        }
    }
    return out;
}

// The splits of a period that chunk-invariance tests try.
inline const std::vector<std::vector<std::uint32_t>> SPLITS = {
    {20, 12}, {1, 30, 1}, std::vector<std::uint32_t>(32, 1), {7, 0, 25}};

} // namespace loom::test
