// Test toolkit: run programs with chosen arguments, environment and standard streams.
#include "support/process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "support/files.h"

namespace {

[[noreturn]] void execChild(const ProcessCall& call, const std::string& outPath, int pipeOut, int pipeIn = -1)
{
    int in = pipeIn >= 0 ? pipeIn : ::open(call.stdinPath.c_str(), O_RDONLY);
    int out = pipeOut >= 0 ? pipeOut : ::open(outPath.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0600);
    if (in < 0 || out < 0)
        _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    if (call.closeStdout)
        ::close(1);
    signal(SIGPIPE, SIG_DFL);
    if (call.ppd)
        setenv("PPD", call.ppd->c_str(), 1);
    else
        unsetenv("PPD");
    std::vector<char*> argv;
    for (const std::string& a : call.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

}  // namespace

ProcessResult runProcess(const ProcessCall& call)
{
    TempFile captured;
    const std::string& outPath = call.stdoutPath.empty() ? captured.path() : call.stdoutPath;
    int fds[2] = {-1, -1};
    if (call.hangUpAfter > 0 && pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (fds[0] >= 0)
            ::close(fds[0]);
        execChild(call, outPath, fds[1]);
    }
    if (fds[0] >= 0) {
        ::close(fds[1]);
        std::vector<char> chunk(4096);
        for (size_t got = 0; got < call.hangUpAfter;) {
            ssize_t n = ::read(fds[0], chunk.data(), chunk.size());
            if (n <= 0)
                break;
            got += size_t(n);
        }
        ::close(fds[0]);
    }
    int wstatus = 0;
    struct rusage usage {};
    while (wait4(pid, &wstatus, 0, &usage) < 0) {
    }
    ProcessResult result;
    result.maxRssKb = usage.ru_maxrss;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (call.stdoutPath.empty() && call.hangUpAfter == 0)
        result.out = captured.read();
    return result;
}

PipedProcess startPiped(const ProcessCall& call)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::close(fds[1]);
        execChild(call, call.stdoutPath, -1, fds[0]);
    }
    ::close(fds[0]);
    return {pid, fds[1]};
}

int waitWithin(const PipedProcess& p, double seconds)
{
    int wstatus = 0;
    for (int waited = 0; waited < int(seconds * 1000); ++waited) {
        if (waitpid(p.pid, &wstatus, WNOHANG) == p.pid)
            return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        usleep(1000);
    }
    kill(p.pid, SIGKILL);
    waitpid(p.pid, &wstatus, 0);
    return -1;
}

std::string filterPath()
{
    return KORVI_FILTER_PATH;
}

std::vector<std::string> filterArgs(const std::string& options)
{
    return {filterPath(), "42", "tester", "test job", "1", options};
}

ProcessResult runFilter(const std::vector<uint8_t>& raster, const std::string& ppdPath,
                        const std::string& options)
{
    TempFile input;
    input.write(raster);
    ProcessCall call;
    call.argv = filterArgs(options);
    call.ppd = ppdPath;
    call.stdinPath = input.path();
    return runProcess(call);
}

std::vector<uint8_t> captureStdout(const std::function<void()>& fn)
{
    TempFile captured;
    fflush(stdout);
    int saved = dup(1);
    int fd = ::open(captured.path().c_str(), O_WRONLY | O_TRUNC);
    dup2(fd, 1);
    ::close(fd);
    fn();
    fflush(stdout);
    clearerr(stdout);
    dup2(saved, 1);
    ::close(saved);
    return captured.read();
}
