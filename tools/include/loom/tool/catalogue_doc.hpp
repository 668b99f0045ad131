#pragma once
// The block catalogue written for people, as Markdown: each block's text, a table of its
// arguments (unit, range or choices, default, fixed, text) and its meters.

#include "loom/blocks/block.hpp"

#include <string>

namespace loom::tool {

// One block: a "## name" heading, its text, its argument table and its meters.
std::string block_markdown(const BlockInfo& info);

// Every block of the catalogue, in catalogue order, under a "# Blocks" heading.
std::string catalogue_markdown();

} // namespace loom::tool
