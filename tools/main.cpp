// The loom command-line tool: hands the command line and the standard streams to the
// commands (loom/tool/commands.hpp).

#include "loom/tool/commands.hpp"

#include <unistd.h>

#include <climits>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

namespace {

// The folder of the running executable, where kiln.clap sits beside it in a build.
std::string program_dir() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    const std::string full(path, static_cast<std::size_t>(n));
    const std::size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
        loom::tool::Console console{std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, program_dir()};
        const int code = loom::tool::run(words, console);
        std::cout.flush();
        if (!std::cout) {
            std::cerr << "loom: cannot write to standard output\n";
            return loom::tool::EXIT_INPUT;
        }
        return code;
    } catch (const std::bad_alloc&) {
        std::cerr << "loom: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "loom: " << e.what() << "\n";
    }
    return loom::tool::EXIT_INPUT;
}
