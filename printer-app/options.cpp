// IPP job attributes to the PPD's option values.
#include "options.h"

#include <algorithm>
#include <cstring>

const KorviMedia kKorviMedia[] = {
    {"iso_a4_210x297mm", "A4"},       {"iso_a5_148x210mm", "A5"},        {"iso_b5_176x250mm", "ISOB5"},
    {"na_letter_8.5x11in", "Letter"}, {"na_legal_8.5x14in", "Legal"},
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
