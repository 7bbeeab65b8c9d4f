// Child processes of a job. They are forked from a threaded server, so between fork and exec a
// child only calls what is safe there; everything it needs (argv, environment, user) is made
// beforehand. All stages share one process group, so one signal reaches the whole chain.
#include "chain.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <grp.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "pagecount.h"
#include "paths.h"

namespace {

constexpr double kCancelGraceSeconds = 2.0;  // then the chain is killed

struct Identity {
    bool drop = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Root runs its stages as "lp"; others run them as themselves.
bool stageIdentity(Identity& id)
{
    if (getuid() != 0)
        return true;
    passwd entry{}, *found = nullptr;
    char text[4096];
    if (getpwnam_r("lp", &entry, text, sizeof text, &found) != 0 || !found)
        return false;
    id = {true, found->pw_uid, found->pw_gid};
    return true;
}

std::vector<std::string> stageEnvironment(const ChainJob& job)
{
    return {
        "PATH=/usr/bin:/bin",
        "PPD=" + korviPaths().ppd,
        "CONTENT_TYPE=" + job.contentType,
        "FINAL_CONTENT_TYPE=application/vnd.cups-raster",
        "CUPS_SERVERBIN=" + korviPaths().cupsFilters.substr(0, korviPaths().cupsFilters.rfind('/')),
        "CUPS_DATADIR=/usr/share/cups",
        "CUPS_FONTPATH=/usr/share/cups/fonts",
        "TMPDIR=/tmp",
        "LANG=C",
        "CHARSET=utf-8",
    };
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (std::string& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// In the child: standard streams, process group, signals, user, then the program.
[[noreturn]] void execStage(char* const* argv, char* const* envp, int in, int out, int err, pid_t group,
                            const Identity& id)
{
    setpgid(0, group);
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
        _exit(127);
    syscall(SYS_close_range, 3U, ~0U, 0U);  // nothing of the server's: listeners, device, spool
    signal(SIGPIPE, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);  // the server's threads block signals a stage needs
    if (id.drop && (setgroups(1, &id.gid) != 0 || setgid(id.gid) != 0 || setuid(id.uid) != 0))
        _exit(127);
    execve(argv[0], argv, envp);
    _exit(127);
}

void closeFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void logStageLine(pappl_job_t* job, const std::string& line, std::string& lastError)
{
    if (line.rfind("ERROR:", 0) == 0) {
        size_t text = line.find_first_not_of(' ', 6);
        lastError = text == std::string::npos ? line : line.substr(text);
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", line.c_str());
    } else if (line.rfind("WARNING:", 0) == 0) {
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", line.c_str());
    } else if (!line.empty()) {
        papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
    }
}

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

}  // namespace

bool startChain(Chain& chain, const std::vector<std::string>& programs, const ChainJob& job, int inputFd)
{
    Identity id;
    if (!stageIdentity(id))
        return false;
    std::vector<std::string> env = stageEnvironment(job);
    std::vector<char*> envp = pointers(env);
    int errPipe[2], inPipe[2] = {-1, -1};
    if (pipe2(errPipe, O_CLOEXEC) != 0)
        return false;
    if (inputFd < 0 && pipe2(inPipe, O_CLOEXEC) != 0) {
        close(errPipe[0]);
        close(errPipe[1]);
        return false;
    }
    int in = inputFd >= 0 ? inputFd : inPipe[0];
    pid_t group = 0;
    bool started = true;
    for (size_t i = 0; i < programs.size() && started; ++i) {
        int link[2];
        if (pipe2(link, O_CLOEXEC) != 0) {
            started = false;
            break;
        }
        std::vector<std::string> args = {programs[i], job.id, job.user, job.title, std::to_string(job.copies),
                                         job.options};
        std::vector<char*> argv = pointers(args);
        pid_t pid = fork();
        if (pid == 0)
            execStage(argv.data(), envp.data(), in, link[1], errPipe[1], group, id);
        if (pid < 0) {
            close(link[0]);
            close(link[1]);
            started = false;
            break;
        }
        if (group == 0)
            group = pid;
        setpgid(pid, group);  // also here, so the group holds before any signal is sent
        chain.pids.push_back(pid);
        chain.names.push_back(programs[i].substr(programs[i].rfind('/') + 1));
        close(link[1]);
        if (in != inputFd)
            close(in);
        in = link[0];
    }
    close(errPipe[1]);
    chain.errors = errPipe[0];
    chain.output = in;
    if (inPipe[1] >= 0)
        chain.input = inPipe[1];
    if (!started) {
        if (group > 0)
            kill(-group, SIGKILL);
        for (pid_t pid : chain.pids)
            waitpid(pid, nullptr, 0);
        chain.pids.clear();
        chain.names.clear();
        closeFd(chain.output);
        closeFd(chain.errors);
        closeFd(chain.input);
    }
    return started;
}

bool runChain(Chain& chain, pappl_job_t* job, pappl_device_t* device)
{
    const pid_t group = chain.pids.empty() ? 0 : chain.pids.front();
    PageCounter pages;
    std::string errorText, lastError;
    bool deviceFailed = false;
    double cancelledAt = 0;
    char buffer[65536];
    while (chain.output >= 0 || chain.errors >= 0) {
        if (cancelledAt == 0 && papplJobIsCanceled(job)) {
            cancelledAt = now();
            kill(-group, SIGTERM);  // the filter finishes its line and closes the page
        } else if (cancelledAt > 0 && now() - cancelledAt > kCancelGraceSeconds) {
            kill(-group, SIGKILL);
        }
        pollfd fds[2] = {{chain.output, POLLIN, 0}, {chain.errors, POLLIN, 0}};
        if (poll(fds, 2, 100) <= 0)
            continue;
        if (fds[0].revents) {
            ssize_t n = read(chain.output, buffer, sizeof buffer);
            if (n <= 0) {
                closeFd(chain.output);
            } else if (!deviceFailed) {
                unsigned ended = countPages(pages, reinterpret_cast<uint8_t*>(buffer), size_t(n));
                if (papplDeviceWrite(device, buffer, size_t(n)) < 0) {
                    deviceFailed = true;
                    kill(-group, SIGTERM);
                }
                if (chain.countPages && ended)
                    papplJobSetImpressionsCompleted(job, int(ended));
            }
        }
        if (fds[1].revents) {
            ssize_t n = read(chain.errors, buffer, sizeof buffer);
            if (n <= 0) {
                closeFd(chain.errors);
                continue;
            }
            errorText.append(buffer, size_t(n));
            for (size_t eol; (eol = errorText.find('\n')) != std::string::npos; errorText.erase(0, eol + 1))
                logStageLine(job, errorText.substr(0, eol), lastError);
        }
    }
    papplDeviceFlush(device);
    bool allWell = true;
    for (size_t i = 0; i < chain.pids.size(); ++i) {
        int status = 0;
        waitpid(chain.pids[i], &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            continue;
        const std::string& name = chain.names[i];
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s ended with %s %d", name.c_str(),
                    WIFEXITED(status) ? "status" : "signal", WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
        if (allWell && !papplJobIsCanceled(job)) {
            if (lastError.empty())
                papplJobSetMessage(job, "The document could not be printed (%s failed).", name.c_str());
            else
                papplJobSetMessage(job, "The document could not be printed: %s", lastError.c_str());
        }
        allWell = false;
    }
    chain.pids.clear();
    chain.names.clear();
    if (deviceFailed)
        papplJobSetMessage(job, "The printer could not be written to.");
    return papplJobIsCanceled(job) || (allWell && !deviceFailed);
}
