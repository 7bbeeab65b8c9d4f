// Test toolkit: temporary files that remove themselves, and whole-file reads and writes.
#include "support/files.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

TempFile::TempFile(const std::string& suffix)
{
    const char* dir = getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/korvi-test-XXXXXX" + suffix;
    int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        throw std::runtime_error("mkstemps failed");
    ::close(fd);
    path_ = pattern;
}

TempFile::~TempFile()
{
    unlink(path_.c_str());
}

std::vector<uint8_t> TempFile::read() const
{
    return readFile(path_);
}

void TempFile::write(const std::vector<uint8_t>& bytes) const
{
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TempFile::write(const std::string& text) const
{
    write(std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
