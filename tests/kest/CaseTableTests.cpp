#include "kest/CaseTables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kest_test {

using namespace kest;

// The Unicode data file of the build machine, reached through Wine's drive Z:.
const char* const kUnicodeData = "Z:\\usr\\share\\unicode\\UnicodeData.txt";

const char* const kCategories[] = {"Cn", "Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Mc", "Me", "Nd",
                                   "Nl", "No", "Pc", "Pd", "Ps", "Pe", "Pi", "Pf", "Po", "Sm",
                                   "Sc", "Sk", "So", "Zs", "Zl", "Zp", "Cc", "Cf", "Cs", "Co"};

struct Expected {
    CodePoint upper, lower;
    uint8_t properties;
};

TEST(CaseTables, AgreeWithTheUnicodeDataFileForEveryCodePoint) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(kUnicodeData, "r"), &std::fclose);
    // The build set-up installs it (package unicode-data): without it nothing here is checked.
    ASSERT_TRUE(file) << kUnicodeData << " is missing";

    std::vector<Expected> expected(kCaseLimit);
    for (CodePoint cp = 0; cp < kCaseLimit; ++cp) expected[cp] = {cp, cp, 0};
    char line[512];
    CodePoint rangeStart = 0;
    bool inRange = false;
    int lines = 0;
    while (std::fgets(line, sizeof(line), file.get())) {
        std::vector<std::string> fields;
        std::string current;
        for (const char* p = line; *p && *p != '\n' && *p != '\r'; ++p) {
            if (*p == ';') {
                fields.push_back(current);
                current.clear();
            } else {
                current += *p;
            }
        }
        fields.push_back(current);
        ASSERT_GE(fields.size(), 14u) << line;
        ++lines;
        CodePoint cp = CodePoint(std::strtoul(fields[0].c_str(), nullptr, 16));
        if (fields[1].find(", First>") != std::string::npos) {
            rangeStart = cp;
            inRange = true;
            continue;
        }
        CodePoint first = inRange ? rangeStart : cp;
        inRange = false;
        uint8_t category = 0xFF;
        for (uint8_t k = 0; k < std::size(kCategories); ++k) {
            if (fields[2] == kCategories[k]) category = k;
        }
        ASSERT_NE(category, 0xFF) << line;
        for (CodePoint c = first; c <= cp && c < kCaseLimit; ++c) {
            Expected& e = expected[c];
            e.properties = category;
            if (!fields[12].empty()) {
                e.upper = CodePoint(std::strtoul(fields[12].c_str(), nullptr, 16));
                e.properties |= kHasUpperMapping;
            }
            if (!fields[13].empty()) {
                e.lower = CodePoint(std::strtoul(fields[13].c_str(), nullptr, 16));
                e.properties |= kHasLowerMapping;
            }
        }
    }
    ASSERT_GT(lines, 30000);

    int mismatches = 0;
    for (CodePoint cp = 0; cp < kCaseLimit && mismatches < 10; ++cp) {
        const Expected& e = expected[cp];
        if (ToUpperCase(cp) != e.upper || ToLowerCase(cp) != e.lower || CharProperties(cp) != e.properties) {
            ++mismatches;
            ADD_FAILURE() << std::hex << "U+" << cp << ": upper " << ToUpperCase(cp) << " (want " << e.upper
                          << "), lower " << ToLowerCase(cp) << " (want " << e.lower << "), properties "
                          << int(CharProperties(cp)) << " (want " << int(e.properties) << ")";
        }
    }
    // Beyond the table everything maps to itself.
    EXPECT_EQ(ToUpperCase(kCaseLimit), kCaseLimit);
    EXPECT_EQ(ToLowerCase(0x10FFFF), 0x10FFFFu);
    EXPECT_EQ(ToUpperCase(0xFFFFFFFF), 0xFFFFFFFFu);
}

}  // namespace kest_test
