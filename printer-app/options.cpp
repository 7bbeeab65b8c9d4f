// IPP job attributes to the PPD's option values.
#include "options.h"

#include <algorithm>
#include <cstring>

const char* const kKorviMediaTypes[] = {"stationery-lightweight", "stationery", "stationery-heavyweight",
                                        "cardstock"};
const size_t kKorviMediaTypeCount = sizeof kKorviMediaTypes / sizeof kKorviMediaTypes[0];

const char* ppdPageSize(const char* pwgName)
{
    for (const korvi::Paper& m : korvi::kPapers)
        if (pwgName && strcmp(pwgName, m.pwgName) == 0)
            return m.ppdName;
    return korvi::kPapers[korvi::kPaperA4].ppdName;
}

const korvi::Paper* mediaForPoints(unsigned widthPt, unsigned lengthPt)
{
    for (const korvi::Paper& m : korvi::kPapers)
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
