// Fuzz target: the JSON reader. Any bytes give a value or one located message, never a crash;
// a value printed back as JSON reads as the same value.
#include "fuzz.hpp"

#include "loom/core/value.hpp"

#include <charconv>
#include <cmath>
#include <string>

namespace {

using loom::Json;
using loom::fuzz::expect;

// Writes `value` as JSON text that the reader takes back unchanged. Infinities (which the
// reader makes of numbers beyond the double range) are written as such numbers; strings keep
// their bytes, escaping only the quote and the backslash.
void print(const Json& value, std::string& out) {
    switch (value.kind()) {
    case loom::JsonKind::Null: out += "null"; return;
    case loom::JsonKind::Boolean: out += *value.as_bool() ? "true" : "false"; return;
    case loom::JsonKind::Number: {
        const double n = *value.as_number();
        if (std::isinf(n)) {
            out += n < 0 ? "-1e999" : "1e999";
            return;
        }
        char buffer[64];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, n);
        out.append(buffer, written.ptr);
        return;
    }
    case loom::JsonKind::String:
        out += '"';
        for (const char c : *value.as_string()) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
        return;
    case loom::JsonKind::Array: {
        out += '[';
        const char* comma = "";
        for (const Json& element : *value.as_array()) {
            out += comma;
            print(element, out);
            comma = ",";
        }
        out += ']';
        return;
    }
    case loom::JsonKind::Object: {
        out += '{';
        const char* comma = "";
        for (const auto& [key, member] : *value.as_object()) {
            out += comma;
            print(Json{key}, out);
            out += ':';
            print(member, out);
            comma = ",";
        }
        out += '}';
        return;
    }
    }
}

// A failure names the byte it stopped at, within the input; only the UTF-8 message has none.
void check_message(const std::string& message, std::size_t size) {
    if (message == "the string is not valid UTF-8") return;
    const std::size_t at = message.rfind(" at byte ");
    expect(at != std::string::npos && at > 0, "a JSON message names no byte");
    std::size_t position = 0;
    const char* digits = message.data() + at + 9;
    const char* last = message.data() + message.size();
    const auto read = std::from_chars(digits, last, position);
    expect(read.ec == std::errc() && read.ptr == last, "a JSON message ends in something else than a position");
    expect(position <= size, "a JSON message names a byte beyond the input");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const loom::Result<Json> value = loom::parse(loom::fuzz::text_of(data, size));
    if (!value) {
        check_message(value.error(), size);
        return 0;
    }
    std::string printed;
    print(*value, printed);
    const loom::Result<Json> again = loom::parse(printed);
    expect(again.has_value(), "a printed value does not read back");
    expect(*again == *value, "a printed value reads back as another value");
    std::string reprinted;
    print(*again, reprinted);
    expect(reprinted == printed, "printing is not stable");
    return 0;
}
