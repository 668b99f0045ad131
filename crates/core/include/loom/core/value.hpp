#pragma once
// JSON values and their reader: a tagged value that keeps object members in document order
// (repeated keys included) and a recursive-descent parser that reports the byte of a fault.
// It reads built-in descriptions when a plug-in object is built; nothing here is real-time safe.

#include "loom/core/result.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace loom {

// The kind of a `Json` value; equal to the index of its alternative in `Json::value`.
enum class JsonKind : std::uint8_t {
    Null = 0,
    Boolean = 1,
    Number = 2,
    String = 3,
    Array = 4,
    Object = 5,
};

struct JsonMember;

// One JSON value. A value owns its children. Readers inspect the kind and payload directly:
// there are no conversions between kinds.
struct Json {
    using Array = std::vector<Json>;
    using Member = JsonMember;
    // Members in document order; a key may occur more than once.
    using Object = std::vector<Member>;

    std::variant<std::monostate, bool, double, std::string, Array, Object> value;

    JsonKind kind() const noexcept { return static_cast<JsonKind>(value.index()); }

    // The payload when the value is of that kind, else null.
    const bool* as_bool() const noexcept { return std::get_if<bool>(&value); }
    const double* as_number() const noexcept { return std::get_if<double>(&value); }
    const std::string* as_string() const noexcept { return std::get_if<std::string>(&value); }
    const Array* as_array() const noexcept { return std::get_if<Array>(&value); }
    const Object* as_object() const noexcept { return std::get_if<Object>(&value); }

    // [any-thread] The value of the first member whose key equals `key` byte for byte; null
    // when there is none or when this value is not an object.
    const Json* get(std::string_view key) const noexcept;

    bool operator==(const Json&) const;
};

// One member of an object: its key and its value. A struct of its own rather than std::pair:
// clang checks std::pair<std::string, Json>'s default constructor while `Json` is still
// incomplete and fails, where a plain aggregate compiles with both g++ and clang.
struct JsonMember {
    std::string first;
    Json second;

    bool operator==(const JsonMember&) const = default;
};

inline bool Json::operator==(const Json&) const = default;

// [build] Reads one JSON value from UTF-8 `text`, or gives one message: what went wrong,
// " at byte " and the position counted from 0 (a string that is not valid UTF-8 has no
// position). Whitespace is space, tab, line feed and carriage return; nesting is limited to
// 65 levels. Numbers are the longest run of 0-9 + - . e E that reads as a decimal with an
// optional sign; a magnitude beyond the double range gives an infinity.
Result<Json> parse(std::string_view text);

} // namespace loom
