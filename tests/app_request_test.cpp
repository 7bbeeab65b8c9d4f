// The Printer Application's checks of what a client sends (names, Host, Origin), the web
// password's hashes, its removal of a folder others could write into, and the default orientation
// it writes into the state file, without a server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "passwordhash.h"
#include "removetree.h"
#include "requestcheck.h"
#include "savedorientation.h"

TEST(AppRequest, ControlCharactersAreFoundInEveryStringValue)
{
    struct Case {
        ipp_tag_t tag;
        const char* value;
        bool safe;
    } cases[] = {
        {IPP_TAG_NAME, "front desk", true},       {IPP_TAG_NAME, "a\nb", false},
        {IPP_TAG_TEXT, "r\rn", false},            {IPP_TAG_KEYWORD, "tab\there", false},
        {IPP_TAG_URI, "ipp://x/\x7f", false},     {IPP_TAG_NAME, "Grüße, ½", true},
        {IPP_TAG_MIMETYPE, "application/pdf", true},
    };
    const std::string name255(255, 'n'), name256(256, 'n'), text1023(1023, 't'), text1024(1024, 't');
    const Case lengths[] = {{IPP_TAG_NAME, name255.c_str(), true},
                            {IPP_TAG_NAME, name256.c_str(), false},
                            {IPP_TAG_TEXT, text1023.c_str(), true},
                            {IPP_TAG_TEXT, text1024.c_str(), false}};
    std::vector<Case> all(std::begin(cases), std::end(cases));
    all.insert(all.end(), std::begin(lengths), std::end(lengths));
    for (const Case& c : all) {
        ipp_t* request = ippNew();
        ippAddString(request, IPP_TAG_OPERATION, c.tag, "some-value", nullptr, c.value);
        EXPECT_EQ(firstUnsafeAttribute(request).empty(), c.safe) << std::string(c.value).substr(0, 40);
        ippDelete(request);
    }
    // Inside a collection, and in a later value of a set.
    ipp_t* request = ippNew();
    ipp_t* contact = ippNew();
    ippAddString(contact, IPP_TAG_ZERO, IPP_TAG_TEXT, "contact-name", nullptr, "x\ny");
    ippAddCollection(request, IPP_TAG_PRINTER, "printer-contact-col", contact);
    const char* values[] = {"fine", "not\nfine"};
    ippAddStrings(request, IPP_TAG_PRINTER, IPP_TAG_NAME, "names", 2, nullptr, values);
    EXPECT_EQ(firstUnsafeAttribute(request), "printer-contact-col");
    ippDeleteAttribute(request, ippFindAttribute(request, "printer-contact-col", IPP_TAG_ZERO));
    EXPECT_EQ(firstUnsafeAttribute(request), "names");
    ippDelete(contact);
    ippDelete(request);
}

