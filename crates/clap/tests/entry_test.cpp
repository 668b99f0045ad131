// The module's entry, plug-in factory and descriptor, as a host scanning test_plugin.clap sees them.

#include "test_module.hpp"
#include "loom/core/fatal.hpp"
#include "loom/test/allocation_counter.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace loom::test;
namespace fs = std::filesystem;

// A fresh load of the module, as a new process would see it: a copy under another path,
// so that its descriptor cell starts empty. Never unloaded.
const lc::clap_plugin_entry_t& fresh_entry() {
    static int copies = 0;
    const fs::path copy = fs::temp_directory_path() /
                          ("loom_test_plugin_" + std::to_string(getpid()) + "_" + std::to_string(copies++) + ".clap");
    fs::copy_file(LOOM_TEST_PLUGIN_PATH, copy, fs::copy_options::overwrite_existing);
    void* module = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    fs::remove(copy);
    if (module == nullptr) loom::fatal(dlerror());
    return *static_cast<const lc::clap_plugin_entry_t*>(dlsym(module, "clap_entry"));
}

const lc::clap_plugin_factory_t& factory_of(const lc::clap_plugin_entry_t& entry) {
    return *static_cast<const lc::clap_plugin_factory_t*>(entry.get_factory(lc::CLAP_PLUGIN_FACTORY_ID));
}

void expect_version_1_2_10(const lc::clap_version_t& v) {
    EXPECT_EQ(v.major, 1u);
    EXPECT_EQ(v.minor, 2u);
    EXPECT_EQ(v.revision, 10u);
}

TEST(ClapEntry, DeclaresClap1210) { expect_version_1_2_10(test_plugin_entry().clap_version); }

TEST(ClapEntry, OffersThePluginFactoryUnderItsExactIdOnly) {
    const lc::clap_plugin_entry_t& entry = test_plugin_entry();
    const void* factory = entry.get_factory("clap.plugin-factory");
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(entry.get_factory(lc::CLAP_PLUGIN_FACTORY_ID), factory);
    struct Row { const char* name; const char* id; };
    const Row refused[] = {{"TrailingSpace", "clap.plugin-factory "}, {"Capitals", "CLAP.PLUGIN-FACTORY"},
                           {"Prefix", "clap.plugin-factor"},          {"Empty", ""},
                           {"OtherFactory", "clap.preset-discovery-factory/2"}, {"Null", nullptr}};
    for (const Row& row : refused) EXPECT_EQ(entry.get_factory(row.id), nullptr) << row.name;
}

TEST(ClapEntry, DescribesThePluginBeforeInit) {
    const lc::clap_plugin_entry_t& entry = fresh_entry();
    const lc::clap_plugin_factory_t& factory = factory_of(entry);
    EXPECT_EQ(factory.get_plugin_count(&factory), 1u);
    const lc::clap_plugin_descriptor_t* d = factory.get_plugin_descriptor(&factory, 0);
    ASSERT_NE(d, nullptr);
    expect_version_1_2_10(d->clap_version);
    EXPECT_STREQ(d->id, "loom.test-gain");
    EXPECT_STREQ(d->name, "Test Gain");
    EXPECT_STREQ(d->vendor, "loom");
    EXPECT_STREQ(d->url, "https://loom.invalid/test-gain");
    EXPECT_STREQ(d->version, "1.0.0");
    EXPECT_STREQ(d->description, "A per-channel gain for testing the CLAP wrapper.");
    ASSERT_NE(d->manual_url, nullptr);
    ASSERT_NE(d->support_url, nullptr);
    EXPECT_STREQ(d->manual_url, "");
    EXPECT_STREQ(d->support_url, "");
    ASSERT_NE(d->features, nullptr);
    EXPECT_STREQ(d->features[0], "audio-effect");
    EXPECT_STREQ(d->features[1], "utility");
    EXPECT_EQ(d->features[2], nullptr);

    EXPECT_TRUE(entry.init("/somewhere/test_plugin.clap"));
    EXPECT_EQ(factory.get_plugin_count(&factory), 1u);
    EXPECT_EQ(factory.get_plugin_descriptor(&factory, 0), d);
}

