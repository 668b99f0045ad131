#include "wav_files.hpp"

#include "loom/core/fatal.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace loom::test {

void write_sound(const std::string& path, const std::vector<std::vector<float>>& channels, int sample_rate, int format) {
    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) fatal("write_sound: cannot open " + path);
    const std::size_t frames = channels.empty() ? 0 : channels[0].size();
    std::vector<float> interleaved(frames * channels.size());
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < channels.size(); ++c) interleaved[i * channels.size() + c] = channels[c][i];
    if (sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(frames)) != static_cast<sf_count_t>(frames))
        fatal("write_sound: short write to " + path);
    sf_close(f);
}

SoundFile read_sound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) fatal("read_sound: cannot open " + path);
    SoundFile s;
    s.sample_rate = info.samplerate;
    s.format = info.format;
    const auto channels = static_cast<std::size_t>(info.channels);
    const auto frames = static_cast<std::size_t>(info.frames);
    std::vector<float> interleaved(frames * channels);
    if (sf_readf_float(f, interleaved.data(), info.frames) != info.frames) fatal("read_sound: short read of " + path);
    sf_close(f);
    s.channels.assign(channels, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < channels; ++c) s.channels[c][i] = interleaved[i * channels + c];
    return s;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "loom-tool-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) fatal("TempDir: mkdtemp failed");
    dir = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

std::vector<std::string> TempDir::names() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
    if (!f) fatal("write_bytes: cannot write " + path);
}

} // namespace loom::test
