#pragma once
// Reading a whole text (a file by its path, or standard input for "-") and writing one
// through a temporary file, so that a failure never leaves a partial file.

#include "loom/core/result.hpp"

#include <iosfwd>
#include <string>
#include <string_view>

namespace loom::tool {

// The bytes of the file at `path`, or of `in` when `path` is "-". The message reads
// "cannot read 'x.json': No such file or directory".
Result<std::string> read_text(const std::string& path, std::istream& in);

// Writes `text` to a new temporary file beside `path` and renames it over `path` once
// complete; on failure the temporary file is removed. The message reads "cannot write
// 'x.svg': Permission denied".
Result<void> write_text(const std::string& path, std::string_view text);

} // namespace loom::tool
