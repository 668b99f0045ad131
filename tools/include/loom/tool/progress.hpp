#pragma once
// A progress bar for long renders, drawn on one terminal line of the error stream and
// cleared when done. Drawn only when asked for: the caller decides (`wants_progress`).

#include <cstddef>
#include <iosfwd>
#include <string>

namespace loom::tool {

// Whether a render of `frames` at `sample_rate` gets a bar: only on a terminal, and only
// for 30 seconds of sound or more.
bool wants_progress(bool terminal, std::size_t frames, double sample_rate) noexcept;

class Progress {
public:
    // Draws nothing at all unless `enabled`.
    Progress(std::ostream& err, bool enabled, std::string label);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Redraws the bar when the whole percentage changed: "label [#####-----]  50%".
    void update(std::size_t done, std::size_t total);
    // Clears the line; later updates draw nothing.
    void finish();

private:
    std::ostream& stream;
    std::string label;
    int shown = -1;
    bool enabled = false;
};

} // namespace loom::tool
