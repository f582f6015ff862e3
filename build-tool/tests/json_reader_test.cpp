#include "records/json_reader.h"

#include <gtest/gtest.h>

namespace ormolt {
namespace {

TEST(JsonReader, RefusesWhatAPermissiveParserWouldAccept) {
    struct Case {
        std::string text;
        std::string fault;
    };
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    const Case cases[] = {
        {"{\"a\": {\"b\": 1, \"b\": 1}}", "duplicate member \"b\" at line 1, column 18"},
        {"{\"a\": 1, \"A\": 2, \"a\": 3}", "duplicate member \"a\" at line 1, column 20"},
        {deep, "values nested deeper than 64 levels at line 1, column 65"},
        {"\xEF\xBB\xBF{}", "parse error at line 1, column 1: a byte order mark is not JSON text"},
        {"{} // note", "parse error at line 1, column 4: syntax error while parsing value - "
                       "invalid literal; last read: '{} /'; expected end of input"},
        // The parser stops at a NUL byte; behind the value it is trailing text all the same.
        {std::string("{}\0garbage", 10), "parse error at line 1, column 3: syntax error while "
                                         "parsing value - unexpected NUL byte; expected end of "
                                         "input"},
        {std::string("{}\n \0", 5), "parse error at line 2, column 2: syntax error while parsing "
                                    "value - unexpected NUL byte; expected end of input"},
        {std::string("{\"a\": \0}", 8), "parse error at line 1, column 7: syntax error while "
                                        "parsing value - unexpected end of input; expected '[', "
                                        "'{', or a literal"},
        // A number too large for a double is placed like every other fault.
        {"{\n  \"a\": 1e400\n}", "parse error at line 2, column 12: number overflow parsing "
                                 "'1e400'"},
        {"[-1e999]", "parse error at line 1, column 7: number overflow parsing '-1e999'"},
    };
    for (const Case &c : cases) {
        const auto document = JsonDocument::parse(c.text);
        ASSERT_FALSE(document) << c.text;
        EXPECT_EQ(document.error(), c.fault) << c.text;
    }
    // Same names in different objects, and white space around the value, are fine.
    EXPECT_TRUE(
        JsonDocument::parse(" \n{\"a\": {\"a\": 1}, \"b\": [{\"a\": 2}, {\"a\": 3}]}\r\n\t"));
}

TEST(JsonReader, TypedMembersNameTheFaultAndItsPlace) {
    const auto document =
        JsonDocument::parse("{\n  \"n\": 18446744073709551615,\n  \"neg\": -1,\n"
                            "  \"f\": 1e2,\n  \"s\": \"x\",\n  \"l\": [\"a\", null]\n}");
    ASSERT_TRUE(document) << document.error();
    const auto fields = JsonFields::at(*document, "");
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->required_unsigned("n").value(), 18446744073709551615u);
    EXPECT_EQ(fields->required_unsigned("neg").error(),
              "member \"neg\" at line 3, column 11 must be an unsigned integer, not -1");
    EXPECT_EQ(fields->required_unsigned("f").error(),
              "member \"f\" at line 4, column 10 must be an unsigned integer, not 100.0");
    EXPECT_EQ(fields->required_string("missing").error(),
              "missing member \"missing\" in the object at line 1, column 1");
    EXPECT_EQ(fields->string_array("l").error(),
              "element 1 of member \"l\" at line 6, column 17 must be a string, not null");
    EXPECT_EQ(fields->optional_string("absent", "fallback").value(), "fallback");
    EXPECT_FALSE(fields->string_or_null("absent").value());
    EXPECT_EQ(fields->object_array("s").error(),
              "member \"s\" at line 5, column 10 must be an array of objects, not a string");
}

} // namespace
} // namespace ormolt
