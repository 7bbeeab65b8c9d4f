// Child processes of a job. They are forked from a threaded server, so between fork and exec a
// child only calls what is safe there; everything it needs (argv, environment, user) is made
// beforehand. All stages share one process group, so one signal reaches the whole chain.
#include "chain.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "pagecount.h"
#include "paths.h"
#include "removetree.h"

namespace {

constexpr double kCancelGraceSeconds = 2.0;  // then the chain is killed
constexpr size_t kMaxHeldBytes = 1 << 20;    // held back before a page begins, at most

int gStallSeconds = 300;

struct Identity {
    bool drop = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Root runs its stages as "lp"; others run them as themselves.
bool stageIdentity(Identity& id, std::string& failure)
{
    if (getuid() != 0)
        return true;
    passwd entry{}, *found = nullptr;
    char text[4096];
    int error = getpwnam_r("lp", &entry, text, sizeof text, &found);
    if (error != 0 || !found) {
        failure = std::string("the user lp cannot be had: ") + (error ? strerror(error) : "no such user");
        return false;
    }
    id = {true, found->pw_uid, found->pw_gid};
    return true;
}

std::vector<std::string> stageEnvironment(const ChainJob& job, const std::string& tempDir)
{
    return {
        "PATH=/usr/bin:/bin",
        "PPD=" + korviPaths().ppd,
        "CONTENT_TYPE=" + job.contentType,
        "FINAL_CONTENT_TYPE=application/vnd.cups-raster",
        "CUPS_SERVERBIN=" + korviPaths().cupsFilters.substr(0, korviPaths().cupsFilters.rfind('/')),
        "CUPS_DATADIR=/usr/share/cups",
        "CUPS_FONTPATH=/usr/share/cups/fonts",
        "TMPDIR=" + tempDir,
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

// In the child: standard streams, process group, signals, user, then the program. A stage dies
// with the server's thread that started it (a crash or a kill of the server leaves none behind);
// that is set after the switch of user, which clears it.
[[noreturn]] void execStage(char* const* argv, char* const* envp, int in, int out, int err, pid_t group,
                            const Identity& id, pid_t server)
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
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != server)
        _exit(127);
    execve(argv[0], argv, envp);
    _exit(127);
}

// Signals the chain's process group; never group 0, which would be the server's own.
void signalChain(pid_t group, int signal)
{
    if (group > 0)
        kill(-group, signal);
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

// Runs `work` in a child process as the stages' user (itself when the server does not drop to
// lp); true when it succeeded. Root under the service's unit may not enter a folder of lp's.
template <typename Work>
bool asStageUser(const Identity& id, Work work)
{
    if (!id.drop)
        return work();
    pid_t pid = fork();
    if (pid == 0) {
        bool ok = setgroups(1, &id.gid) == 0 && setgid(id.gid) == 0 && setuid(id.uid) == 0 && work();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A temporary folder for the chain's stages, with a name no one else knows, made by the stages'
// own user with mode 0700: no other local user can put anything there.
bool makeTempDir(Chain& chain, const Identity& id)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string path = std::string(papplGetTempDir()) + "/korvi-job-";
        for (int i = 0; i < 12; ++i)
            path += letters[papplGetRand() % (sizeof letters - 1)];
        if (asStageUser(id, [&] { return mkdir(path.c_str(), 0700) == 0; })) {
            chain.tempDir = path;
            chain.tempDirUser = id.drop;
            return true;
        }
    }
    chain.failure = "the job's stages cannot make a folder in " + std::string(papplGetTempDir()) +
                    (id.drop ? " (it must be open to lp, as /tmp is)" : "");
    return false;
}

void removeTempDir(Chain& chain)
{
    if (!chain.tempDir.empty()) {
        Identity id;
        std::string failure;
        if (!chain.tempDirUser || stageIdentity(id, failure))
            asStageUser(id, [&] { return removeTree(chain.tempDir); });
    }
    chain.tempDir.clear();
}

}  // namespace

bool startChain(Chain& chain, const std::vector<std::string>& programs, const ChainJob& job, int inputFd)
{
    Identity id;
    if (!stageIdentity(id, chain.failure) || !makeTempDir(chain, id))
        return false;
    std::vector<std::string> env = stageEnvironment(job, chain.tempDir);
    std::vector<char*> envp = pointers(env);
    int errPipe[2], inPipe[2] = {-1, -1};
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        chain.failure = std::string("no pipe: ") + strerror(errno);
        removeTempDir(chain);
        return false;
    }
    if (inputFd < 0 && pipe2(inPipe, O_CLOEXEC) != 0) {
        chain.failure = std::string("no pipe: ") + strerror(errno);
        close(errPipe[0]);
        close(errPipe[1]);
        removeTempDir(chain);
        return false;
    }
    int in = inputFd >= 0 ? inputFd : inPipe[0];
    pid_t group = 0;
    const pid_t server = getpid();
    bool started = true;
    for (size_t i = 0; i < programs.size() && started; ++i) {
        int link[2];
        if (pipe2(link, O_CLOEXEC) != 0) {
            chain.failure = std::string("no pipe: ") + strerror(errno);
            started = false;
            break;
        }
        std::vector<std::string> args = {programs[i], job.id, job.user, job.title, std::to_string(job.copies),
                                         job.options};
        std::vector<char*> argv = pointers(args);
        pid_t pid = fork();
        if (pid == 0)
            execStage(argv.data(), envp.data(), in, link[1], errPipe[1], group, id, server);
        if (pid < 0) {
            chain.failure = "cannot start " + programs[i] + ": " + strerror(errno);
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
        signalChain(group, SIGKILL);
        for (pid_t pid : chain.pids)
            waitpid(pid, nullptr, 0);
        chain.pids.clear();
        chain.names.clear();
        closeFd(chain.output);
        closeFd(chain.errors);
        closeFd(chain.input);
        removeTempDir(chain);
    }
    return started;
}

bool runProgram(const std::vector<std::string>& args, int inputFd, int seconds, std::string& errors)
{
    Identity id;
    Chain chain;
    if (args.empty() || !stageIdentity(id, chain.failure) || !makeTempDir(chain, id))
        return false;
    ChainJob job;
    std::vector<std::string> env = stageEnvironment(job, chain.tempDir), argsCopy = args;
    std::vector<char*> envp = pointers(env), argv = pointers(argsCopy);
    int errPipe[2];
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_t pid = -1;
    const pid_t server = getpid();
    if (null >= 0 && pipe2(errPipe, O_CLOEXEC) == 0) {
        pid = fork();
        if (pid == 0)
            execStage(argv.data(), envp.data(), inputFd, null, errPipe[1], 0, id, server);
        if (pid > 0)
            setpgid(pid, pid);  // also here, so the group holds before any signal is sent
        close(errPipe[1]);
        const double deadline = now() + seconds;
        char buffer[4096];
        for (bool open = pid > 0; open;) {
            pollfd p{errPipe[0], POLLIN, 0};
            int left = int((deadline - now()) * 1000), ready = left > 0 ? poll(&p, 1, left) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;  // too slow (stopped below), or no poll
            ssize_t got = read(errPipe[0], buffer, sizeof buffer);
            open = got > 0 || (got < 0 && errno == EINTR);
            if (got > 0 && errors.size() < 65536)
                errors.append(buffer, size_t(got));
        }
        close(errPipe[0]);
    }
    if (null >= 0)
        close(null);
    int status = 0;
    if (pid > 0) {
        signalChain(pid, SIGKILL);  // its own process group: anything it left running goes too
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    removeTempDir(chain);
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void setStallTimeout(int seconds)
{
    gStallSeconds = seconds;
}

namespace {

// The chain's output on its way to the printer: held back until the first page begins, pages
// counted as they pass.
struct Sender {
    pappl_device_t* device = nullptr;
    PageCounter pages;
    std::string held;
    bool failed = false;

    // Returns the pages the bytes ended.
    unsigned send(const char* bytes, size_t size)
    {
        unsigned ended = countPages(pages, reinterpret_cast<const uint8_t*>(bytes), size);
        if (pages.started == 0 && held.size() + size <= kMaxHeldBytes) {
            held.append(bytes, size);
            return ended;
        }
        if (!held.empty()) {
            failed = failed || papplDeviceWrite(device, held.data(), held.size()) < 0;
            held.clear();
        }
        failed = failed || papplDeviceWrite(device, bytes, size) < 0;
        return ended;
    }
};

// Why a chain is being stopped.
enum class Stop { kNo, kCancel, kStall, kDevice };

}  // namespace

bool runChain(Chain& chain, pappl_job_t* job, pappl_device_t* device)
{
    const pid_t group = chain.pids.empty() ? 0 : chain.pids.front();
    Sender sender;
    sender.device = device;
    std::string errorText, lastError;
    Stop stop = Stop::kNo;
    double stoppedAt = 0, lastOutput = now();
    char buffer[65536];
    while (chain.output >= 0 || chain.errors >= 0) {
        if (stop == Stop::kNo) {
            if (papplJobIsCanceled(job))
                stop = Stop::kCancel;
            else if (gStallSeconds > 0 && chain.output >= 0 && now() - lastOutput > gStallSeconds)
                stop = Stop::kStall;
            if (stop != Stop::kNo) {
                stoppedAt = now();
                signalChain(group, SIGTERM);  // the filter finishes its line and closes the page
            }
        } else if (now() - stoppedAt > kCancelGraceSeconds) {
            signalChain(group, SIGKILL);
        }
        pollfd fds[2] = {{chain.output, POLLIN, 0}, {chain.errors, POLLIN, 0}};
        if (poll(fds, 2, 100) <= 0)
            continue;
        if (fds[0].revents) {
            ssize_t n = read(chain.output, buffer, sizeof buffer);
            if (n <= 0) {
                closeFd(chain.output);
            } else if (!sender.failed) {
                unsigned ended = sender.send(buffer, size_t(n));
                if (sender.failed && stop == Stop::kNo) {
                    stop = Stop::kDevice;
                    stoppedAt = now();
                    signalChain(group, SIGTERM);
                }
                if (chain.countPages && ended)
                    papplJobSetImpressionsCompleted(job, int(ended * sender.pages.copies));
            }
            lastOutput = now();  // after the write: a printer slow to take bytes is no stall
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
    if (sender.pages.started == 0 && !sender.held.empty())
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "No page began; nothing was sent to the printer.");
    papplDeviceFlush(device);
    bool allWell = true, convertersWell = true;
    for (size_t i = 0; i < chain.pids.size(); ++i) {
        int status = 0;
        waitpid(chain.pids[i], &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            continue;
        convertersWell = convertersWell && i + 1 == chain.pids.size();
        const std::string& name = chain.names[i];
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s ended with %s %d", name.c_str(),
                    WIFEXITED(status) ? "status" : "signal", WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
        if (allWell && stop == Stop::kNo) {
            if (lastError.empty())
                papplJobSetMessage(job, "The document could not be printed (%s failed).", name.c_str());
            else
                papplJobSetMessage(job, "The document could not be printed: %s", lastError.c_str());
        }
        allWell = false;
    }
    removeTempDir(chain);
    chain.pids.clear();
    chain.names.clear();
    if (stop == Stop::kNo && sender.pages.started == 0 && convertersWell && !chain.noPageMessage.empty()) {
        papplJobSetMessage(job, "%s", chain.noPageMessage.c_str());
        return true;
    }
    if (allWell && stop == Stop::kNo && sender.pages.started == 0)
        papplJobSetMessage(job, "The document has no page to print.");
    if (stop == Stop::kDevice)
        papplJobSetMessage(job, "The printer could not be written to.");
    if (stop == Stop::kStall) {
        papplJobSetMessage(job, "The document sent nothing to the printer for %d seconds and was stopped.",
                           gStallSeconds);
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Stalled: nothing sent for %d seconds.", gStallSeconds);
    }
    bool printed = allWell && stop == Stop::kNo && sender.pages.started > 0;
    if (printed && papplJobGetMessage(job))  // what was said while it printed is over
        papplJobSetMessage(job, "Job completed.");
    return stop == Stop::kCancel || printed;
}
