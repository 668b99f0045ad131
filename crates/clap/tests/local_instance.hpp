#pragma once
// An instance made inside the test executable by the wrapper's own functions, for tests that
// look at the plug-in object behind the CLAP records (what it was prepared with, what it was
// told, its parameter set's listener) or need plug-in types of their own.

#include "fake_host.hpp"
#include "loom/clap/descriptor.hpp"
#include "loom/clap/inner.hpp"
#include "loom/clap/wrapper.hpp"
#include "loom/core/fatal.hpp"

#include <memory>
#include <string>

namespace loom::test {

// The descriptor every local instance points to.
inline const lc::clap_plugin_descriptor_t* local_descriptor() {
    static constexpr lc::ClapConfig CONFIG = {.id = "loom.local", .name = "Local", .vendor = "loom",
                                              .url = "", .version = "0", .description = "", .features = {}};
    static lc::Registry registry{CONFIG};
    return registry.descriptor();
}

template <Plugin P>
class LocalInstance {
public:
    explicit LocalInstance(FakeHost& host) {
        auto adapter = std::make_unique<lc::Adapter<P>>();
        object = &adapter->plugin;
        instance = lc::Wrapper::create(local_descriptor(), &host.host, std::move(adapter));
        if (!instance->init(instance)) fatal("init failed");
    }
    ~LocalInstance() { instance->destroy(instance); }
    LocalInstance(const LocalInstance&) = delete;
    LocalInstance& operator=(const LocalInstance&) = delete;

    const lc::clap_plugin_t* plugin() const { return instance; }
    P& plugin_object() const { return *object; }

    template <class Table>
    const Table& extension(const char* id) const {
        const auto* table = static_cast<const Table*>(instance->get_extension(instance, id));
        if (table == nullptr) fatal(std::string("no extension ") + id);
        return *table;
    }
    const lc::clap_plugin_params_t& params() const { return extension<lc::clap_plugin_params_t>(lc::CLAP_EXT_PARAMS); }
    const lc::clap_plugin_configurable_audio_ports_t& configurable() const {
        return extension<lc::clap_plugin_configurable_audio_ports_t>(lc::CLAP_EXT_CONFIGURABLE_AUDIO_PORTS);
    }
    const lc::clap_plugin_audio_ports_t& ports() const {
        return extension<lc::clap_plugin_audio_ports_t>(lc::CLAP_EXT_AUDIO_PORTS);
    }

private:
    P* object = nullptr;
    const lc::clap_plugin_t* instance = nullptr;
};

} // namespace loom::test
