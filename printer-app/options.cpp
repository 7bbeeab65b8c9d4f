// IPP job attributes to the PPD's option values.
#include "options.h"

#include <algorithm>
#include <cstring>

const KorviMedia kKorviMedia[] = {
    {"iso_a4_210x297mm", "A4", 595, 842},        {"iso_a5_148x210mm", "A5", 420, 595},
    {"iso_b5_176x250mm", "ISOB5", 498, 708},     {"na_letter_8.5x11in", "Letter", 612, 792},
    {"na_legal_8.5x14in", "Legal", 612, 1008},
};
const size_t kKorviMediaCount = sizeof kKorviMedia / sizeof kKorviMedia[0];

const char* const kKorviMediaTypes[] = {"stationery-lightweight", "stationery", "stationery-heavyweight",
                                        "cardstock"};
const size_t kKorviMediaTypeCount = sizeof kKorviMediaTypes / sizeof kKorviMediaTypes[0];

const char* ppdPageSize(const char* pwgName)
{
    for (const KorviMedia& m : kKorviMedia)
        if (pwgName && strcmp(pwgName, m.pwgName) == 0)
            return m.ppdName;
    return kKorviMedia[0].ppdName;
}

const KorviMedia* mediaForPoints(unsigned widthPt, unsigned lengthPt)
{
    for (const KorviMedia& m : kKorviMedia)
        if (widthPt + 2 >= m.widthPt && widthPt <= m.widthPt + 2 && lengthPt + 2 >= m.lengthPt &&
            lengthPt <= m.lengthPt + 2)
            return &m;
    return nullptr;
}

int paperWeight(const char* mediaType)
{
    for (size_t i = 0; i < kKorviMediaTypeCount; ++i)
        if (mediaType && strcmp(mediaType, kKorviMediaTypes[i]) == 0)
            return int(i);
    return kDefaultPaperWeight;
}

int printDensity(int printDarkness, int darknessConfigured)
{
    int darkness = std::clamp(darknessConfigured + printDarkness / 2, 0, 100);
    return std::min(4, darkness * 5 / 100);
}
