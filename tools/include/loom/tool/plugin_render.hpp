#pragma once
// Offline processing through a CLAP plug-in: the --set words turned into parameter-value
// events, and a whole `Audio` run through an instance block by block.

#include "loom/core/result.hpp"
#include "loom/tool/audio.hpp"
#include "loom/tool/cli.hpp"
#include "loom/tool/clap_host.hpp"
#include "loom/tool/progress.hpp"

#include <span>
#include <vector>

namespace loom::tool {

// One value event per setting. NAME is a parameter's name (exactly, else ignoring ASCII
// case) or its id in decimal; VALUE a number or a display text the plug-in reads with its
// text-to-value. Fails with a message naming the setting: an unknown parameter (listing the
// parameters), a read-only one, a value that is neither a finite number nor a text the
// plug-in reads.
Result<std::vector<ParamChange>> resolve_settings(const ClapPlugin& plugin, std::span<const Setting> settings);

// Processes `input` through `plugin` (created, inactive): sets the plug-in's channel count
// to the input's through the configurable audio ports when they differ, activates at the
// input's rate for blocks of `block` frames, sends `changes` in the first block, and
// processes the whole input. The result has the input's rate, channels and length.
Result<Audio> render_plugin(ClapPlugin& plugin, const Audio& input, std::span<const ParamChange> changes,
                            std::uint32_t block, Progress& progress);

} // namespace loom::tool
