#include "loom/tool/progress.hpp"

#include <ostream>

namespace loom::tool {

namespace {
constexpr double LONG_SECONDS = 30.0;
constexpr int BAR_WIDTH = 30;
} // namespace

bool wants_progress(bool terminal, std::size_t frames, double sample_rate) noexcept {
    return terminal && sample_rate > 0.0 && static_cast<double>(frames) >= LONG_SECONDS * sample_rate;
}

Progress::Progress(std::ostream& err, bool on, std::string text) : stream(err), label(std::move(text)), enabled(on) {}

Progress::~Progress() { finish(); }

void Progress::update(std::size_t done, std::size_t total) {
    if (!enabled || total == 0) return;
    const int percent = static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
    if (percent == shown) return;
    shown = percent;
    const int filled = percent * BAR_WIDTH / 100;
    std::string bar = "\r" + label + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(BAR_WIDTH - filled), '-') + "] ";
    const std::string number = std::to_string(percent);
    bar += std::string(3 - number.size(), ' ') + number + "%";
    stream << bar << std::flush;
}

void Progress::finish() {
    if (!enabled) return;
    enabled = false;
    // Back to the start of the line and clear it, so what follows starts on a clean line.
    if (shown >= 0) stream << "\r\033[K" << std::flush;
}

} // namespace loom::tool
