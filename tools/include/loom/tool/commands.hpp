#pragma once
// The commands of the loom tool and the dispatcher that reads a whole command line, prints
// help, and runs one command. Each command lives in its own file (check.cpp, eval.cpp,
// blocks.cpp, info.cpp, render.cpp, demo.cpp); main.cpp only hands over argv and the streams.
//
// Exit codes: 0 success, 1 the input is at fault (a description that does not compile, an
// expression that does not parse, an unreadable file or plug-in), 2 a wrong command line.
// Every error is one line on the error stream.

#include "loom/tool/cli.hpp"

#include <array>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace loom::tool {

inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_INPUT = 1;
inline constexpr int EXIT_USAGE = 2;

// Where a command reads and writes.
struct Console {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool err_is_terminal = false; // progress bars are drawn only on a terminal
    std::string program_dir = {}; // the folder of the running executable ("" when unknown)
};

// One command: its name, its one-line summary for `loom --help`, its usage line, the text of
// `loom NAME --help` after the usage, its options and the code that runs it.
struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view usage;
    std::string_view help;
    std::span<const OptionSpec> options;
    int (*run)(const Args& args, Console& console);
};

extern const Command CHECK;
extern const Command EVAL;
extern const Command BLOCKS;
extern const Command INFO;
extern const Command RENDER;
extern const Command DEMO;

// Every command, in the order `loom --help` lists them.
extern const std::array<const Command*, 6> COMMANDS;

// Runs a whole command line (the words after the program name) and gives the exit code.
int run(std::span<const std::string> words, Console& console);

// The text of `loom --help`.
std::string main_help();
// The text of `loom NAME --help`.
std::string command_help(const Command& command);

// Prints "loom NAME: message. See 'loom NAME --help'" and gives `EXIT_USAGE`.
int usage_error(const Command& command, Console& console, std::string_view message);
// Prints "loom NAME: message" and gives `EXIT_INPUT`.
int input_error(const Command& command, Console& console, std::string_view message);

} // namespace loom::tool
