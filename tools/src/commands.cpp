#include "loom/tool/commands.hpp"

#include <ostream>

namespace loom::tool {

const std::array<const Command*, 6> COMMANDS = {&CHECK, &EVAL, &BLOCKS, &INFO, &RENDER, &DEMO};

namespace {

const Command* find_command(std::string_view name) {
    for (const Command* c : COMMANDS)
        if (c->name == name) return c;
    return nullptr;
}

} // namespace

std::string main_help() {
    std::string out =
        "usage: loom COMMAND [ARGUMENTS]\n"
        "\n"
        "Author and audition loom graph descriptions, look into CLAP plug-ins and run them on\n"
        "sound files, without a DAW.\n"
        "\n"
        "Commands:\n";
    for (const Command* c : COMMANDS) {
        std::string line = "  " + std::string(c->name);
        line.resize(11, ' ');
        out += line + std::string(c->summary) + "\n";
    }
    out +=
        "\n"
        "Run 'loom COMMAND --help' for what a command takes.\n"
        "Exit status: 0 success, 1 the input is at fault, 2 a wrong command line.\n";
    return out;
}

std::string command_help(const Command& command) {
    return "usage: " + std::string(command.usage) + "\n\n" + std::string(command.help);
}

int usage_error(const Command& command, Console& console, std::string_view message) {
    console.err << "loom " << command.name << ": " << message << ". See 'loom " << command.name << " --help'\n";
    return EXIT_USAGE;
}

int input_error(const Command& command, Console& console, std::string_view message) {
    console.err << "loom " << command.name << ": " << message << "\n";
    return EXIT_INPUT;
}

int run(std::span<const std::string> words, Console& console) {
    if (words.empty()) {
        console.err << "loom: a command is missing. See 'loom --help'\n";
        return EXIT_USAGE;
    }
    const std::string& first = words[0];
    if (first == "-h" || first == "--help" || first == "help") {
        if (first == "help" && words.size() > 1) {
            if (const Command* c = find_command(words[1])) {
                console.out << command_help(*c);
                return EXIT_OK;
            }
            console.err << "loom: there is no command called '" << words[1] << "'. See 'loom --help'\n";
            return EXIT_USAGE;
        }
        console.out << main_help();
        return EXIT_OK;
    }
    if (first == "--version") {
        console.out << "loom 0.1.0\n";
        return EXIT_OK;
    }
    const Command* command = find_command(first);
    if (command == nullptr) {
        if (first.size() > 1 && first[0] == '-')
            console.err << "loom: unknown option '" << first << "'. See 'loom --help'\n";
        else
            console.err << "loom: there is no command called '" << first << "'. See 'loom --help'\n";
        return EXIT_USAGE;
    }
    auto args = parse_args(words.subspan(1), command->options);
    if (!args) return usage_error(*command, console, args.error());
    if (args->help) {
        console.out << command_help(*command);
        return EXIT_OK;
    }
    return command->run(*args, console);
}

} // namespace loom::tool
