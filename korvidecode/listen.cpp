// The virtual printer. One connection is one job, and one job is served at a time, as such
// printers do: others wait in the listen backlog. The printer closes its side once the client has
// finished sending (CUPS's socket backend waits for that). Bad input never stops it: every job
// gets its files and its line, whatever it held, and the next job is served.
#include "listen.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "listing.h"
#include "pageimage.h"
#include "stream.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void onStop(int)
{
    stopRequested = 1;
}

// No SA_RESTART: a signal wakes the printer from poll at once.
void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int openListener(const ListenOptions& o)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(o.port);
    if (inet_pton(AF_INET, o.address.c_str(), &addr.sin_addr) != 1)
        return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

// What became of a job's connection.
struct Received {
    uint64_t bytes = 0;        // all bytes the client sent
    std::vector<uint8_t> kept; // the first maxJobBytes of them
    std::string cut;           // why the job did not end normally, or ""
};

Received receiveJob(int client, FILE* raw, const ListenOptions& o)
{
    Received r;
    std::vector<uint8_t> chunk(65536);
    int idleMs = 0;
    while (!stopRequested) {
        pollfd p{client, POLLIN, 0};
        int ready = poll(&p, 1, 100);
        if (ready == 0) {
            if ((idleMs += 100) >= o.idleSeconds * 1000) {
                r.cut = "incomplete: nothing received for " + std::to_string(o.idleSeconds) + " s";
                return r;
            }
            continue;
        }
        if (ready < 0)
            continue;  // a signal: the loop condition decides
        ssize_t n = read(client, chunk.data(), chunk.size());
        if (n == 0)
            return r;  // the client has finished sending
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            r.cut = "incomplete: the connection broke (" + std::string(strerror(errno)) + ")";
            return r;
        }
        idleMs = 0;
        uint64_t room = r.bytes < o.maxJobBytes ? o.maxJobBytes - r.bytes : 0;
        size_t keep = size_t(std::min<uint64_t>(room, uint64_t(n)));
        r.kept.insert(r.kept.end(), chunk.begin(), chunk.begin() + long(keep));
        if (keep > 0)
            fwrite(chunk.data(), 1, keep, raw);
        r.bytes += uint64_t(n);
    }
    r.cut = "incomplete: the virtual printer was stopped during the job";
    return r;
}

std::string jobPath(const ListenOptions& o, int job, const std::string& suffix)
{
    return o.outputDir + "/job-" + std::to_string(job) + suffix;
}

// The output folder is made if missing; a printer that cannot keep jobs must not take any, so
// a folder that cannot be made or written stops it before it listens. Returns what is wrong, or "".
std::string prepareOutputDir(const std::string& dir)
{
    for (size_t at = 0; at != std::string::npos;) {
        at = dir.find('/', at + 1);
        std::string path = dir.substr(0, at);
        if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
            return strerror(errno);
    }
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "not a folder";
    return access(dir.c_str(), W_OK | X_OK) == 0 ? "" : strerror(errno);
}

// Jobs are numbered on from the highest job number of any file already in the folder, so a
// restart overwrites nothing and no earlier page image is taken for a new job's.
int firstFreeJob(const std::string& dir)
{
    int highest = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            int job = 0, used = 0;
            if (sscanf(e->d_name, "job-%d%n", &job, &used) == 1 && (e->d_name[used] == '.' || e->d_name[used] == '-'))
                highest = std::max(highest, job);
        }
        closedir(d);
    }
    return highest + 1;
}

// Opens job N's stream file, never one that exists: another printer on the same folder may have
// taken the number, and then the next free one is used. Sets job to the number taken.
FILE* createJobFile(const ListenOptions& o, int& job)
{
    for (;; ++job) {
        int fd = open(jobPath(o, job, ".prn").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fdopen(fd, "wb");
        if (errno != EEXIST)
            return nullptr;
    }
}

// Files and the one line for a received job.
void recordJob(const ListenOptions& o, int job, Received& r)
{
    Stream stream;
    bool wellFormed = parseStream(r.kept.data(), r.kept.size(), stream);
    if (FILE* txt = fopen(jobPath(o, job, ".txt").c_str(), "w")) {
        printListing(stream, jobPath(o, job, ".prn"), false, txt);
        fclose(txt);
    }
    const StreamSettings none;
    const StreamSettings& s = stream.settings ? *stream.settings : none;
    for (size_t i = 0; i < stream.pages.size(); ++i) {
        PageImage image;
        if (renderPage(stream.pages[i], s.paperWidth, s.paperHeight, image))
            writePng(image, jobPath(o, job, "-" + std::to_string(i + 1) + ".png"));
    }
    std::string verdict = r.cut;
    if (r.bytes > o.maxJobBytes)
        verdict = "oversize: over " + std::to_string(o.maxJobBytes) + " bytes, the rest discarded";
    if (r.bytes == 0 && verdict.empty())
        verdict = "incomplete: no data";
    else if (!wellFormed && r.bytes > 0)
        verdict += std::string(verdict.empty() ? "" : "; ") + "malformed at offset " +
                   std::to_string(stream.fault->offset) + ": " + stream.fault->what;
    printf("job %d: %llu bytes, %zu pages, %s\n", job, static_cast<unsigned long long>(r.bytes), stream.pages.size(),
           verdict.empty() ? "well-formed" : verdict.c_str());
    fflush(stdout);
}

void serveOne(int client, const ListenOptions& o, int& job)
{
    FILE* raw = createJobFile(o, job);
    if (!raw) {
        fprintf(stderr, "korvidecode: cannot write %s\n", jobPath(o, job, ".prn").c_str());
        close(client);
        return;
    }
    Received r = receiveJob(client, raw, o);
    fclose(raw);
    close(client);
    recordJob(o, job, r);
    ++job;
}

}  // namespace

bool parseListenAddress(const std::string& text, ListenOptions& options)
{
    size_t colon = text.rfind(':');
    std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
    if (colon != std::string::npos)
        options.address = text.substr(0, colon);
    char* end = nullptr;
    long value = strtol(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || value < 1 || value > 65535)
        return false;
    options.port = uint16_t(value);
    return true;
}

int serveJobs(const ListenOptions& o)
{
    catchStopSignals();
    std::string unusable = prepareOutputDir(o.outputDir);
    if (!unusable.empty()) {
        fprintf(stderr, "korvidecode: cannot keep jobs in %s: %s\n", o.outputDir.c_str(), unusable.c_str());
        return 2;
    }
    int listener = openListener(o);
    if (listener < 0) {
        fprintf(stderr, "korvidecode: cannot listen on %s:%u\n", o.address.c_str(), o.port);
        return 2;
    }
    printf("listening on %s:%u, jobs to %s\n", o.address.c_str(), o.port, o.outputDir.c_str());
    fflush(stdout);
    for (int job = firstFreeJob(o.outputDir); !stopRequested;) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            serveOne(client, o, job);
    }
    close(listener);
    printf("stopped\n");
    return 0;
}
