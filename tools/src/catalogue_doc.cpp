#include "loom/tool/catalogue_doc.hpp"

#include "loom/blocks/catalogue.hpp"
#include "loom/core/text.hpp"
#include "loom/tool/format.hpp"

#include <cmath>
#include <vector>

namespace loom::tool {

namespace {

// A table cell: a '|' would end the cell, a line break the row.
std::string cell(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '|') out += "\\|";
        else if (c == '\n') out += ' ';
        else out += c;
    }
    return out;
}

std::string code(std::string_view text) { return "`" + std::string(text) + "`"; }

std::string range_text(const ArgInfo& a) {
    if (!a.choices.empty()) {
        std::vector<std::string> names;
        for (const std::string_view c : a.choices) names.push_back(code(c));
        return join(names, ", ");
    }
    return text::shortest(a.min) + " to " + text::shortest(a.max);
}

std::string default_text(const ArgInfo& a) {
    if (!a.choices.empty()) {
        const auto index = static_cast<std::size_t>(std::lround(a.default_value));
        if (index < a.choices.size()) return code(a.choices[index]);
    }
    return text::shortest(a.default_value);
}

} // namespace

std::string block_markdown(const BlockInfo& info) {
    std::string out = "## " + std::string(info.name) + "\n\n" + std::string(info.doc) + "\n\n";
    out += "| Argument | Unit | Range or choices | Default | Fixed | What it does |\n";
    out += "|---|---|---|---|---|---|\n";
    for (const ArgInfo& a : info.args)
        out += "| " + code(a.name) + " | " + cell(a.unit) + " | " + range_text(a) + " | " + default_text(a) + " | " +
               (a.fixed ? "yes" : "no") + " | " + cell(a.doc) + " |\n";
    out += "\nMeters: ";
    if (info.meters.empty()) {
        out += "none.\n";
    } else {
        std::vector<std::string> names;
        for (const std::string_view m : info.meters) names.push_back(code(m));
        out += join(names, ", ") + ".\n";
    }
    return out;
}

std::string catalogue_markdown() {
    std::vector<std::string> names;
    for (const BlockInfo* b : ALL) names.push_back(code(b->name));
    std::string out =
        "# Blocks\n\n"
        "The blocks a graph description can name, in catalogue order: " + join(names, ", ") + ".\n"
        "An argument is bound to a number, a choice name, a parameter or an expression; a fixed\n"
        "argument must be a constant, since it is read once when the plug-in is built.\n";
    for (const BlockInfo* b : ALL) out += "\n" + block_markdown(*b);
    return out;
}

} // namespace loom::tool
