// Test toolkit: small PPD files with chosen options.
#include "support/ppd.h"

std::string ppdText(const std::vector<PpdOption>& options)
{
    std::string t =
        "*PPD-Adobe: \"4.3\"\n"
        "*FormatVersion: \"4.3\"\n"
        "*FileVersion: \"1.0\"\n"
        "*LanguageVersion: English\n"
        "*LanguageEncoding: ISOLatin1\n"
        "*PCFileName: \"KORVITST.PPD\"\n"
        "*Manufacturer: \"Korvi\"\n"
        "*Product: \"(Korvi Test)\"\n"
        "*ModelName: \"Korvi Test\"\n"
        "*ShortNickName: \"Korvi Test\"\n"
        "*NickName: \"Korvi Test\"\n"
        "*PSVersion: \"(3010.000) 0\"\n"
        "*LanguageLevel: \"3\"\n"
        "*ColorDevice: False\n"
        "*DefaultColorSpace: Gray\n"
        "*FileSystem: False\n"
        "*Throughput: \"1\"\n"
        "*LandscapeOrientation: Plus90\n"
        "*TTRasterizer: Type42\n"
        "*cupsFilter: \"application/vnd.cups-raster 100 rastertokorvilaserprinter\"\n"
        "*OpenUI *PageSize/Media Size: PickOne\n"
        "*OrderDependency: 10 AnySetup *PageSize\n"
        "*DefaultPageSize: A4\n"
        "*PageSize A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
        "*CloseUI: *PageSize\n";
    for (const PpdOption& o : options) {
        t += "*OpenUI *" + o.keyword + "/" + o.keyword + ": PickOne\n";
        t += "*OrderDependency: 20 AnySetup *" + o.keyword + "\n";
        t += "*Default" + o.keyword + ": " + o.defaultChoice + "\n";
        for (const std::string& c : o.choices)
            t += "*" + o.keyword + " " + c + "/" + c + ": \"\"\n";
        t += "*CloseUI: *" + o.keyword + "\n";
    }
    return t;
}

TestPpd::TestPpd(const std::vector<PpdOption>& options)
{
    file_.write(ppdText(options));
}
