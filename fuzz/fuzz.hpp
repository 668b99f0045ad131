#pragma once
// Helpers shared by the fuzz targets: reading numbers and names out of the fuzzer's bytes,
// and the check that stops the run when an invariant fails. Header-only, so that each target
// builds from its own source file and this header.

#include "loom/core/fatal.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The entry point that libFuzzer calls with every input, and that the replay runner calls
// with every file of a corpus folder.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace loom::fuzz {

// Stops the run with `message` when `holds` is false. The abort is what the fuzzer reports
// as a crash and what fails a replay.
inline void expect(bool holds, std::string_view message) noexcept {
    if (!holds) [[unlikely]]
        fatal(message);
}

// The input as text.
inline std::string_view text_of(const std::uint8_t* data, std::size_t size) noexcept {
    return {reinterpret_cast<const char*>(data), size};
}

// FNV-1a of the input: a deterministic seed for the choices a target makes beyond what the
// input spells out, so that an input always replays the same way.
inline std::uint64_t hash(std::string_view bytes) noexcept {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    return h;
}

// Takes bytes from the front of the input; once they run out every read gives zeros.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) noexcept : at(data), end(data + size) {}

    bool empty() const noexcept { return at == end; }

    std::uint8_t byte() noexcept { return at == end ? 0 : *at++; }

    std::uint32_t u32() noexcept {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }

    // Any 32-bit pattern: NaN, infinities, denormals and huge values included.
    float any_float() noexcept { return std::bit_cast<float>(u32()); }

    double any_double() noexcept {
        const std::uint64_t low = u32();
        return std::bit_cast<double>(low | static_cast<std::uint64_t>(u32()) << 32);
    }

private:
    const std::uint8_t* at;
    const std::uint8_t* end;
};

// A small deterministic generator (xorshift64) for values the input does not spell out.
class Dice {
public:
    explicit Dice(std::uint64_t seed) noexcept : state(seed | 1) {}

    std::uint64_t next() noexcept {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    std::size_t below(std::size_t n) noexcept { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
    // A sample in -1..1.
    float unit() noexcept { return static_cast<float>(next() >> 40) / 8388608.0f - 1.0f; }
    // A value a host might write, good or bad: in range, far out of range, NaN, infinities,
    // denormals, or any bit pattern.
    float hostile() noexcept {
        switch (below(8)) {
        case 0: return std::bit_cast<float>(0x7fc00000u); // NaN
        case 1: return below(2) == 0 ? std::bit_cast<float>(0x7f800000u) : std::bit_cast<float>(0xff800000u);
        case 2: return std::bit_cast<float>(static_cast<std::uint32_t>(next() & 0x807fffffu)); // denormal
        case 3: return std::bit_cast<float>(static_cast<std::uint32_t>(next()));
        case 4: return unit() * 3.0e38f;
        default: return unit() * 20000.0f;
        }
    }

private:
    std::uint64_t state;
};

// An input split into names and text: an optional first line "#name name ..." gives the
// names (separated by blanks or commas, repeats dropped, in order); the rest is the text.
struct Named {
    std::vector<std::string> names;
    std::string_view text;
    bool from_input = false; // the input had a names line
};

inline Named split_names(std::string_view input, const std::vector<std::string>& fallback) {
    Named out;
    if (input.empty() || input.front() != '#') {
        out.names = fallback;
        out.text = input;
        return out;
    }
    const std::size_t line_end = input.find('\n');
    const std::string_view line = input.substr(1, line_end == std::string_view::npos ? std::string_view::npos : line_end - 1);
    out.text = line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);
    out.from_input = true;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == ',')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != ',') ++i;
        if (i == start) continue;
        const std::string name(line.substr(start, i - start));
        bool seen = false;
        for (const std::string& n : out.names) seen = seen || n == name;
        if (!seen) out.names.push_back(name);
    }
    return out;
}

} // namespace loom::fuzz
