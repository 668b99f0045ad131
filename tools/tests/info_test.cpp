// loom info on the real kiln.clap, and on files that are not CLAP plug-ins.

#include "run_tool.hpp"
#include "wav_files.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sndfile.h>

namespace {

using loom::test::run_loom;

// A real shared library without clap_entry: the libsndfile this test links.
std::string sndfile_library() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&sf_open), &info) == 0 || info.dli_fname == nullptr) return "";
    return info.dli_fname;
}

TEST(Info, DescribesKiln) {
    const auto r = run_loom({"info", KILN_CLAP_PATH});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    // Kiln's identity, parameter table (ids index × 128, flags by kind), one main stereo
    // port each way, its six extension ids (the configurable ports under both names), and
    // a state of 12 header bytes plus 4 parameters of one cell (4 + 4 bytes each).
    EXPECT_EQ(r.out,
              std::string(KILN_CLAP_PATH) + ": CLAP 1.2.10, 1 plug-in\n"
              "\n"
              "Kiln 0.1.0 by Velloran Labs\n"
              "  id            velloran-labs.kiln\n"
              "  description   Pushes the signal into a soft or hard clipper, then rolls off the highs with a one-pole "
              "low-pass.\n"
              "  url           https://velloran-labs.com\n"
              "  manual url    (none)\n"
              "  support url   (none)\n"
              "  features      audio-effect, distortion\n"
              "  CLAP version  1.2.10\n"
              "\n"
              "Parameters: 4\n"
              "   id  name    module      range                default            flags\n"
              "    0  Drive   Saturation  0 to 24              6 (6.00 dB)        automatable\n"
              "  128  Mode    Saturation  0 to 1 (Soft, Hard)  0 (Soft)           stepped, automatable, enum\n"
              "  256  Tone    Tone        200 to 16000         8000 (8000.00 Hz)  automatable\n"
              "  384  Bypass              0 to 1 (Off, On)     0 (Off)            stepped, bypass, automatable\n"
              "\n"
              "Audio ports:\n"
              "  direction  id  name  channels  type    flags\n"
              "  input       0  Main         2  stereo  main\n"
              "  output      0  Main         2  stereo  main\n"
              "\n"
              "Extensions: clap.params, clap.state, clap.latency, clap.tail, clap.audio-ports, "
              "clap.configurable-audio-ports/1, clap.configurable-audio-ports.draft1\n"
              "Latency: 0 samples (active at 48000 Hz)\n"
              "Tail: 0 samples\n"
              "State: 44 bytes\n");
}

TEST(Info, RefusesWhatIsNotAPlugin) {
    loom::test::TempDir dir;
    loom::test::write_bytes(dir.file("text.clap"), std::string(1024, 'x'));
    struct Case {
        const char* name;
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {"Missing", dir.file("missing.clap"), "cannot load '" + dir.file("missing.clap") + "': No such file or directory"},
        {"Folder", dir.path(), "cannot load '" + dir.path() + "': Is a directory"},
        {"NotALibrary", dir.file("text.clap"), "cannot load '" + dir.file("text.clap") + "': invalid ELF header"},
        {"NoEntry", sndfile_library(), "'" + sndfile_library() + "' is not a CLAP plug-in: it has no clap_entry"},
        // The tool itself is an executable without clap_entry.
        {"Executable", LOOM_TOOL_PATH, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = run_loom({"info", c.path});
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        if (!c.message.empty()) {
            EXPECT_EQ(r.err, "loom info: " + c.message + "\n");
        } else {
            // An executable may or may not load as a library; either way one line, no crash.
            EXPECT_EQ(r.err.rfind("loom info: ", 0), 0u) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        }
    }
}

} // namespace
