// The graph run time: prepare, the control update, processing in control periods, latency,
// tail and meters. The compiler that builds the nodes is in compiler.cpp.
#include "loom/blocks/graph.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace loom {

namespace {

// The 32-bit float nearest 1e-30: output samples of smaller magnitude are written as 0.
constexpr float FLUSH_BELOW = 1e-30f;
// ln(10) / 20 as a 32-bit float: dB × this is the natural log of the linear factor.
constexpr float DB_TO_LOG = 0.11512925f;
constexpr float TWO_PI = 6.2831855f;
constexpr std::size_t MAX_TAIL_ARGS = 32;

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

std::uint32_t xorshift(std::uint32_t s) noexcept {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

// A 32-bit generator state as a value in -1 <= v < 1.
float bipolar(std::uint32_t s) noexcept { return static_cast<float>(s) / 4294967296.0f * 2.0f - 1.0f; }

// A host tempo as a 32-bit float: 120 when it is absent, below 20 or not finite as a float.
// A double beyond the float range is refused before it is converted, since that conversion
// has no defined result.
float host_tempo(const std::optional<double>& bpm) noexcept {
    // From here on a double rounds to an infinite float.
    constexpr double FLOAT_LIMIT = 0x1.ffffffp127;
    if (!bpm || !(*bpm >= 19.0 && *bpm < FLOAT_LIMIT)) return 120.0f;
    const float t = static_cast<float>(*bpm);
    return t >= 20.0f ? t : 120.0f;
}

float value_of(const Arg& arg, const expr::Context& context) noexcept {
    if (const Const* c = std::get_if<Const>(&arg)) return c->value;
    return eval(std::get<Expr>(arg), context);
}

// A value made safe for a block: NaN becomes the default, then the range limits, and a
// choice is rounded half away from zero.
float safe_value(float v, const ArgInfo& info) noexcept {
    if (std::isnan(v)) return info.default_value;
    v = std::clamp(v, info.min, info.max);
    return info.choices.empty() ? v : std::round(v);
}

std::vector<std::vector<float>> rings(std::uint32_t channels, std::uint32_t length) {
    return std::vector<std::vector<float>>(channels, std::vector<float>(length, 0.0f));
}

// Delays the first `len` samples of every channel by the ring length, exchanging each
// sample with the one stored that many samples ago.
void delay(std::vector<std::vector<float>>& lines, std::uint32_t& position, Frame& frame) noexcept {
    if (lines.empty() || lines.front().empty()) return;
    const std::size_t length = lines.front().size();
    const std::size_t count = std::min(lines.size(), frame.channel_count());
    for (std::size_t ch = 0; ch < count; ++ch) {
        std::vector<float>& ring = lines[ch];
        std::array<float, FRAME_SIZE>& samples = frame.channels[ch];
        std::size_t q = position;
        for (std::uint32_t j = 0; j < frame.len; ++j) {
            std::swap(samples[j], ring[q]);
            if (++q == length) q = 0;
        }
    }
    position = static_cast<std::uint32_t>((position + frame.len) % length);
}

// Copies the valid samples of the channels both frames have.
void copy_frame(const Frame& from, Frame& to) noexcept {
    to.len = from.len;
    const std::size_t count = std::min(from.channel_count(), to.channel_count());
    for (std::size_t ch = 0; ch < count; ++ch)
        std::copy_n(from.channels[ch].begin(), from.len, to.channels[ch].begin());
}

void prepare_node(Node& node, float sample_rate, std::uint32_t channels);
void control_node(Node& node, const expr::Context& context) noexcept;
void process_node(Node& node, Frame& frame, std::uint32_t offset) noexcept;
std::uint32_t latency_of(const Node& node) noexcept;
std::uint32_t tail_of(const Node& node, const expr::Context& context) noexcept;
void write_meters(const Node& node, ParamSet& params) noexcept;

void prepare_node(Node& node, float sample_rate, std::uint32_t channels) {
    std::visit(Overloaded{
                   [&](BlockNode& b) { b.block->prepare(sample_rate, channels); },
                   [&](Chain& c) {
                       for (Node& child : c.nodes) prepare_node(child, sample_rate, channels);
                   },
                   [&](Parallel& p) {
                       std::uint32_t longest = 0;
                       for (Branch& branch : p.branches) {
                           prepare_node(branch.node, sample_rate, channels);
                           longest = std::max(longest, latency_of(branch.node));
                       }
                       for (Branch& branch : p.branches) {
                           branch.delay_lines = rings(channels, longest - latency_of(branch.node));
                           branch.position = 0;
                           branch.frame = Frame(channels);
                           branch.gain_from = branch.gain_to = 1.0f;
                           branch.started = false;
                       }
                       p.input = Frame(channels);
                       p.sum = Frame(channels);
                   },
                   [&](std::unique_ptr<MixNode>& m) {
                       prepare_node(m->node, sample_rate, channels);
                       m->delay_lines = rings(channels, latency_of(m->node));
                       m->position = 0;
                       m->dry = Frame(channels);
                       m->mix_from = m->mix_to = 1.0f;
                       m->started = false;
                   },
               },
               node.kind);
}

void control_node(Node& node, const expr::Context& context) noexcept {
    std::visit(Overloaded{
                   [&](BlockNode& b) {
                       for (std::size_t i = 0; i < b.args.size(); ++i)
                           b.values[i] = safe_value(value_of(b.args[i], context), b.info->args[i]);
                       b.block->control(b.values);
                   },
                   [&](Chain& c) {
                       for (Node& child : c.nodes) control_node(child, context);
                   },
                   [&](Parallel& p) {
                       for (Branch& branch : p.branches) {
                           control_node(branch.node, context);
                           float g = 1.0f;
                           if (branch.gain) {
                               const float db = eval(*branch.gain, context);
                               g = std::exp(std::clamp(db, -96.0f, 48.0f) * DB_TO_LOG);
                               if (!std::isfinite(g)) g = 1.0f;
                           }
                           branch.gain_from = branch.started ? branch.gain_to : g;
                           branch.started = true;
                           branch.gain_to = g;
                       }
                   },
                   [&](std::unique_ptr<MixNode>& m) {
                       control_node(m->node, context);
                       float wet = 1.0f;
                       if (m->mix) {
                           const float v = eval(*m->mix, context);
                           wet = !std::isfinite(v) || v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v);
                       }
                       if (m->bypass && !(eval(*m->bypass, context) < 0.5f)) wet = 0.0f;
                       m->mix_from = m->started ? m->mix_to : wet;
                       m->started = true;
                       m->mix_to = wet;
                   },
               },
               node.kind);
}

void process_parallel(Parallel& p, Frame& frame, std::uint32_t offset) noexcept {
    copy_frame(frame, p.input);
    p.sum.len = frame.len;
    for (auto& channel : p.sum.channels) std::fill_n(channel.begin(), p.sum.len, 0.0f);
    for (Branch& branch : p.branches) {
        copy_frame(p.input, branch.frame);
        process_node(branch.node, branch.frame, offset);
        delay(branch.delay_lines, branch.position, branch.frame);
        const std::size_t count = std::min(p.sum.channel_count(), branch.frame.channel_count());
        for (std::size_t ch = 0; ch < count; ++ch)
            for (std::uint32_t j = 0; j < p.sum.len; ++j)
                p.sum.channels[ch][j] +=
                    branch.frame.channels[ch][j] * glide(branch.gain_from, branch.gain_to, offset + j);
    }
    copy_frame(p.sum, frame);
}

bool listed(const std::vector<std::uint64_t>& only, std::size_t channel) noexcept {
    return std::find(only.begin(), only.end(), channel) != only.end();
}

void process_mix(MixNode& m, Frame& frame, std::uint32_t offset) noexcept {
    // The dry ring is fed in every period, fully wet ones included, so that a bypass or mix
    // that comes on later blends in the input of L samples ago and not stale audio. Without
    // latency there is no ring and a fully wet period costs nothing beyond the inner node.
    const bool has_ring = !m.delay_lines.empty() && !m.delay_lines.front().empty();
    if (m.mix_from == 1.0f && m.mix_to == 1.0f && !m.only) {
        if (has_ring) {
            copy_frame(frame, m.dry);
            delay(m.delay_lines, m.position, m.dry);
        }
        process_node(m.node, frame, offset);
        return;
    }
    copy_frame(frame, m.dry);
    delay(m.delay_lines, m.position, m.dry);
    if (m.mix_from > 0.0f || m.mix_to > 0.0f) process_node(m.node, frame, offset);
    for (std::size_t ch = 0; ch < frame.channel_count(); ++ch) {
        const bool excluded = m.only && !listed(*m.only, ch);
        std::array<float, FRAME_SIZE>& wet = frame.channels[ch];
        const std::array<float, FRAME_SIZE>& dry = m.dry.channels[ch];
        for (std::uint32_t j = 0; j < frame.len; ++j) {
            const float g = excluded ? 0.0f : glide(m.mix_from, m.mix_to, offset + j);
            wet[j] = dry[j] + g * (wet[j] - dry[j]);
        }
    }
}

void process_node(Node& node, Frame& frame, std::uint32_t offset) noexcept {
    std::visit(Overloaded{
                   [&](BlockNode& b) { b.block->process(frame, offset); },
                   [&](Chain& c) {
                       for (Node& child : c.nodes) process_node(child, frame, offset);
                   },
                   [&](Parallel& p) { process_parallel(p, frame, offset); },
                   [&](std::unique_ptr<MixNode>& m) { process_mix(*m, frame, offset); },
               },
               node.kind);
}

std::uint32_t latency_of(const Node& node) noexcept {
    return std::visit(Overloaded{
                          [](const BlockNode& b) { return b.block->latency(); },
                          [](const Chain& c) {
                              std::uint32_t sum = 0;
                              for (const Node& child : c.nodes) sum += latency_of(child);
                              return sum;
                          },
                          [](const Parallel& p) {
                              std::uint32_t longest = 0;
                              for (const Branch& branch : p.branches) longest = std::max(longest, latency_of(branch.node));
                              return longest;
                          },
                          [](const std::unique_ptr<MixNode>& m) { return latency_of(m->node); },
                      },
                      node.kind);
}

std::uint32_t tail_of(const Node& node, const expr::Context& context) noexcept {
    return std::visit(Overloaded{
                          [&](const BlockNode& b) {
                              std::array<float, MAX_TAIL_ARGS> args{};
                              const std::size_t count = std::min(b.args.size(), MAX_TAIL_ARGS);
                              for (std::size_t i = 0; i < count; ++i)
                                  args[i] = safe_value(value_of(b.args[i], context), b.info->args[i]);
                              return b.block->tail(std::span<const float>(args.data(), count), context.sample_rate);
                          },
                          [&](const Chain& c) {
                              std::uint32_t sum = 0;
                              for (const Node& child : c.nodes) sum += tail_of(child, context);
                              return sum;
                          },
                          [&](const Parallel& p) {
                              std::uint32_t longest = 0;
                              for (const Branch& branch : p.branches)
                                  longest = std::max(longest, tail_of(branch.node, context));
                              return longest;
                          },
                          [&](const std::unique_ptr<MixNode>& m) { return tail_of(m->node, context); },
                      },
                      node.kind);
}

void write_meters(const Node& node, ParamSet& params) noexcept {
    std::visit(Overloaded{
                   [&](const BlockNode& b) {
                       // A meter bound to a parameter the set does not have is skipped, as the
                       // control update skips reading such parameters.
                       for (const auto& [meter, param] : b.meters)
                           if (param < params.size()) params.at(param).set(b.block->meter(meter));
                   },
                   [&](const Chain& c) {
                       for (const Node& child : c.nodes) write_meters(child, params);
                   },
                   [&](const Parallel& p) {
                       for (const Branch& branch : p.branches) write_meters(branch.node, params);
                   },
                   [&](const std::unique_ptr<MixNode>& m) { write_meters(m->node, params); },
               },
               node.kind);
}

} // namespace

