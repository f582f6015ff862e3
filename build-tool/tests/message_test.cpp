#include "records/message.h"

#include <gtest/gtest.h>

namespace ormolt {
namespace {

using namespace std::string_literals;

TEST(Message, FillsPlaceholdersInOrder) {
    struct Case {
        std::string_view pattern;
        std::initializer_list<std::string_view> values;
        std::string expected;
    };
    const Case cases[] = {
        {"cannot write {}: {}", {"a.json", "denied"}, "cannot write a.json: denied"},
        {"unknown command {}", {"{}"}, "unknown command {}"}, // a value is never re-scanned
        {"{} names no {} images", {"r.json"}, "r.json names no {} images"},
        {"no values", {"x"}, "no values"},
        {"{", {"x"}, "{"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fill_message(c.pattern, c.values), c.expected) << c.pattern;
}

TEST(Message, RepairsInvalidUtf8WithOneReplacementPerSequence) {
    struct Case {
        std::string input;
        std::string expected;
        bool valid;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"plain", "plain", true},
        {"stra\xC3\x9F"
         "e",
         "stra\xC3\x9F"
         "e",
         true},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", true},
        {"a\xFF"
         "b",
         "a" + fffd + "b", false},
        {"\xC0\xAF", fffd + fffd, false},            // overlong form
        {"\xED\xA0\x80", fffd + fffd + fffd, false}, // surrogate
        {"\xE2\x82", fffd, false},                   // truncated at the end
        {"\xE2\x82"
         "x",
         fffd + "x", false},                                    // truncated before ASCII
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd, false}, // above U+10FFFF
    };
    for (const Case &c : cases) {
        EXPECT_EQ(is_valid_utf8(c.input), c.valid) << c.input;
        EXPECT_EQ(utf8_replacing_invalid(c.input), c.expected) << c.input;
    }
}

TEST(Message, ReplacesControlCharacters) {
    struct Case {
        std::string text;
        bool keep_lines;
        std::string expected;
    };
    const std::string r = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"default.xbe\0evil"s, false, "default.xbe" + r + "evil"},
        {"a\x1B[2Jb\x7F", false, "a" + r + "[2Jb" + r},
        // C1 controls are two bytes in UTF-8; the characters around them are left whole.
        {"\xC2\x9B"
         "31m\xC2\xA0\xC3\xA9",
         false, r + "31m\xC2\xA0\xC3\xA9"},
        {"one\ntwo\tthree\r", true, "one\ntwo\tthree" + r},
        {"one\ntwo\t", false, "one" + r + "two" + r},
    };
    for (const Case &c : cases)
        EXPECT_EQ(control_characters_replaced(c.text, c.keep_lines), c.expected) << c.text;
}

// A game's own title in a message: it may neither break the line nor reverse what follows.
TEST(Message, NamesFromOutsideAreInert) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"Sample\nGame", "Sample" + r + "Game"},
        {"evil\u202Eexe.txt", "evil" + r + "exe.txt"},
        {"\u2066a\u2069\u200F", r + "a" + r + r},
        {"Zo\xC3\xAB \xE6\x9D\x8E\xE2\x80\x94", "Zo\xC3\xAB \xE6\x9D\x8E\xE2\x80\x94"},
        {"bad\xFF", "bad" + r},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(name_from_outside(text), expected) << text;
}

} // namespace
} // namespace ormolt
