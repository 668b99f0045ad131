#pragma once
// Reading a whole text: a file by its path, or standard input for "-".

#include "loom/core/result.hpp"

#include <iosfwd>
#include <string>

namespace loom::tool {

// The bytes of the file at `path`, or of `in` when `path` is "-". The message reads
// "cannot read 'x.json': No such file or directory".
Result<std::string> read_text(const std::string& path, std::istream& in);

} // namespace loom::tool
