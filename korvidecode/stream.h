// Strict parser of a Korvi printer stream: init command, settings block, then pages of blank-line
// commands and line frames. What it reads is kept as a model for listings, images and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct StreamSettings {
    uint8_t paperWeightByte = 0;  // 0x10 + paper weight
    uint8_t densityByte = 0;      // 0x10 + print density
    uint8_t renderTypeByte = 0;
    uint16_t paperWidth = 0;      // dots
    uint16_t paperHeight = 0;     // dots
    uint16_t copies = 0;
    uint16_t crc = 0;             // as sent
    uint16_t expectedCrc = 0;     // as computed over the copy-count command
};

// One raster line the printer is given: its row on the page and its decoded bytes (set bit
// white, without the white right-hand end that was not sent).
struct StreamLine {
    uint32_t row;
    std::vector<uint8_t> bytes;
};

struct StreamPage {
    size_t offset = 0;          // of its start command
    uint32_t rows = 0;          // lines fed: blank lines and frames
    uint32_t blankLines = 0;
    uint32_t frames = 0;
    size_t payloadBytes = 0;
    size_t streamBytes = 0;     // all bytes of the page, commands included
    size_t inkWidth = 0;        // dots from the left edge to the rightmost black dot
    std::vector<StreamLine> lines;
    bool ended = false;         // its end command was read
};

// A command as read, for verbose listings.
struct StreamCommand {
    size_t offset;
    size_t size;
    std::string text;
};

struct StreamFault {
    size_t offset;
    std::string what;
};

struct Stream {
    size_t size = 0;
    bool hasInit = false;
    std::optional<StreamSettings> settings;
    std::vector<StreamPage> pages;
    std::vector<StreamCommand> commands;
    std::optional<StreamFault> fault;  // the first thing that was not as expected
};

struct ParseOptions {
    bool keepCommands = false;  // fill Stream::commands (a verbose listing)
    bool keepLines = true;      // fill StreamPage::lines (page images)
};

// Parses a whole stream. Parsing stops at the first fault; what was read up to it is kept.
// Returns true when the stream is well-formed.
bool parseStream(const uint8_t* data, size_t size, Stream& stream, ParseOptions options = {});
