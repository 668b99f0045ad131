#include "loom/core/param.hpp"

#include "loom/core/fatal.hpp"

#include <charconv>
#include <cmath>

namespace loom {

namespace {

// The first rule an entry breaks, as the text that follows its id; empty when it is valid.
std::string_view invalid(const ParamInfo& info) {
    if (!(info.min < info.max)) return ": min must be below max";
    if (!(info.default_value >= info.min && info.default_value <= info.max)) return ": default outside range";
    if (info.log && !(info.min > 0.0f)) return ": a log curve needs min above zero";
    if (info.kind == ParamKind::Choice) {
        if (info.choices.size() < 2) return ": a choice needs two or more names";
        if (info.min != 0.0f || info.max != static_cast<float>(info.choices.size() - 1))
            return ": a choice runs from 0 to its last index";
    }
    if (info.kind == ParamKind::Toggle && (info.min != 0.0f || info.max != 1.0f))
        return ": a toggle runs from 0 to 1";
    return {};
}

} // namespace

float ParamInfo::apply_rule(float value) const noexcept {
    if (std::isnan(value)) return default_value;
    float v = value < min ? min : (value > max ? max : value);
    if (kind == ParamKind::Choice || kind == ParamKind::Toggle) v = std::round(v);
    return v;
}

std::string ParamInfo::display(float value) const {
    if (formatter != nullptr) return formatter(value);
    switch (kind) {
    case ParamKind::Choice: {
        const float r = std::isnan(value) || value < 0.0f ? 0.0f : std::round(value);
        const std::size_t last = choices.empty() ? 0 : choices.size() - 1;
        const std::size_t index = r >= static_cast<float>(last) ? last : static_cast<std::size_t>(r);
        return choices.empty() ? std::string() : std::string(choices[index]);
    }
    case ParamKind::Toggle:
        return value >= 0.5f ? "On" : "Off";
    case ParamKind::Float:
    case ParamKind::ReadOnly:
        break;
    }
    std::string out;
    if (std::isnan(value)) {
        out = "NaN";
    } else if (std::isinf(value)) {
        out = value < 0 ? "-inf" : "inf";
    } else {
        // Exact binary value, correctly rounded to two decimals; an exact tie goes to even.
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::fixed, 2);
        out.assign(buf, r.ptr);
    }
    if (!unit.empty()) {
        out += ' ';
        out += unit;
    }
    return out;
}

Param::Param(const ParamInfo& info, std::size_t cells)
    : entry(info), count(cells == 0 ? 1 : cells), values(new std::atomic<float>[count]) {
    if (const std::string_view fault = invalid(info); !fault.empty())
        fatal(std::string(info.id) + std::string(fault));
    for (std::size_t i = 0; i < count; ++i) values[i].store(info.default_value, std::memory_order_relaxed);
}

void Param::set(float value) noexcept {
    const float v = entry.apply_rule(value);
    for (std::size_t i = 0; i < count; ++i) values[i].store(v, std::memory_order_relaxed);
}

ParamSet ParamSet::with_channels(std::span<const ParamInfo> table, std::size_t max_channels) {
    auto shared = std::make_shared<Shared>();
    shared->max_channels = max_channels == 0 ? 1 : max_channels;
    shared->params.reserve(table.size());
    for (const ParamInfo& info : table)
        shared->params.emplace_back(info, info.per_channel ? shared->max_channels : 1);
    for (std::size_t i = 0; i < table.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (table[i].id == table[j].id) fatal("duplicate parameter id " + std::string(table[i].id));
    return ParamSet(std::move(shared));
}

void ParamSet::out_of_range() noexcept { fatal("parameter index out of range"); }

void ParamSet::set_channels(std::size_t count) noexcept {
    const std::size_t max = shared->max_channels;
    shared->channels.store(count < 1 ? 1 : (count > max ? max : count), std::memory_order_relaxed);
}

bool ParamSet::set_listener(ParamListener listener) {
    if (shared->listener_taken.test_and_set(std::memory_order_acq_rel)) return false;
    shared->listener_storage = std::make_unique<ParamListener>(std::move(listener));
    shared->listener.store(shared->listener_storage.get(), std::memory_order_release);
    return true;
}

void ParamSet::notify() const {
    if (const ParamListener* l = shared->listener.load(std::memory_order_acquire); l != nullptr && *l) (*l)(*this);
}

} // namespace loom