TEST(ClapEntry, KeepsTheDescriptorAcrossInitAndDeinit) {
    const lc::clap_plugin_entry_t& entry = fresh_entry();
    const lc::clap_plugin_factory_t& factory = factory_of(entry);
    ASSERT_TRUE(entry.init(""));
    const lc::clap_plugin_descriptor_t* before = factory.get_plugin_descriptor(&factory, 0);
    entry.deinit();
    ASSERT_TRUE(entry.init(nullptr));
    EXPECT_EQ(factory.get_plugin_descriptor(&factory, 0), before);
    EXPECT_STREQ(before->id, "loom.test-gain");
    entry.deinit();
    entry.deinit();
    EXPECT_EQ(factory.get_plugin_descriptor(&factory, 0), before);
}

TEST(ClapEntry, BuildsOneDescriptorForRacingThreads) {
    const lc::clap_plugin_factory_t& factory = factory_of(fresh_entry());
    std::vector<const lc::clap_plugin_descriptor_t*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = factory.get_plugin_descriptor(&factory, 0); });
    for (std::thread& t : threads) t.join();
    ASSERT_NE(seen[0], nullptr);
    for (const auto* d : seen) EXPECT_EQ(d, seen[0]);
}

TEST(ClapFactory, HasNoDescriptorPastIndexZero) {
    const lc::clap_plugin_factory_t& factory = test_plugin_factory();
    EXPECT_EQ(factory.get_plugin_descriptor(&factory, 1), nullptr);
    EXPECT_EQ(factory.get_plugin_descriptor(&factory, UINT32_MAX), nullptr);
}

TEST(ClapFactory, RefusesWithoutCreatingAnything) {
    const lc::clap_plugin_factory_t& factory = test_plugin_factory();
    ASSERT_NE(factory.get_plugin_descriptor(&factory, 0), nullptr); // built beforehand
    FakeHost host;
    FakeHost old_host(0);
    struct Row { const char* name; const lc::clap_host_t* host; const char* id; };
    const Row rows[] = {{"NullHost", nullptr, TEST_PLUGIN_ID},
                        {"NullId", &host.host, nullptr},
                        {"HostOfClap0", &old_host.host, TEST_PLUGIN_ID},
                        {"IdInCapitals", &host.host, "LOOM.TEST-GAIN"},
                        {"IdWithMore", &host.host, "loom.test-gainx"},
                        {"IdCutShort", &host.host, "loom.test-gai"},
                        {"EmptyId", &host.host, ""}};
    for (const Row& row : rows) {
        const AllocationCounter allocations;
        EXPECT_EQ(factory.create_plugin(&factory, row.host, row.id), nullptr) << row.name;
        EXPECT_EQ(allocations.count(), 0u) << row.name;
    }
    EXPECT_TRUE(host.extension_queries.empty());
}

TEST(ClapFactory, CreatesForAnyClap1Host) {
    const lc::clap_plugin_factory_t& factory = test_plugin_factory();
    for (const lc::clap_version_t version : {lc::clap_version_t{1, 0, 0}, lc::clap_version_t{1, 99, 7},
                                            lc::clap_version_t{2, 0, 0}}) {
        FakeHost host;
        host.host.clap_version = version;
        const lc::clap_plugin_t* plugin = factory.create_plugin(&factory, &host.host, TEST_PLUGIN_ID);
        ASSERT_NE(plugin, nullptr) << version.major << "." << version.minor;
        plugin->destroy(plugin);
    }
}

// The module's operator new must be the test executable's counting one, or the tests that
// expect no allocation while processing would prove nothing.
TEST(ClapFactory, ModuleAllocationsAreCounted) {
    const lc::clap_plugin_factory_t& factory = test_plugin_factory();
    FakeHost host;
    const AllocationCounter allocations;
    const lc::clap_plugin_t* plugin = factory.create_plugin(&factory, &host.host, TEST_PLUGIN_ID);
    ASSERT_NE(plugin, nullptr);
    EXPECT_GT(allocations.count(), 0u);
    plugin->destroy(plugin);
}

TEST(ClapFactory, InstancesShareTheDescriptor) {
    const lc::clap_plugin_factory_t& factory = test_plugin_factory();
    FakeHost host;
    const Instance a(host);
    const Instance b(host);
    EXPECT_NE(a.plugin(), b.plugin());
    EXPECT_EQ(a.plugin()->desc, factory.get_plugin_descriptor(&factory, 0));
    EXPECT_EQ(b.plugin()->desc, a.plugin()->desc);
}

} // namespace
