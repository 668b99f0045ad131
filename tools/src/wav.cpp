#include "loom/tool/wav.hpp"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <vector>

namespace loom::tool {

namespace {

constexpr sf_count_t CHUNK_FRAMES = 16384;

// libsndfile's text for the last failure, as the tail of our message: no final full stop and
// a lower-case first word ("Format not recognised." gives "format not recognised").
std::string sndfile_error(SNDFILE* file) {
    std::string text = sf_strerror(file);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'a' && text[1] <= 'z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text.empty() ? "unknown libsndfile error" : text;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// A file descriptor closed with the object.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// The temporary file being written, removed by the handlers below when a signal ends the
// process before it was renamed. Only async-signal-safe calls happen in the handler.
std::atomic<const char*> pending_temp{nullptr};

extern "C" void remove_pending_and_die(int signal) {
    if (const char* path = pending_temp.exchange(nullptr)) ::unlink(path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Installs the handlers while a temporary file exists; restores the old ones afterwards.
class TempGuard {
public:
    explicit TempGuard(const std::string& path) : temp(path) {
        pending_temp.store(temp.c_str());
        struct sigaction action {};
        action.sa_handler = remove_pending_and_die;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < SIGNALS.size(); ++i) sigaction(SIGNALS[i], &action, &saved[i]);
    }
    // The file became the output: nothing to remove any more.
    void release() { pending_temp.store(nullptr); }
    ~TempGuard() {
        if (pending_temp.exchange(nullptr) != nullptr) ::unlink(temp.c_str());
        for (std::size_t i = 0; i < SIGNALS.size(); ++i) sigaction(SIGNALS[i], &saved[i], nullptr);
    }
    TempGuard(const TempGuard&) = delete;
    TempGuard& operator=(const TempGuard&) = delete;

private:
    static constexpr std::array<int, 4> SIGNALS = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    std::string temp;
    std::array<struct sigaction, 4> saved{};
};

} // namespace

Result<Audio> read_wav(const std::string& path) {
    const std::string what = "cannot read " + quoted(path) + ": ";
    Descriptor d{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (d.fd < 0) return fail(what + std::strerror(errno));
    struct stat st {};
    if (::fstat(d.fd, &st) != 0) return fail(what + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return fail(what + std::strerror(EISDIR));

    SF_INFO info{};
    SNDFILE* file = sf_open_fd(d.fd, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) return fail(what + "not a sound file libsndfile can read (" + sndfile_error(nullptr) + ")");
    Audio audio;
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        return fail(what + "the file declares " + std::to_string(info.channels) + " channels at " +
                    std::to_string(info.samplerate) + " Hz");
    }
    const auto channels = static_cast<std::size_t>(info.channels);
    audio.sample_rate = info.samplerate;
    audio.channels.assign(channels, {});
    // Room for the frames the header declares, but never more than the file could hold as
    // one byte a sample: a damaged header must not make us ask for gigabytes.
    if (info.frames > 0) {
        const auto declared = static_cast<std::size_t>(info.frames);
        const auto bytes = static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0);
        for (auto& c : audio.channels) c.reserve(std::min(declared, bytes / channels + 1));
    }

    std::vector<float> interleaved(static_cast<std::size_t>(CHUNK_FRAMES) * channels);
    for (;;) {
        const sf_count_t got = sf_readf_float(file, interleaved.data(), CHUNK_FRAMES);
        if (got <= 0) break;
        for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i)
            for (std::size_t c = 0; c < channels; ++c) audio.channels[c].push_back(interleaved[i * channels + c]);
    }
    const int error = sf_error(file);
    const std::string text = error != SF_ERR_NO_ERROR ? sndfile_error(file) : std::string();
    sf_close(file);
    if (error != SF_ERR_NO_ERROR) return fail(what + text);
    return audio;
}

Result<void> write_wav(const std::string& path, const Audio& audio) {
    const std::string what = "cannot write " + quoted(path) + ": ";
    const std::size_t channels = audio.channel_count();
    if (channels == 0 || channels > INT_MAX) return fail(what + "there are no channels to write");
    if (!(audio.sample_rate >= 1.0 && audio.sample_rate <= INT_MAX)) return fail(what + "the sample rate is out of range");

    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    Descriptor d{::mkstemp(temp.data())};
    if (d.fd < 0) return fail(what + std::strerror(errno));
    TempGuard guard(temp);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(d.fd, 0666 & ~mask);

    SF_INFO info{};
    info.samplerate = static_cast<int>(audio.sample_rate + 0.5);
    info.channels = static_cast<int>(channels);
    // A plain WAV holds up to 4 GiB of samples; beyond that only RF64, its 64-bit sibling, can.
    const double bytes = static_cast<double>(audio.frames()) * static_cast<double>(channels) * 4.0;
    info.format = (bytes < 4294967295.0 - 1024.0 ? SF_FORMAT_WAV : SF_FORMAT_RF64) | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open_fd(d.fd, SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) return fail(what + sndfile_error(nullptr));

    std::vector<float> interleaved(static_cast<std::size_t>(CHUNK_FRAMES) * channels);
    const std::size_t frames = audio.frames();
    for (std::size_t at = 0; at < frames;) {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(CHUNK_FRAMES), frames - at);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t c = 0; c < channels; ++c) interleaved[i * channels + c] = audio.channels[c][at + i];
        if (sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(n)) != static_cast<sf_count_t>(n)) {
            const std::string text = sndfile_error(file);
            sf_close(file);
            return fail(what + text);
        }
        at += n;
    }
    if (sf_close(file) != 0) return fail(what + sndfile_error(nullptr));
    if (::fsync(d.fd) != 0) return fail(what + std::strerror(errno));
    if (::close(d.fd) != 0) {
        d.fd = -1;
        return fail(what + std::strerror(errno));
    }
    d.fd = -1;
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail(what + std::strerror(errno));
    guard.release();
    return {};
}

} // namespace loom::tool
