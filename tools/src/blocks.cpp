// loom blocks: the block catalogue as Markdown.

#include "loom/tool/commands.hpp"

#include "loom/blocks/catalogue.hpp"
#include "loom/tool/catalogue_doc.hpp"
#include "loom/tool/format.hpp"

#include <ostream>
#include <vector>

namespace loom::tool {

namespace {

int run_blocks(const Args& args, Console& console) {
    if (args.positional.size() > 1) return usage_error(BLOCKS, console, "unexpected argument '" + args.positional[1] + "'");
    if (args.positional.empty()) {
        console.out << catalogue_markdown();
        return EXIT_OK;
    }
    const BlockInfo* info = find(args.positional[0]);
    if (info == nullptr) {
        std::vector<std::string_view> names;
        for (const BlockInfo* b : ALL) names.push_back(b->name);
        return input_error(BLOCKS, console,
                           "there is no block called '" + args.positional[0] + "'. The blocks are: " + join(names, ", "));
    }
    console.out << block_markdown(*info);
    return EXIT_OK;
}

} // namespace

const Command BLOCKS = {
    .name = "blocks",
    .summary = "show the block catalogue, or one block, as Markdown",
    .usage = "loom blocks [NAME]",
    .help =
        "Prints the catalogue of the blocks a graph description can use, as Markdown: each\n"
        "block's text, its arguments (unit, range or choices, default, whether it is fixed when\n"
        "the plug-in is built) and its meters. With NAME, only that block.\n"
        "\n"
        "Options:\n"
        "  -h, --help  show this help\n"
        "\n"
        "Exit status: 0 success, 1 no block has that name, 2 a wrong command line.\n",
    .options = {},
    .run = run_blocks,
};

} // namespace loom::tool