TEST(AppRequest, OnlyTheServersOwnNamesAreAcceptedAsHost)
{
    const std::vector<std::string> names = {"korvi-print.local", "korvi-print"};
    struct Case {
        const char* field;
        bool own;
    } cases[] = {
        {"localhost:8631", true},        {"LOCALHOST.", true},          {"127.0.0.1:8631", true},
        {"10.77.0.1", true},             {"[::1]:8631", true},          {"[fe80::1]", true},
        {"korvi-print.local:8631", true}, {"Korvi-Print.local.", true}, {"korvi-print", true},
        {"1.evil.example:8631", false},  {"x.local", false},            {"evil.example", false},
        {"127.0.0.1.evil.example", false}, {"[::1", false},             {"", false},
        {"local\nhost", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ownHost(hostOfField(c.field), names), c.own) << c.field;
}

TEST(AppRequest, FormsComeFromTheServersOwnPages)
{
    struct Case {
        const char *origin, *referer, *host;
        bool same;
    } cases[] = {
        {nullptr, nullptr, "127.0.0.1:8631", true},  // not a browser
        {"http://127.0.0.1:8631", nullptr, "127.0.0.1:8631", true},
        {"https://korvi-print.local:8631", nullptr, "korvi-print.local:8631", true},
        {nullptr, "http://127.0.0.1:8631/korvi/config", "127.0.0.1:8631", true},
        {"http://evil.example", nullptr, "127.0.0.1:8631", false},
        {"null", nullptr, "127.0.0.1:8631", false},
        {"http://127.0.0.1:8631.evil.example", nullptr, "127.0.0.1:8631", false},
        {nullptr, "http://127.0.0.1:86310/", "127.0.0.1:8631", false},
        {nullptr, "http://evil.example/?http://127.0.0.1:8631/", "127.0.0.1:8631", false},
        {"http://127.0.0.1:8631", nullptr, "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sameOrigin(c.origin, c.referer, c.host), c.same)
            << (c.origin ? c.origin : "-") << " " << (c.referer ? c.referer : "-");
}

// A folder tree with a link to a folder outside it, and a link to a file outside it: removed
// whole, and what the links point to stays.
TEST(AppRequest, RemovingATreeNeverFollowsALink)
{
    char base[] = "/tmp/korvi-tree-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string tree = std::string(base) + "/tree", outside = std::string(base) + "/outside";
    ASSERT_EQ(mkdir(tree.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(outside.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((tree + "/sub").c_str(), 0700), 0);
    std::ofstream(outside + "/keep") << "x";
    std::ofstream(tree + "/sub/file") << "x";
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/sub/dirlink").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/keep").c_str(), (tree + "/filelink").c_str()), 0);
    EXPECT_TRUE(removeTree(tree));
    EXPECT_NE(access(tree.c_str(), F_OK), 0);
    EXPECT_EQ(access((outside + "/keep").c_str(), F_OK), 0);
    // A link given as the tree itself is removed, not what it points to.
    ASSERT_EQ(symlink(outside.c_str(), tree.c_str()), 0);
    EXPECT_TRUE(removeTree(tree));
    EXPECT_EQ(access((outside + "/keep").c_str(), F_OK), 0);
    EXPECT_TRUE(removeTree(base));
}

// A new hash is yescrypt and opens with its password alone; a hash in the form earlier versions
// stored still opens with its own. Wrong ones: empty, one character off, a prefix, a longer one.
TEST(AppRequest, WebPasswordsAreCheckedWhole)
{
    const std::string hash = newPasswordHash("Korvi-Test-1");
    ASSERT_EQ(hash.rfind("$y$", 0), 0u) << hash;
    const std::string legacy = "0123456789abcdef~" + sha256Hex("0123456789abcdef:Korvi-Old-1");
    struct Case {
        const std::string& stored;
        const char* password;
        bool opens;
    } cases[] = {
        {hash, "Korvi-Test-1", true},    {hash, "", false},           {hash, "Korvi-Test-2", false},
        {hash, "Korvi-Test-", false},    {hash, "Korvi-Test-12", false}, {legacy, "Korvi-Old-1", true},
        {legacy, "", false},             {legacy, "Korvi-Old-2", false}, {legacy, "Korvi-Old-", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(passwordMatches(c.stored, c.password), c.opens) << c.stored << " / " << c.password;
    EXPECT_FALSE(passwordMatches("", "anything"));
    EXPECT_FALSE(passwordMatches("no-separator", "no-separator"));
    EXPECT_NE(newPasswordHash("Korvi-Test-1"), hash) << "each hash has a salt of its own";
}

TEST(AppRequest, SavedOrientationGoesIntoItsPrinterBlockOnly)
{
    const std::string state =
        "DNSSDName Korvi\n"
        "<Printer did=\"MFG:Korvi;id=\\\"2\\\"\" driver=\"korvi_laser\" id=\"1\" name=\"one\" uri=\"socket://a\">\n"
        "orientation-requested-default portrait\n"
        "Job id=\"3\" name=\"x\"\n"
        "</Printer>\n"
        "<Printer did=\"\" driver=\"korvi_laser\" id=\"2\" name=\"two\" uri=\"socket://b\">\n"
        "media-default na_letter_8.5x11in\n"
        "</Printer>\n"
        "<Printer did=\"\" driver=\"korvi_laser\" id=\"12\" name=\"twelve\" uri=\"socket://c\">\n"
        "orientation-requested-default portrait\n"
        "</Printer>\n";
    struct Case {
        std::map<int, std::string> keywords;
        std::vector<std::string> wanted;  // the orientation lines, in order
    } cases[] = {
        {{}, {"orientation-requested-default portrait", "orientation-requested-default portrait"}},
        {{{1, "landscape"}}, {"orientation-requested-default landscape", "orientation-requested-default portrait"}},
        {{{2, "none"}}, {"orientation-requested-default portrait", "orientation-requested-default none",
                         "orientation-requested-default portrait"}},
        {{{12, "reverse-landscape"}, {7, "landscape"}},
         {"orientation-requested-default portrait", "orientation-requested-default reverse-landscape"}},
    };
    for (const Case& c : cases) {
        std::string saved = withOrientationDefaults(state, c.keywords);
        std::istringstream lines(saved);
        std::vector<std::string> found;
        size_t count = 0;
        for (std::string line; std::getline(lines, line); ++count)
            if (line.rfind("orientation-requested-default", 0) == 0)
                found.push_back(line);
        EXPECT_EQ(found, c.wanted) << saved;
        EXPECT_EQ(count, 11 + (c.keywords.count(2) ? 1 : 0)) << saved;
    }
}
