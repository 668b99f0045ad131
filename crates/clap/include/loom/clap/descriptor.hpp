#pragma once
// The plug-in's identity texts (`ClapConfig`), the CLAP descriptor built from them once per
// library (`Descriptor`), and the `Registry` that binds the two. Not the factory: the export
// unit of each plug-in owns that.

#include "loom/clap/abi.hpp"

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace loom::clap {

// Static text describing one plug-in to CLAP hosts; every field borrows static storage.
struct ClapConfig {
    std::string_view id = {};                           // "velloran-labs.kiln"
    std::string_view name = {};                         // display name
    std::string_view vendor = {};                       // maker's display name
    std::string_view url = {};                          // maker's web page, may be empty
    std::string_view version = {};                      // "0.1.0"
    std::string_view description = {};                  // one line
    std::span<const std::string_view> features = {}; // CLAP feature words, in order
};

// [any-thread] `text` as an owned NUL-terminated string, every NUL byte of it left out.
std::string c_string(std::string_view text);

// [any-thread] Whether `id` is not null and equals `literal` as NUL-terminated text.
bool is_id(const char* id, const char* literal) noexcept;

// Everything the `clap_plugin_descriptor` handed to hosts points to. Built once, never
// changed, moved or freed: hosts keep `raw`'s address and the addresses inside it.
struct Descriptor {
    // id, name, vendor, url, version, description, "", then one string per feature.
    std::vector<std::string> strings;
    // The feature strings, then a null pointer.
    std::vector<const char*> feature_ptrs;
    clap_plugin_descriptor_t raw = {};

    // [any-thread] Builds the descriptor of `config`, CLAP version 1.2.10.
    explicit Descriptor(const ClapConfig& config);
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// A once-only cell: empty at load, then the descriptor, which is never freed.
struct DescriptorCell {
    std::once_flag once;
    const Descriptor* value = nullptr;
};

// Binds one plug-in's `ClapConfig` to its descriptor; one static per plug-in library.
struct Registry {
    const ClapConfig& config;
    DescriptorCell descriptor_cell = {};

    constexpr explicit Registry(const ClapConfig& c) noexcept : config(c) {}
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // [any-thread] The address of the descriptor's `raw`, building the descriptor on the
    // first call; racing callers wait for the one that builds and get the same address.
    const clap_plugin_descriptor_t* descriptor();
};

} // namespace loom::clap
