#include "records/unicode_case.h"

#include <gtest/gtest.h>

namespace ormolt {
namespace {

TEST(UnicodeCase, MapsWithFullMappingsNotJustAscii) {
    struct Case {
        std::string input;
        std::string upper;
        std::string lower;
    };
    const Case cases[] = {
        {"51520001abcXYZ", "51520001ABCXYZ", "51520001abcxyz"},
        {"stra\xC3\x9F"
         "e",
         "STRASSE",
         "stra\xC3\x9F"
         "e"},                                                        // sharp s expands
        {"\xEF\xAC\x81", "FI", "\xEF\xAC\x81"},                       // fi ligature
        {"\xC4\xB0", "\xC4\xB0", "i\xCC\x87"},                        // I with dot above
        {"\xCE\x90", "\xCE\x99\xCC\x88\xCC\x81", "\xCE\x90"},         // three code points
        {"\xC7\x86", "\xC7\x84", "\xC7\x86"},                         // dz digraph
        {"\xCE\xA3\xCE\xA3", "\xCE\xA3\xCE\xA3", "\xCF\x83\xCF\x83"}, // no final sigma rule
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"}, // outside the BMP
        {"\xE4\xB8\xAD", "\xE4\xB8\xAD", "\xE4\xB8\xAD"},             // no case
        {"a\xFF"
         "b",
         "A\xEF\xBF\xBD"
         "B",
         "a\xEF\xBF\xBD"
         "b"}, // invalid byte
        {"", "", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(unicode_upper(c.input), c.upper) << c.input;
        EXPECT_EQ(unicode_lower(c.input), c.lower) << c.input;
    }
}

TEST(UnicodeCase, TrimsUnicodeWhiteSpaceAtBothEndsOnly) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {" \t\r\n1234\n", "1234"},
        {"\xE3\x80\x80/b f\xC2\xA0", "/b f"}, // ideographic space, no-break space
        {"\xE2\x80\xA8x\xC2\x85", "x"},       // line separator, next line
        {"\xE2\x80\x8Bx", "\xE2\x80\x8Bx"},   // zero width space is not white space
        {"a b", "a b"},
        {" \xFF ", "\xFF"}, // invalid bytes are kept, not space
        {"   ", ""},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(trim_unicode_space(c.input), c.expected) << c.input;
}

} // namespace
} // namespace ormolt
