// Human-readable listing of a parsed printer stream.
#include "listing.h"

#include "papers.h"

namespace {

uint32_t pointsToDots(unsigned points)
{
    return uint32_t(points * 600 / 72);
}

double mm(uint32_t dots)
{
    return dots * 25.4 / 600.0;
}

void printSettings(const StreamSettings& s, FILE* out)
{
    std::string paper = paperName(s.paperWidth, s.paperHeight);
    fprintf(out, "Settings\n");
    fprintf(out, "  paper weight   %d (byte 0x%02X)\n", s.paperWeightByte - 0x10, s.paperWeightByte);
    fprintf(out, "  print density  %d (byte 0x%02X)\n", s.densityByte - 0x10, s.densityByte);
    fprintf(out, "  render type    byte 0x%02X\n", s.renderTypeByte);
    fprintf(out, "  paper size     %u x %u dots, %.1f x %.1f mm%s%s%s\n", s.paperWidth, s.paperHeight,
            mm(s.paperWidth), mm(s.paperHeight), paper.empty() ? "" : " (", paper.c_str(), paper.empty() ? "" : ")");
    fprintf(out, "  resolution     600 dpi\n");
    fprintf(out, "  copies         %u (CRC 0x%04X, %s)\n", s.copies, s.crc,
            s.crc == s.expectedCrc ? "correct" : "WRONG");
}

void printPage(const StreamPage& p, size_t number, const StreamSettings* s, FILE* out)
{
    fprintf(out, "Page %zu at offset %zu%s\n", number, p.offset, p.ended ? "" : " (not ended)");
    fprintf(out, "  lines fed      %u (%u blank-line commands, %u frames)\n", p.rows, p.blankLines, p.frames);
    fprintf(out, "  payload bytes  %zu, page bytes %zu\n", p.payloadBytes, p.streamBytes);
    if (s && p.streamBytes > 0) {
        double raster = double((s->paperWidth + 7) / 8) * s->paperHeight;
        fprintf(out, "  compression    %.0f bytes of raster for the paper in %zu bytes (%.1f:1)\n", raster,
                p.streamBytes, raster / double(p.streamBytes));
    }
    if (s && (p.inkWidth > s->paperWidth || p.rows > s->paperHeight))
        fprintf(out, "  LARGER THAN THE PAPER: black up to %zu dots from the left edge, %u rows\n", p.inkWidth, p.rows);
}

}  // namespace

std::string paperName(uint32_t widthDots, uint32_t heightDots)
{
    // A paper at the printer's own figures; landscape, those turned or the plain conversion of
    // the size in points turned (the figures differ by a few dots for some sizes).
    for (const korvi::Paper& p : korvi::kPapers) {
        if (widthDots == p.widthDots && heightDots == p.heightDots)
            return p.label;
        if ((widthDots == p.heightDots && heightDots == p.widthDots) ||
            (widthDots == pointsToDots(p.lengthPt) && heightDots == pointsToDots(p.widthPt)))
            return std::string(p.label) + " landscape";
    }
    return "";
}

void printListing(const Stream& stream, const std::string& source, bool verbose, FILE* out)
{
    fprintf(out, "Korvi printer stream %s, %zu bytes\n", source.c_str(), stream.size);
    if (verbose)
        for (const StreamCommand& c : stream.commands)
            fprintf(out, "  %08zx  %6zu  %s\n", c.offset, c.size, c.text.c_str());
    if (stream.hasInit)
        fprintf(out, "Job init command\n");
    if (stream.settings)
        printSettings(*stream.settings, out);
    for (size_t i = 0; i < stream.pages.size(); ++i)
        printPage(stream.pages[i], i + 1, stream.settings ? &*stream.settings : nullptr, out);
    fprintf(out, "Pages: %zu\n", stream.pages.size());
    if (stream.fault)
        fprintf(out, "ERROR at offset %zu (0x%zx): %s\n", stream.fault->offset, stream.fault->offset,
                stream.fault->what.c_str());
}
