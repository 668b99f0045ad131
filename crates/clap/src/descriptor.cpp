#include "loom/clap/descriptor.hpp"

#include <cstring>

namespace loom::clap {

std::string c_string(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != '\0') out.push_back(c);
    return out;
}

bool is_id(const char* id, const char* literal) noexcept {
    return id != nullptr && std::strcmp(id, literal) == 0;
}

Descriptor::Descriptor(const ClapConfig& config) {
    // Every string is in place before any address is taken: a short string keeps its
    // characters inside the string object, so the list must not grow after that.
    strings.reserve(7 + config.features.size());
    for (const std::string_view text :
         {config.id, config.name, config.vendor, config.url, config.version, config.description, std::string_view()})
        strings.push_back(c_string(text));
    for (const std::string_view feature : config.features) strings.push_back(c_string(feature));

    feature_ptrs.reserve(config.features.size() + 1);
    for (std::size_t i = 7; i < strings.size(); ++i) feature_ptrs.push_back(strings[i].c_str());
    feature_ptrs.push_back(nullptr);

    raw.clap_version = CLAP_VERSION;
    raw.id = strings[0].c_str();
    raw.name = strings[1].c_str();
    raw.vendor = strings[2].c_str();
    raw.url = strings[3].c_str();
    raw.version = strings[4].c_str();
    raw.description = strings[5].c_str();
    raw.manual_url = strings[6].c_str();
    raw.support_url = strings[6].c_str();
    raw.features = feature_ptrs.data();
}

const clap_plugin_descriptor_t* Registry::descriptor() {
    // Built once and never freed: hosts may keep the address until the library is unloaded.
    std::call_once(descriptor_cell.once, [this] { descriptor_cell.value = new Descriptor(config); });
    return &descriptor_cell.value->raw;
}

} // namespace loom::clap
