#include "blocks/biquad.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view TYPES[] = {"lowpass", "highpass", "bandpass", "notch",
                                      "peak",    "lowshelf", "highshelf", "allpass"};
constexpr std::string_view SLOPES[] = {"12", "24", "36", "48"};

constexpr ArgInfo ARGS[] = {
    {"type", "", TYPES, "Which response.", 0.0f, 7.0f, 0.0f, false},
    {"freq", "Hz", {}, "Cutoff, centre or corner frequency.", 10.0f, 24000.0f, 1000.0f, false},
    {"q", "", {}, "Resonance or bandwidth. For a steep low-pass or high-pass the Butterworth values are used instead.",
     0.1f, 40.0f, 0.70710677f, false},
    {"gain_db", "dB", {}, "Boost or cut for peak, lowshelf and highshelf. The other types ignore it.", -36.0f,
     36.0f, 0.0f, false},
    {"slope", "", SLOPES, "Decibels per octave for lowpass and highpass. The other types ignore it.", 0.0f, 3.0f,
     0.0f, false},
};

constexpr double PI = 3.14159265358979323846;

// ln(10)/20 as the engine's 32-bit constant: a level of g dB is the factor exp(g × this).
constexpr double DB_TO_LOG = static_cast<double>(0.11512925f);

// Memories below this magnitude are set to 0 after each frame, out of denormal range.
constexpr float SILENT = 1e-20f;

// A choice value as an index from 0 to `last`: truncation toward zero, with a negative or NaN
// value taken as 0 and anything above `last` as `last`, so no conversion can overflow.
std::uint32_t index_of(float value, std::uint32_t last) noexcept {
    if (!(value >= 0.0f)) return 0;
    if (value >= static_cast<float>(last)) return last;
    return static_cast<std::uint32_t>(value);
}

// The Q of section j of an N-pole Butterworth cascade: 1 / (2 sin((2j + 1)π / (2N))). The
// poles nearest the axis come first, so the section of highest Q runs first.
double butterworth_q(std::uint32_t j, std::uint32_t poles) noexcept {
    return 1.0 / (2.0 * std::sin(static_cast<double>(2 * j + 1) * PI / static_cast<double>(2 * poles)));
}

} // namespace

float Smoothed::step(float target, float smoothing) noexcept {
    if (started) {
        value += smoothing * (target - value);
    } else {
        started = true;
        value = target;
    }
    return value;
}

// With f0 = freq held to 5 Hz .. 0.49 × rate, w0 = 2π f0 / rate, k = cos w0,
// α = sin w0 / (2 max(q, 0.05)), A = 10^(gain_db / 40) and r = 2√A α, each response is the
// bilinear transform of its analog prototype with w0 mapped exactly (b0, b1, b2 / a0, a1, a2):
//   low-pass    (1 − k)/2, 1 − k, (1 − k)/2        / 1 + α, −2k, 1 − α
//   high-pass   (1 + k)/2, −(1 + k), (1 + k)/2     / 1 + α, −2k, 1 − α
//   band-pass   α, 0, −α                           / 1 + α, −2k, 1 − α
//   notch       1, −2k, 1                          / 1 + α, −2k, 1 − α
//   peak        1 + αA, −2k, 1 − αA                / 1 + α/A, −2k, 1 − α/A
//   low shelf   A((A+1) − (A−1)k + r), 2A((A−1) − (A+1)k), A((A+1) − (A−1)k − r)
//             / (A+1) + (A−1)k + r, −2((A−1) + (A+1)k), (A+1) + (A−1)k − r
//   high shelf  A((A+1) + (A−1)k + r), −2A((A−1) + (A+1)k), A((A+1) + (A−1)k − r)
//             / (A+1) − (A−1)k + r, 2((A−1) − (A+1)k), (A+1) − (A−1)k − r
//   all-pass    1 − α, −2k, 1 + α                  / 1 + α, −2k, 1 − α
// Every coefficient is divided by a0. A uses the engine's decibel constant: exp(g × 0.11512925 / 2).
Coefficients design_section(std::uint32_t response, double freq, double q, double gain_db,
                            double sample_rate) noexcept {
    const double f0 = std::min(std::max(freq, 5.0), 0.49 * sample_rate);
    const double w0 = 2.0 * PI * f0 / sample_rate;
    const double k = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * std::max(q, 0.05));
    const double a = std::exp(gain_db * DB_TO_LOG * 0.5);
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a0 = 1.0;
    double a1 = -2.0 * k;
    double a2 = 1.0;
    switch (response) {
    case 0:
        b0 = (1.0 - k) / 2.0;
        b1 = 1.0 - k;
        b2 = (1.0 - k) / 2.0;
        a0 = 1.0 + alpha;
        a2 = 1.0 - alpha;
        break;
    case 1:
        b0 = (1.0 + k) / 2.0;
        b1 = -(1.0 + k);
        b2 = (1.0 + k) / 2.0;
        a0 = 1.0 + alpha;
        a2 = 1.0 - alpha;
        break;
    case 2:
        b0 = alpha;
        b1 = 0.0;
        b2 = -alpha;
        a0 = 1.0 + alpha;
        a2 = 1.0 - alpha;
        break;
    case 3:
        b0 = 1.0;
        b1 = -2.0 * k;
        b2 = 1.0;
        a0 = 1.0 + alpha;
        a2 = 1.0 - alpha;
        break;
    case 4:
        b0 = 1.0 + alpha * a;
        b1 = -2.0 * k;
        b2 = 1.0 - alpha * a;
        a0 = 1.0 + alpha / a;
        a2 = 1.0 - alpha / a;
        break;
    case 5: {
        const double root = 2.0 * std::sqrt(a) * alpha;
        b0 = a * ((a + 1.0) - (a - 1.0) * k + root);
        b1 = 2.0 * a * ((a - 1.0) - (a + 1.0) * k);
        b2 = a * ((a + 1.0) - (a - 1.0) * k - root);
        a0 = (a + 1.0) + (a - 1.0) * k + root;
        a1 = -2.0 * ((a - 1.0) + (a + 1.0) * k);
        a2 = (a + 1.0) + (a - 1.0) * k - root;
        break;
    }
    case 6: {
        const double root = 2.0 * std::sqrt(a) * alpha;
        b0 = a * ((a + 1.0) + (a - 1.0) * k + root);
        b1 = -2.0 * a * ((a - 1.0) + (a + 1.0) * k);
        b2 = a * ((a + 1.0) + (a - 1.0) * k - root);
        a0 = (a + 1.0) - (a - 1.0) * k + root;
        a1 = 2.0 * ((a - 1.0) - (a + 1.0) * k);
        a2 = (a + 1.0) - (a - 1.0) * k - root;
        break;
    }
    default:
        b0 = 1.0 - alpha;
        b1 = -2.0 * k;
        b2 = 1.0 + alpha;
        a0 = 1.0 + alpha;
        a2 = 1.0 - alpha;
        break;
    }
    return {static_cast<float>(b0 / a0), static_cast<float>(b1 / a0), static_cast<float>(b2 / a0),
            static_cast<float>(a1 / a0), static_cast<float>(a2 / a0)};
}

