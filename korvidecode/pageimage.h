// Page images of a parsed stream: the paper as printed, one bit per dot, written as PBM or PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream.h"

struct PageImage {
    uint32_t width = 0;           // dots
    uint32_t height = 0;          // rows
    size_t rowBytes = 0;
    std::vector<uint8_t> black;   // rows of packed bits, most significant first, 1 = black
    bool largerThanPaper = false; // the page's lines reach beyond the paper
};

// Images larger than this are not drawn (a stream can claim rows and widths no paper has).
constexpr uint64_t kMaxImageBytes = uint64_t(1) << 30;

// Draws a page on paper of the given size in dots; the image grows to show lines beyond the
// paper whole. Returns false when the image would exceed kMaxImageBytes.
bool renderPage(const StreamPage& page, uint32_t paperWidth, uint32_t paperHeight, PageImage& image);

// Writes the image as a binary PBM (P4) or a 1-bit greyscale PNG; false on a write error.
bool writePbm(const PageImage& image, const std::string& path);
bool writePng(const PageImage& image, const std::string& path);
