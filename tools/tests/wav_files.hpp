#pragma once
// Sound files for the tool's tests, written and read with libsndfile directly (not through
// the tool), and a temporary folder that is removed with its contents.

#include <string>
#include <vector>

namespace loom::test {

struct SoundFile {
    int sample_rate = 48000;
    int format = 0; // libsndfile's format word, as read
    std::vector<std::vector<float>> channels;
};

// Writes the channels interleaved with the libsndfile `format` (for example
// SF_FORMAT_WAV | SF_FORMAT_FLOAT); stops the test program when it cannot.
void write_sound(const std::string& path, const std::vector<std::vector<float>>& channels, int sample_rate, int format);

// Reads a whole file; stops the test program when it cannot.
SoundFile read_sound(const std::string& path);

// A new empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }
    // The names of everything in the folder, sorted, hidden files included.
    std::vector<std::string> names() const;

private:
    std::string dir;
};

// Writes `bytes` to `path`.
void write_bytes(const std::string& path, const std::string& bytes);

} // namespace loom::test