void seed(Modulator& modulator, std::uint32_t index) noexcept {
    const std::uint32_t s = xorshift(((index + 1u) * 2654435769u) | 1u);
    modulator.state = s;
    modulator.held = bipolar(s);
    modulator.phase = 0.0f;
}

void Graph::prepare(const PrepareContext& context) {
    sample_rate = context.sample_rate > 8000.0f ? context.sample_rate : 8000.0f;
    channels = context.channels == 0 ? 1 : context.channels;
    frame = Frame(channels);
    position = 0;
    tail_memo.valid = false;
    for (std::size_t i = 0; i < modulators.size(); ++i) seed(modulators[i], static_cast<std::uint32_t>(i));
    prepare_node(root, sample_rate, channels);
}

void Graph::control(const ParamSet& params) noexcept {
    const std::size_t count = std::min<std::size_t>(params.size(), param_count);
    for (std::size_t i = 0; i < count; ++i) values[i] = params.at(i).get();
    const expr::Context context{values, sample_rate, tempo};
    for (std::size_t i = 0; i < modulators.size(); ++i) {
        Modulator& m = modulators[i];
        float rate = value_of(m.rate, context);
        rate = std::isnan(rate) ? 1.0f : std::clamp(rate, 0.001f, 200.0f);
        const float t = m.phase;
        float out = 0.0f;
        switch (m.shape) {
        case Shape::Sine: out = std::sin(t * TWO_PI); break;
        case Shape::Triangle: out = std::fabs(t - 0.5f) * -4.0f + 1.0f; break;
        case Shape::Saw: out = t + t - 1.0f; break;
        case Shape::Square: out = t < 0.5f ? 1.0f : -1.0f; break;
        case Shape::Random: out = m.held; break;
        }
        const float w = t + rate * 32.0f / sample_rate;
        if (m.shape == Shape::Random && w >= 1.0f) {
            m.state = xorshift(m.state);
            m.held = bipolar(m.state);
        }
        m.phase = w - std::trunc(w);
        values[param_count + i] = out;
    }
    control_node(root, context);
}

