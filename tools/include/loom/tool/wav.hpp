#pragma once
// Sound files through libsndfile: reading any file it knows (WAV above all) into `Audio`, and
// writing `Audio` as a 32-bit float WAV without ever leaving a partial file behind.

#include "loom/core/result.hpp"
#include "loom/tool/audio.hpp"

#include <string>

namespace loom::tool {

// Reads the whole file, its samples as 32-bit floats. The message names the file and says
// what is wrong: "cannot read 'x.wav': No such file or directory", "cannot read 'x.wav':
// the file holds no sound libsndfile knows (format not recognised)".
Result<Audio> read_wav(const std::string& path);

// Writes a 32-bit float WAV at the audio's rate and channel count. The samples go to a new
// temporary file in the same folder, which is renamed over `path` only once complete; on
// any failure, or when the process is interrupted or terminated meanwhile, the temporary
// file is removed and `path` is left as it was.
Result<void> write_wav(const std::string& path, const Audio& audio);

} // namespace loom::tool
