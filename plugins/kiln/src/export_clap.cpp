// Kiln's CLAP export unit: its identity texts, the registry and factory statics, the exported
// entry and six functions that forward to the generic wrapper.

#include "kiln/kiln.hpp"

#include "loom/clap/wrapper.hpp"

#include <string_view>

namespace {

namespace lc = loom::clap;

constexpr std::string_view FEATURES[] = {lc::CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, lc::CLAP_PLUGIN_FEATURE_DISTORTION};

constexpr lc::ClapConfig CONFIG = {
    .id = "velloran-labs.kiln",
    .name = "Kiln",
    .vendor = "Velloran Labs",
    .url = "https://velloran-labs.com",
    .version = "0.1.0",
    .description = "Pushes the signal into a soft or hard clipper, then rolls off the highs with a one-pole low-pass.",
    .features = FEATURES};

constinit lc::Registry REGISTRY{CONFIG};

bool entry_init(const char* /*plugin_path*/) noexcept { return lc::entry_init(REGISTRY); }

void entry_deinit() noexcept {}

std::uint32_t factory_count(const lc::clap_plugin_factory_t* /*factory*/) noexcept { return 1; }

const lc::clap_plugin_descriptor_t* factory_descriptor(const lc::clap_plugin_factory_t* /*factory*/,
                                                       std::uint32_t index) noexcept {
    return lc::factory_descriptor(REGISTRY, index);
}

const lc::clap_plugin_t* factory_create(const lc::clap_plugin_factory_t* /*factory*/, const lc::clap_host_t* host,
                                        const char* plugin_id) noexcept {
    return lc::factory_create(REGISTRY, host, plugin_id, lc::make_inner<kiln::Kiln>);
}

constexpr lc::clap_plugin_factory_t FACTORY = {factory_count, factory_descriptor, factory_create};

const void* entry_get_factory(const char* factory_id) noexcept { return lc::entry_get_factory(factory_id, FACTORY); }

} // namespace

extern "C" {
[[gnu::visibility("default")]] extern const lc::clap_plugin_entry_t clap_entry;
const lc::clap_plugin_entry_t clap_entry = {lc::CLAP_VERSION, entry_init, entry_deinit, entry_get_factory};
}