void Graph::process(ParamSet& params, Buffers buffers, const ProcessContext& context) noexcept {
    const std::size_t n = std::min<std::size_t>(channels, buffers.size());
    if (n == 0) return;
    tempo = host_tempo(context.tempo);
    const std::size_t frames = buffers[0].size();
    for (std::size_t index = 0; index < frames;) {
        const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(frames - index, FRAME_SIZE - position));
        if (position == 0) control(params);
        frame.len = chunk;
        for (std::size_t ch = 0; ch < channels; ++ch) {
            float* to = frame.channels[ch].data();
            if (ch < n)
                std::copy_n(buffers[ch].data() + index, chunk, to);
            else
                std::fill_n(to, chunk, 0.0f);
        }
        process_node(root, frame, position);
        for (std::size_t ch = 0; ch < n; ++ch) {
            const float* from = frame.channels[ch].data();
            float* out = buffers[ch].data() + index;
            for (std::uint32_t j = 0; j < chunk; ++j) out[j] = std::fabs(from[j]) < FLUSH_BELOW ? 0.0f : from[j];
        }
        position = (position + chunk) % FRAME_SIZE;
        index += chunk;
    }
    write_meters(root, params);
}

std::uint32_t Graph::latency_samples() const noexcept { return latency_of(root); }

std::uint32_t Graph::tail_for(const ParamSet& params) const noexcept {
    TailMemo& memo = tail_memo;
    std::copy(values.begin(), values.end(), memo.scratch.begin());
    const std::size_t count = std::min<std::size_t>(params.size(), param_count);
    for (std::size_t i = 0; i < count; ++i) memo.scratch[i] = params.at(i).get();
    // A block's tail depends only on its argument values and the rate: the same slots, rate
    // and tempo give the same answer. Compared bit for bit, so a NaN slot matches itself.
    const bool same = memo.valid && memo.sample_rate == sample_rate && memo.tempo == tempo &&
                      std::memcmp(memo.scratch.data(), memo.slots.data(), memo.slots.size() * sizeof(float)) == 0;
    if (!same) {
        memo.samples = tail_of(root, expr::Context{memo.scratch, sample_rate, tempo});
        memo.slots.swap(memo.scratch);
        memo.sample_rate = sample_rate;
        memo.tempo = tempo;
        memo.valid = true;
    }
    return memo.samples;
}

} // namespace loom