void run_section(const Coefficients& section, float& s1, float& s2, std::span<float> samples) noexcept {
    const auto [b0, b1, b2, a1, a2] = section;
    float m1 = s1;
    float m2 = s2;
    for (float& x : samples) {
        const float y = b0 * x + m1;
        m1 = m2 + b1 * x - a1 * y;
        m2 = b2 * x - a2 * y;
        x = y;
    }
    s1 = m1;
    s2 = m2;
}

const BlockInfo Filter::INFO = {
    "filter",
    "A second-order filter: low-pass, high-pass, band-pass, notch, peaking bell, low shelf, high shelf or "
    "all-pass. A low-pass or high-pass can have a steeper slope, made of cascaded Butterworth sections. Frequency, "
    "Q and gain glide, so sweeping them does not click.",
    ARGS,
    {},
    &Filter::make,
};

std::unique_ptr<Block> Filter::make() { return std::make_unique<Filter>(); }

// The glides have a time constant of 5 ms and step once per 32-sample period:
// smoothing = 1 − exp(−32 / (rate × 0.005)), about 12.5% of the remaining distance at 48 kHz.
void Filter::prepare(float rate, std::uint32_t channel_count) noexcept {
    state.assign(channel_count, std::array<float, 8>{});
    coefficients.fill(Coefficients{});
    sections = 1;
    log_freq = {};
    log_q = {};
    gain_db = {};
    sample_rate = rate;
    smoothing = 1.0f - std::exp(-32.0f / (rate * 0.005f));
}

// Frequency and Q glide in octaves, the gain in dB. A low-pass or high-pass with a slope of
// 24, 36 or 48 dB per octave runs s + 1 Butterworth sections (s the slope index, N = 2(s + 1)
// poles) at the glided frequency and ignores the glided Q; every other case runs one section.
void Filter::control(std::span<const float> args) noexcept {
    require_args(args, 5, "filter: control needs 5 argument values");
    const std::uint32_t response = index_of(args[0], 7);
    const float f = std::exp2(log_freq.step(std::log2(args[1]), smoothing));
    const float q = std::exp2(log_q.step(std::log2(args[2]), smoothing));
    const float g = gain_db.step(args[3], smoothing);
    const std::uint32_t slope = index_of(args[4], 3);
    if (response <= 1 && slope != 0) {
        const std::uint32_t poles = 2 * (slope + 1);
        for (std::uint32_t j = 0; j <= slope; ++j)
            coefficients[j] = design_section(response, f, butterworth_q(j, poles), 0.0, sample_rate);
        sections = slope + 1;
    } else {
        coefficients[0] = design_section(response, f, q, g, sample_rate);
        sections = 1;
    }
}

// Each channel runs through the active sections in order; channels beyond the prepared count
// are left unchanged. A section's whole frame runs before the next section's, which gives the
// same samples as running every section per sample.
void Filter::process(Frame& frame, std::uint32_t offset) noexcept {
    static_cast<void>(offset);
    const std::size_t n = std::min(state.size(), frame.channel_count());
    for (std::size_t c = 0; c < n; ++c) {
        const std::span<float> samples = frame.channel(c);
        std::array<float, 8>& memory = state[c];
        for (std::uint32_t s = 0; s < sections; ++s)
            run_section(coefficients[s], memory[2 * s], memory[2 * s + 1], samples);
        for (float& m : memory)
            if (std::fabs(m) < SILENT) m = 0.0f;
    }
}

} // namespace loom
