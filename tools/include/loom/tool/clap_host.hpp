#pragma once
// A CLAP host for the command line: loads a .clap module (dlopen, clap_entry, init, the
// plug-in factory), creates plug-in instances with its own host record, reads their
// descriptor, parameters, ports, latency, tail and state, configures their channel count,
// activates them and processes blocks of audio with parameter-value events. Every call runs
// on the one thread of the tool, which is both the CLAP main thread and the audio thread.
// Only the CLAP records of loom/clap/abi.hpp are used, not the framework's wrapper.

#include "loom/clap/abi.hpp"
#include "loom/core/result.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace loom::tool {

namespace lc = loom::clap;

// A loaded module with its entry initialised; the entry is deinitialised with the object,
// while the library stays mapped until the process ends. Instances must go before their
// module.
class ClapModule {
public:
    // Fails with a message such as "cannot load 'x.clap': No such file or directory" or
    // "'x.so' is not a CLAP plug-in: it has no clap_entry".
    static Result<std::unique_ptr<ClapModule>> load(const std::string& path);
    ~ClapModule();
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    const std::string& path() const noexcept { return file; }
    const lc::clap_plugin_entry_t& entry() const noexcept { return *entry_record; }
    const lc::clap_plugin_factory_t& factory() const noexcept { return *factory_record; }
    // The descriptors the factory lists, in factory order (never empty, never null).
    const std::vector<const lc::clap_plugin_descriptor_t*>& descriptors() const noexcept { return listed; }

private:
    ClapModule() = default;

    std::string file;
    void* library = nullptr;
    const lc::clap_plugin_entry_t* entry_record = nullptr;
    const lc::clap_plugin_factory_t* factory_record = nullptr;
    std::vector<const lc::clap_plugin_descriptor_t*> listed;
    bool initialised = false;
};

// One host parameter as the plug-in describes it.
struct ClapParam {
    lc::clap_id id = 0;
    std::string name;
    std::string module;
    double min = 0.0;
    double max = 0.0;
    double default_value = 0.0;
    lc::clap_param_info_flags flags = 0;
};

// One audio port as the plug-in describes it.
struct ClapPort {
    lc::clap_id id = 0;
    std::string name;
    std::uint32_t channels = 0;
    std::string type; // "mono", "stereo", another word, or empty when the plug-in gives none
    std::uint32_t flags = 0;
};

// What the plug-in asked of its host; the host answers on its next idle turn.
struct HostRequests {
    bool callback = false;
    bool restart = false;
    bool process = false;
    int latency_changes = 0;
    int rescans = 0;
};

// One value event for the first block: a host parameter id and its value.
struct ParamChange {
    lc::clap_id id = 0;
    double value = 0.0;
};

// An instance, initialised, with the extension tables it offers; deactivated (when active)
// and destroyed with the object.
class ClapPlugin {
public:
    // Creates plug-in `index` of the module's factory and initialises it.
    static Result<std::unique_ptr<ClapPlugin>> create(const ClapModule& module, std::size_t index = 0);
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const lc::clap_plugin_descriptor_t& descriptor() const noexcept { return *descriptor_record; }
    const HostRequests& requests() const noexcept { return asked; }

    // Whether the plug-in answers `get_extension` with a table for `id`.
    bool offers(const char* id) const noexcept;

    // The host parameters, in the plug-in's order; empty without the params extension.
    std::vector<ClapParam> params() const;
    // The display text of `value` for parameter `id`, when the plug-in gives one.
    std::optional<std::string> value_to_text(lc::clap_id id, double value) const;
    // The value of a display text for parameter `id`, when the plug-in can read it.
    std::optional<double> text_to_value(lc::clap_id id, const std::string& text) const;
    // The current value of parameter `id`.
    std::optional<double> value(lc::clap_id id) const;

    // The audio ports of one direction; empty without the audio-ports extension.
    std::vector<ClapPort> ports(bool input) const;
    // Asks for `channels` channels on port 0 of both directions through the configurable
    // audio ports extension, when the main ports do not have that count already. Only
    // while inactive.
    Result<void> set_channels(std::uint32_t channels);

    // Activates for `sample_rate` Hz and blocks of at most `max_frames`, and starts
    // processing. Fails when the plug-in refuses.
    Result<void> activate(double sample_rate, std::uint32_t max_frames);
    // Stops processing and deactivates; nothing happens when inactive.
    void deactivate() noexcept;
    bool is_active() const noexcept { return active; }

    // Processes one block of `frames` frames: `in` and `out` hold one pointer per channel of
    // the main ports. `changes` go in as value events at time 0; `steady_time` is the
    // block's first frame counted from the start.
    Result<void> process(std::span<float* const> in, std::span<float* const> out, std::uint32_t frames,
                         std::span<const ParamChange> changes, std::int64_t steady_time);

    // Runs the plug-in's main-thread callback when it asked for one.
    void idle();

    // Latency in samples; 0 without the extension.
    std::uint32_t latency() const;
    // Tail in samples, or nothing without the extension.
    std::optional<std::uint32_t> tail() const;
    // The size of the saved state in bytes, or nothing without the extension or when the
    // plug-in fails to save.
    std::optional<std::size_t> state_size() const;

private:
    ClapPlugin() = default;

    template <class T>
    const T* extension(const char* id) const noexcept;

    lc::clap_host_t host{};
    HostRequests asked;
    const lc::clap_plugin_t* plugin = nullptr;
    const lc::clap_plugin_descriptor_t* descriptor_record = nullptr;
    const lc::clap_plugin_params_t* params_ext = nullptr;
    const lc::clap_plugin_audio_ports_t* ports_ext = nullptr;
    bool active = false;
    bool processing = false;
};

// Every extension id the tool knows to ask a plug-in for, in the order `info` lists them.
std::span<const char* const> known_extensions() noexcept;

// A C string of at most `capacity` bytes from a fixed-size field, ending at its first NUL.
std::string bounded_text(const char* text, std::size_t capacity);

} // namespace loom::tool
