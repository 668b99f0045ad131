// kiln.clap under racing threads, the way hosts use it: several threads ask for the
// descriptor at once; the main thread reads values, latency and tail, saves and loads states,
// converts texts and runs its callback while the audio thread processes blocks with parameter
// events. Run under ThreadSanitizer by the `tsan` preset (label `concurrency`).
#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

namespace {

namespace lc = loom::clap;
using loom::test::AudioBlock;
using loom::test::EventList;
using loom::test::FakeHost;
using loom::test::InStream;
using loom::test::ModuleInstance;
using loom::test::OutStream;

constexpr char KILN_ID[] = "velloran-labs.kiln";

TEST(KilnClapConcurrency, RacingThreadsGetOneDescriptor) {
    const lc::clap_plugin_entry_t& entry = loom::test::module_entry(KILN_CLAP_PATH);
    ASSERT_TRUE(entry.init(KILN_CLAP_PATH));
    const auto& factory = *static_cast<const lc::clap_plugin_factory_t*>(entry.get_factory(lc::CLAP_PLUGIN_FACTORY_ID));
    std::vector<const lc::clap_plugin_descriptor_t*> seen(6);
    std::latch start(static_cast<std::ptrdiff_t>(seen.size()));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            seen[i] = factory.get_plugin_descriptor(&factory, 0);
        });
    for (std::thread& t : threads) t.join();
    ASSERT_NE(seen[0], nullptr);
    for (const auto* d : seen) EXPECT_EQ(d, seen[0]);
    EXPECT_STREQ(seen[0]->id, KILN_ID);
}

TEST(KilnClapConcurrency, MainThreadRacesTheAudioThread) {
    FakeHost host;
    const ModuleInstance kiln(host, KILN_CLAP_PATH, KILN_ID);
    ASSERT_TRUE(kiln.activate(48000.0, 100));
    OutStream saved;
    ASSERT_TRUE(kiln.state().save(kiln.plugin(), &saved.stream));

    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int i = 0; i < 400; ++i) {
            EventList events;
            events.value(0, static_cast<double>(i % 25));
            events.value(128, static_cast<double>(i % 2));
            events.value(256, 200.0 + 37.0 * i);
            events.value(384, i % 9 == 8 ? 1.0 : 0.0);
            AudioBlock block({std::vector<float>(100, 0.25f), std::vector<float>(100, -0.5f)}, 2, 100);
            block.process.in_events = events.list();
            EXPECT_EQ(kiln.process(block.process), lc::CLAP_PROCESS_CONTINUE);
        }
        done.store(true);
    });
    const lc::clap_plugin_params_t& params = kiln.params();
    while (!done.load()) {
        kiln.plugin()->on_main_thread(kiln.plugin());
        EXPECT_EQ(kiln.latency().get(kiln.plugin()), 0u);
        EXPECT_EQ(kiln.tail().get(kiln.plugin()), 0u);
        const double drive = kiln.value(0);
        EXPECT_GE(drive, 0.0);
        EXPECT_LE(drive, 24.0);
        char text[32];
        EXPECT_TRUE(params.value_to_text(kiln.plugin(), 128, kiln.value(128), text, sizeof text));
        OutStream out;
        EXPECT_TRUE(kiln.state().save(kiln.plugin(), &out.stream));
        EXPECT_EQ(out.bytes.size(), 44u);
        InStream in(saved.bytes);
        EXPECT_TRUE(kiln.state().load(kiln.plugin(), &in.stream));
    }
    audio.join();
    kiln.plugin()->on_main_thread(kiln.plugin());
}

} // namespace
