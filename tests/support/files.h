// Test toolkit: temporary files that remove themselves, and whole-file reads and writes.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <string>
#include <vector>

class TempFile {
public:
    explicit TempFile(const std::string& suffix = "");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    std::vector<uint8_t> read() const;
    void write(const std::vector<uint8_t>& bytes) const;
    void write(const std::string& text) const;

private:
    std::string path_;
};

std::vector<uint8_t> readFile(const std::string& path);
