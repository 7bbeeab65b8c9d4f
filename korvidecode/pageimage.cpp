// Page images of a parsed stream.
#include "pageimage.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

bool renderPage(const StreamPage& page, uint32_t paperWidth, uint32_t paperHeight, PageImage& image)
{
    uint64_t width = std::max<uint64_t>(paperWidth, page.inkWidth);
    uint64_t height = std::max<uint64_t>(paperHeight, page.rows);
    uint64_t rowBytes = (width + 7) / 8;
    if (rowBytes * height > kMaxImageBytes || width > UINT32_MAX)
        return false;
    image.width = uint32_t(width);
    image.height = uint32_t(height);
    image.rowBytes = size_t(rowBytes);
    image.largerThanPaper = width > paperWidth || height > paperHeight;
    image.black.assign(size_t(rowBytes * height), 0x00);
    for (const StreamLine& line : page.lines) {
        uint8_t* row = image.black.data() + size_t(line.row) * image.rowBytes;
        size_t n = std::min(line.bytes.size(), image.rowBytes);  // white bytes may reach past it
        for (size_t i = 0; i < n; ++i)
            row[i] = uint8_t(~line.bytes[i]);  // on the wire a set bit is white
    }
    // Bits past the paper's right edge in the last byte stay white.
    if (width % 8 != 0)
        for (uint32_t y = 0; y < image.height; ++y)
            image.black[size_t(y) * image.rowBytes + image.rowBytes - 1] &= uint8_t(0xFF << (8 - width % 8));
    return true;
}

bool writePbm(const PageImage& image, const std::string& path)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    fprintf(f, "P4\n# Korvi printer stream page\n%u %u\n", image.width, image.height);
    fwrite(image.black.data(), 1, image.black.size(), f);
    bool ok = !ferror(f);
    return fclose(f) == 0 && ok;
}

bool writePng(const PageImage& image, const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path.c_str(), "wb"), fclose);
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f.get());
    png_set_IHDR(png, info, image.width, image.height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 23622, 23622, PNG_RESOLUTION_METER);  // 600 dpi
    png_write_info(png, info);
    png_set_invert_mono(png);  // PNG grey: 1 is white
    for (uint32_t y = 0; y < image.height; ++y)
        png_write_row(png, const_cast<png_bytep>(image.black.data() + size_t(y) * image.rowBytes));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return !ferror(f.get());
}
