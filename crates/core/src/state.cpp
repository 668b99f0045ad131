#include "loom/core/state.hpp"

#include <bit>
#include <cstring>

namespace loom::state {

namespace {

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t get_u32(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    return v;
}

struct Entry {
    std::uint32_t record;
    std::uint32_t channel;
    float value;
};

} // namespace

std::vector<std::uint8_t> save(const ParamSet& params) {
    std::vector<std::uint8_t> out{'L', 'O', 'O', 'M'};
    put_u32(out, 1);
    put_u32(out, static_cast<std::uint32_t>(params.size()));
    for (std::size_t i = 0; i < params.size(); ++i) {
        const Param& p = params.at(i);
        put_u32(out, static_cast<std::uint32_t>(p.cells()));
        for (std::size_t ch = 0; ch < p.cells(); ++ch) put_u32(out, std::bit_cast<std::uint32_t>(p.get_ch(ch)));
    }
    return out;
}

bool load(ParamSet& params, std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8) return false;
    if (std::memcmp(bytes.data(), "LOOM", 4) != 0 && std::memcmp(bytes.data(), "WEFT", 4) != 0) return false;
    if (bytes.size() < 12 || get_u32(bytes, 4) != 1) return false;

    // Decode everything first: a refused state must leave every value as it was. The list
    // cannot grow beyond a quarter of the bytes given.
    const std::uint32_t count = get_u32(bytes, 8);
    std::vector<Entry> entries;
    std::size_t at = 12;
    for (std::uint32_t record = 0; record < count; ++record) {
        if (bytes.size() - at < 4) return false;
        const std::uint32_t cells = get_u32(bytes, at);
        at += 4;
        if ((bytes.size() - at) / 4 < cells) return false;
        for (std::uint32_t ch = 0; ch < cells; ++ch, at += 4)
            entries.push_back({record, ch, std::bit_cast<float>(get_u32(bytes, at))});
    }

    for (const Entry& e : entries) {
        if (e.record >= params.size()) continue;
        Param& p = params.at(e.record);
        if (p.info().kind == ParamKind::ReadOnly || e.channel >= p.cells()) continue;
        p.set_ch(e.channel, e.value);
    }
    params.notify();
    return true;
}

} // namespace loom::state
