#pragma once
// Runs the built loom executable as a person would, in a child process: arguments, standard
// input, and what comes back (exit code, standard output, standard error).

#include <string>
#include <vector>

namespace loom::test {

struct ToolRun {
    int code = -1;         // the exit code; -1 when a signal ended the process
    int signal = 0;        // the signal that ended it, 0 when it exited
    std::string out;
    std::string err;
};

// Runs build/loom with `args`, feeding `input` on its standard input.
ToolRun run_loom(const std::vector<std::string>& args, const std::string& input = "");

} // namespace loom::test
