// Test toolkit: run the filter (or any program) as the CUPS scheduler would, and capture what
// it writes to standard output; capture standard output of in-process calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;            // exit status, or 128 + signal number when killed by a signal
    std::vector<uint8_t> out;   // standard output (empty when it went elsewhere)
    long maxRssKb = 0;          // peak resident memory of the process
};

struct ProcessCall {
    std::vector<std::string> argv;      // argv[0] is the program path
    std::optional<std::string> ppd;     // value of PPD; unset when empty
    std::string stdinPath = "/dev/null";
    std::string stdoutPath;             // empty: captured into ProcessResult::out
    bool closeStdout = false;           // start with standard output closed
    size_t hangUpAfter = 0;             // > 0: stdout is a pipe whose reader leaves after this many bytes
};

ProcessResult runProcess(const ProcessCall& call);

// A program started with its standard input a pipe, for tests that feed it over time.
struct PipedProcess {
    int pid = -1;
    int stdinFd = -1;  // the pipe's write end; the test closes it
};

// Starts call (its stdinPath is ignored; standard output goes to call.stdoutPath).
PipedProcess startPiped(const ProcessCall& call);

// Waits up to `seconds` for the process to end. Returns its status as ProcessResult does, or -1
// when it had to be killed because it did not end in time.
int waitWithin(const PipedProcess& p, double seconds);

// Path of the built filter.
std::string filterPath();

// The scheduler's six arguments: program, job id, user, title, copies, options.
std::vector<std::string> filterArgs(const std::string& options = "");

// Runs the filter on a raster stream given on standard input.
ProcessResult runFilter(const std::vector<uint8_t>& raster, const std::string& ppdPath,
                        const std::string& options = "");

// Runs fn with standard output sent to a temporary file; returns what fn wrote.
std::vector<uint8_t> captureStdout(const std::function<void()>& fn);
