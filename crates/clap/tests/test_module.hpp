#pragma once
// The test plug-in's module, as the wrapper's tests load it.

#include "fake_host.hpp"

namespace loom::test {

// The test plug-in's CLAP id.
inline constexpr char TEST_PLUGIN_ID[] = "loom.test-gain";

inline const lc::clap_plugin_entry_t& test_plugin_entry() { return module_entry(LOOM_TEST_PLUGIN_PATH); }
inline const lc::clap_plugin_factory_t& test_plugin_factory() { return module_factory(LOOM_TEST_PLUGIN_PATH); }

// An instance of the test plug-in from test_plugin.clap.
class Instance : public ModuleInstance {
public:
    explicit Instance(FakeHost& host) : ModuleInstance(host, LOOM_TEST_PLUGIN_PATH, TEST_PLUGIN_ID) {}
};

} // namespace loom::test
