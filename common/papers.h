// The paper sizes the printer takes, in one table: the driver's PPD (checked against it by the
// tests), the filter's paper-size figures, the Printer Application's media and the stream
// inspector's paper names all come from here.
#pragma once

namespace korvi {

struct Paper {
    const char* ppdName;    // PageSize keyword in the PPD
    const char* pwgName;    // IPP media name
    const char* label;      // what the stream inspector calls it
    unsigned widthPt;       // paper size in points, portrait
    unsigned lengthPt;
    unsigned widthDots;     // the printer's own figures for the paper at 600 dpi, portrait
    unsigned heightDots;
    // The printable area's margins in hundredths of a point, as the PPD's ImageableArea gives them:
    // ghostscript renders just this area, and the filter's margin rule places that raster where
    // the document has it (kPrintableLeftDots and kPrintableTopDots from the paper's corner).
    unsigned left, bottom, right, top;
};

// Where the printable area starts on every size, in 600-dpi dots from the paper's top left
// corner. Its width is the paper's less 2 x left less 8 dots, its height the paper's less
// 8/3 x top less 4 lines: the filter centres the raster across the paper in whole bytes and puts
// three eighths of the spare height above it, so these land it at (left, top) with a few dots
// to spare either way.
inline constexpr unsigned kPrintableLeftDots = 112;
inline constexpr unsigned kPrintableTopDots = 102;

inline constexpr Paper kPapers[] = {
    {"A4", "iso_a4_210x297mm", "A4", 595, 842, 4960, 7016, 1344, 2096, 1420, 1224},
    {"A5", "iso_a5_148x210mm", "A5", 420, 595, 3512, 4958, 1344, 2092, 1296, 1224},
    {"ISOB5", "iso_b5_176x250mm", "B5", 498, 708, 4176, 5908, 1344, 1992, 1128, 1224},
    {"Letter", "na_letter_8.5x11in", "Letter", 612, 792, 5100, 6600, 1344, 2088, 1440, 1224},
    {"Legal", "na_legal_8.5x14in", "Legal", 612, 1008, 5100, 8400, 1344, 2088, 1440, 1224},
};
inline constexpr unsigned kPaperCount = sizeof kPapers / sizeof kPapers[0];

// Indexes into kPapers, for code that needs one size by name.
enum PaperIndex { kPaperA4, kPaperA5, kPaperB5, kPaperLetter, kPaperLegal };

// The widest margin of any size on each axis, in hundredths of a millimetre rounded up: margins
// that hold for every paper (IPP gives one for left and right, one for top and bottom).
constexpr unsigned hundredthsMm(unsigned hundredthsPt)
{
    return (hundredthsPt * 254 + 719) / 720;
}
constexpr unsigned widestMargin(bool acrossThePage)
{
    unsigned widest = 0;
    for (const Paper& p : kPapers) {
        unsigned a = acrossThePage ? p.left : p.top, b = acrossThePage ? p.right : p.bottom;
        widest = a > widest ? a : widest;
        widest = b > widest ? b : widest;
    }
    return hundredthsMm(widest);
}

}  // namespace korvi
