#include "loom/tool/graph_render.hpp"

#include "loom/blocks/graph.hpp"
#include "loom/core/param.hpp"

#include <cmath>
#include <limits>

namespace loom::tool {

Result<std::vector<GraphParam>> graph_params(std::span<const Setting> settings) {
    std::vector<GraphParam> out;
    for (const Setting& s : settings) {
        const std::optional<double> n = parse_number(s.value);
        const std::string where = "--set " + s.name + "=" + s.value + ": ";
        if (!n) return fail(where + "'" + s.value + "' is not a number");
        const auto value = static_cast<float>(*n);
        if (!std::isfinite(value)) return fail(where + "the value must be a finite number");
        out.push_back({s.name, value});
    }
    return out;
}

Result<Audio> render_graph(std::string_view description, std::span<const GraphParam> params, const Audio& input,
                           std::uint32_t block, Progress& progress) {
    std::vector<ParamInfo> table;
    std::vector<std::string_view> names;
    for (const GraphParam& p : params) {
        table.push_back({.id = p.name,
                         .name = p.name,
                         .min = std::numeric_limits<float>::lowest(),
                         .max = std::numeric_limits<float>::max(),
                         .default_value = 0.0f,
                         .kind = ParamKind::Float});
        names.push_back(p.name);
    }
    auto graph = Graph::from_str(description, names);
    if (!graph) return fail(std::move(graph).error());
    ParamSet set = ParamSet::with_channels(table, MAX_CHANNELS);
    for (std::size_t i = 0; i < params.size(); ++i) set.at(i).set(params[i].value);

    const std::size_t channels = input.channel_count();
    set.set_channels(channels);
    graph->prepare(PrepareContext{.max_frames = block,
                                  .sample_rate = static_cast<float>(input.sample_rate),
                                  .channels = static_cast<std::uint32_t>(channels)});
    Audio output = input;
    std::vector<std::span<float>> buffers(channels);
    const std::size_t frames = output.frames();
    const ProcessContext context{.sample_rate = static_cast<float>(input.sample_rate)};
    for (std::size_t at = 0; at < frames;) {
        const std::size_t n = std::min<std::size_t>(block, frames - at);
        for (std::size_t c = 0; c < channels; ++c) buffers[c] = std::span<float>(output.channels[c].data() + at, n);
        graph->process(set, buffers, context);
        at += n;
        progress.update(at, frames);
    }
    progress.finish();
    return output;
}

} // namespace loom::tool
