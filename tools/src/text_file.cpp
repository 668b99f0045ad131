#include "loom/tool/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>

namespace loom::tool {

Result<std::string> read_text(const std::string& path, std::istream& in) {
    if (path == "-") {
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad()) return fail("cannot read standard input");
        return text;
    }
    const std::string what = "cannot read '" + path + "': ";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(what + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(what + std::strerror(EISDIR));
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return fail(what + std::strerror(error));
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

} // namespace loom::tool
