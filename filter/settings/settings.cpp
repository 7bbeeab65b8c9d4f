// Job settings: PPD and job options, copies and paper size, and the settings block.
#include "settings/settings.h"

#include <cstdio>
#include <cstdlib>

#include "output/commands.h"
#include "output/crc16.h"
#include "output/output.h"
#include "settings/papersize.h"

// The PPD API is deprecated upstream, but it is what CUPS drivers read their options with.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

const int32_t gPrintDensityDefVar = 2;
const int32_t gPaperWeightDefVar = 1;

int32_t choiceValue(const ppd_choice_t* choice)
{
    return static_cast<int32_t>(strtol(choice->choice, nullptr, 10));
}

// A setting byte is 0x10 plus the value, kept to 8 bits (computed unsigned: no overflow).
unsigned char settingByte(int32_t value)
{
    return static_cast<unsigned char>((static_cast<uint32_t>(value) + 0x10) & 0xFF);
}

void markJobOptions(ppd_file_t* ppd, const char* options)
{
    cups_option_t* parsed = nullptr;
    int count = cupsParseOptions(options, 0, &parsed);
    if (count != 0 && parsed)
        cupsMarkOptions(ppd, count, parsed);
    cupsFreeOptions(count, parsed);
}

// Writes the low 16 bits of value at template[at] and template[at + 1], little-endian.
void put16(unsigned char* command, int at, uint32_t value)
{
    command[at] = static_cast<unsigned char>(value & 0xFF);
    command[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

// Copies: the low 16 bits of NumCopies; 0 or a negative 16-bit count means one copy.
void setCopies(unsigned numCopies)
{
    uint16_t count = static_cast<uint16_t>(numCopies & 0xFFFF);
    if (static_cast<int16_t>(count) <= 0)
        count = 1;
    put16(szPrintNumCopiesCmd, kCopiesAt, count);
    put16(szPrintNumCopiesCmd, kCopiesCrcAt, cyg_crc16(szPrintNumCopiesCmd, kCopiesCrcAt));
}

void setPaperSize(PaperDots paper)
{
    put16(szPaperSizeSelfdefCmd, kPaperWidthAt, paper.width);
    put16(szPaperSizeSelfdefCmd, kPaperHeightAt, paper.height);
}

// Numeric value of the chosen choice of a PPD option (marked, else the PPD's default); -1 when
// the PPD has no such option or no usable choice. A non-numeric choice keyword gives 0.
int32_t getSettingsChoice(const char* keyword, ppd_file_t* ppd)
{
    if (ppd_choice_t* marked = ppdFindMarkedChoice(ppd, keyword))
        return choiceValue(marked);
    ppd_option_t* option = ppdFindOption(ppd, keyword);
    if (!option)
        return -1;
    ppd_choice_t* byDefault = ppdFindChoice(option, option->defchoice);
    return byDefault ? choiceValue(byDefault) : -1;
}

}  // namespace

void parsePrinterSettings(ppd_file_t* ppd, const char* options, const cups_page_header2_t& header)
{
    ppdMarkDefaults(ppd);
    markJobOptions(ppd, options);

    int32_t density = getSettingsChoice("PrintDensity", ppd);
    szDarknessCmd[kDarknessAt] = settingByte(density == -1 ? gPrintDensityDefVar : density);
    int32_t weight = getSettingsChoice("PaperWeight", ppd);
    szPaperWeightCmd[kPaperWeightAt] = settingByte(weight == -1 ? gPaperWeightDefVar : weight);

    setCopies(header.NumCopies);
    PaperDots paper = paperSizeInDots(header);
    setPaperSize(paper);
    setPageMargins(header, paper);
}

void sendSettingsToPrinter()
{
    putCharArray(szPaperWeightCmd, sizeof szPaperWeightCmd);
    putCharArray(szDarknessCmd, sizeof szDarknessCmd);
    putCharArray(szRenderTypeCmd, sizeof szRenderTypeCmd);
    putCharArray(szInputBinCmd, sizeof szInputBinCmd);
    putCharArray(szPaperSizeSelfdefCmd, sizeof szPaperSizeSelfdefCmd);
    putCharArray(szResolutionCmd, sizeof szResolutionCmd);
    putCharArray(szPrintNumCopiesCmd, sizeof szPrintNumCopiesCmd);
    fflush(stdout);
}
