// loom demo: placeholder while the demo is written.
#include "loom/tool/commands.hpp"
namespace loom::tool {
namespace {
int run_demo(const Args&, Console&) { return EXIT_OK; }
}
const Command DEMO = {.name = "demo", .summary = "x", .usage = "loom demo", .help = "", .options = {}, .run = run_demo};
}
