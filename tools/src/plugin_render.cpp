#include "loom/tool/plugin_render.hpp"

#include "loom/core/text.hpp"
#include "loom/tool/format.hpp"

#include <cmath>

namespace loom::tool {

namespace {

const ClapParam* find_param(const std::vector<ClapParam>& params, const std::string& name) {
    for (const ClapParam& p : params)
        if (p.name == name) return &p;
    for (const ClapParam& p : params)
        if (text::equal_ignoring_ascii_case(p.name, name)) return &p;
    if (const auto id = parse_count(name, 0, 0xffffffffu))
        for (const ClapParam& p : params)
            if (p.id == *id) return &p;
    return nullptr;
}

} // namespace

Result<std::vector<ParamChange>> resolve_settings(const ClapPlugin& plugin, std::span<const Setting> settings) {
    std::vector<ParamChange> changes;
    if (settings.empty()) return changes;
    const std::vector<ClapParam> params = plugin.params();
    for (const Setting& s : settings) {
        const std::string where = "--set " + s.name + "=" + s.value + ": ";
        const ClapParam* p = find_param(params, s.name);
        if (p == nullptr) {
            std::vector<std::string> names;
            for (const ClapParam& q : params) names.push_back(q.name + " (" + std::to_string(q.id) + ")");
            return fail(where + "the plug-in has no parameter '" + s.name + "'. " +
                        (names.empty() ? std::string("It has no parameters") : "Its parameters are: " + join(names, ", ")));
        }
        if ((p->flags & lc::CLAP_PARAM_IS_READONLY) != 0) return fail(where + "'" + p->name + "' is read-only");
        std::optional<double> value = parse_number(s.value);
        if (!value) value = plugin.text_to_value(p->id, s.value);
        if (!value) return fail(where + "the plug-in cannot read '" + s.value + "' as a value of " + p->name);
        if (!std::isfinite(*value)) return fail(where + "the value must be a finite number");
        changes.push_back({p->id, *value});
    }
    return changes;
}

Result<Audio> render_plugin(ClapPlugin& plugin, const Audio& input, std::span<const ParamChange> changes,
                            std::uint32_t block, Progress& progress) {
    const auto channels = static_cast<std::uint32_t>(input.channel_count());
    if (auto set = plugin.set_channels(channels); !set) return fail(std::move(set).error());
    if (auto activated = plugin.activate(input.sample_rate, block); !activated) return fail(std::move(activated).error());

    Audio output = Audio::silence(input.sample_rate, channels, input.frames());
    std::vector<float*> in(channels), out(channels);
    const std::size_t frames = input.frames();
    for (std::size_t at = 0; at < frames;) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - at));
        for (std::size_t c = 0; c < channels; ++c) {
            // const_cast: CLAP's input buffers are non-const pointers the plug-in only reads.
            in[c] = const_cast<float*>(input.channels[c].data()) + at;
            out[c] = output.channels[c].data() + at;
        }
        auto processed = plugin.process(in, out, n, at == 0 ? changes : std::span<const ParamChange>{},
                                        static_cast<std::int64_t>(at));
        if (!processed) {
            plugin.deactivate();
            return fail(std::move(processed).error());
        }
        plugin.idle();
        at += n;
        progress.update(at, frames);
    }
    plugin.deactivate();
    plugin.idle();
    progress.finish();
    return output;
}

} // namespace loom::tool
