// The test page, written as PostScript for the printer's default paper.
#include "testpage.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver.h"
#include "papers.h"
#include "paths.h"

namespace {

// A PostScript string literal of text.
std::string psString(const char* text)
{
    std::string s = "(";
    for (const char* c = text; *c; ++c) {
        if (*c == '(' || *c == ')' || *c == '\\')
            s += '\\';
        s += *c;
    }
    return s + ")";
}

const korvi::Paper& defaultPaper(pappl_printer_t* printer)
{
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    for (const korvi::Paper& p : korvi::kPapers)
        if (strcmp(data.media_default.size_name, p.pwgName) == 0)
            return p;
    return korvi::kPapers[korvi::kPaperA4];
}

void writePage(FILE* out, pappl_printer_t* printer, const korvi::Paper& p)
{
    const double left = p.left / 100.0, bottom = p.bottom / 100.0;
    const double right = p.widthPt - p.right / 100.0, top = p.lengthPt - p.top / 100.0;
    fprintf(out, "%%!PS-Adobe-3.0\n%%%%Pages: 1\n%%%%EndComments\n");
    fprintf(out, "<< /PageSize [%u %u] >> setpagedevice\n", p.widthPt, p.lengthPt);
    // The printable area's border, its outer edge on the area's edge.
    fprintf(out, "1 setlinewidth %.2f %.2f %.2f %.2f rectstroke\n", left + 0.5, bottom + 0.5, right - left - 1,
            top - bottom - 1);
    fprintf(out, "/Helvetica-Bold 20 selectfont %.2f %.2f moveto %s show\n", left + 24, top - 48,
            psString(kKorviDriverDescription).c_str());
    std::string about = std::string("Printer ") + papplPrinterGetName(printer) + ", korvi-printer-app " + KORVI_VERSION;
    fprintf(out, "/Helvetica 12 selectfont %.2f %.2f moveto %s show\n", left + 24, top - 72, psString(about.c_str()).c_str());
    std::string paper = std::string("Paper ") + p.label + ", " + std::to_string(p.widthPt) + " x " +
                        std::to_string(p.lengthPt) + " points; the border is the printable area";
    fprintf(out, "%.2f %.2f moveto %s show\n", left + 24, top - 90, psString(paper.c_str()).c_str());
    // A grey ramp, white to black in eleven steps, each step labelled.
    fprintf(out, "0 1 10 { /k exch def 1 k 10 div sub setgray %.2f k 40 mul add %.2f 36 60 rectfill\n"
                 "  0 setgray %.2f k 40 mul add %.2f moveto k 10 mul 3 string cvs show } for\n",
            left + 24, top - 180, left + 24, top - 196);
    fprintf(out, "0.5 setlinewidth %.2f %.2f 436 60 rectstroke\n", left + 24, top - 180);  // white shows too
    fprintf(out, "/Times-Roman 14 selectfont %.2f %.2f moveto %s show\n", left + 24, top - 230,
            psString("The quick brown fox jumps over the lazy dog. 0123456789").c_str());
    fprintf(out, "showpage\n%%%%EOF\n");
}

}  // namespace

const char* korviTestPage(pappl_printer_t* printer, char* buffer, size_t bufsize)
{
    static std::atomic<unsigned> count{0};
    snprintf(buffer, bufsize, "%s/testpage-%d-%u.ps", spoolDirectory().c_str(), papplPrinterGetID(printer), count++);
    FILE* out = fopen(buffer, "wx");
    if (!out)
        return nullptr;
    writePage(out, printer, defaultPaper(printer));
    if (fclose(out) != 0) {
        unlink(buffer);
        return nullptr;
    }
    return buffer;
}
