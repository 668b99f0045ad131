#include "run_tool.hpp"

#include "loom/core/fatal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace loom::test {

ToolRun run_loom(const std::vector<std::string>& args, const std::string& input) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        fatal("run_loom: pipe failed");
    std::signal(SIGPIPE, SIG_IGN);
    const pid_t pid = ::fork();
    if (pid < 0) fatal("run_loom: fork failed");
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        std::vector<char*> argv;
        std::string program = LOOM_TOOL_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);

    ToolRun run;
    std::size_t written = 0;
    int to_child = in[1];
    if (input.empty()) {
        ::close(to_child);
        to_child = -1;
    }
    bool out_open = true, err_open = true;
    char buffer[65536];
    while (out_open || err_open || to_child >= 0) {
        pollfd fds[3];
        nfds_t n = 0;
        if (out_open) fds[n++] = {out[0], POLLIN, 0};
        if (err_open) fds[n++] = {err[0], POLLIN, 0};
        if (to_child >= 0) fds[n++] = {to_child, POLLOUT, 0};
        if (::poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            fatal("run_loom: poll failed");
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == to_child) {
                const ssize_t w = ::write(to_child, input.data() + written, input.size() - written);
                if (w > 0) written += static_cast<std::size_t>(w);
                if (w < 0 || written == input.size()) {
                    ::close(to_child);
                    to_child = -1;
                }
                continue;
            }
            const ssize_t r = ::read(fds[i].fd, buffer, sizeof buffer);
            if (r > 0) {
                (fds[i].fd == out[0] ? run.out : run.err).append(buffer, static_cast<std::size_t>(r));
            } else if (r == 0 || errno != EINTR) {
                if (fds[i].fd == out[0]) out_open = false;
                else err_open = false;
            }
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) run.code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

} // namespace loom::test
