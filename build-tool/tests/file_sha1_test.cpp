// The SHA-1 of a file: the standard's example messages, chunk boundaries, and the two failures.
#include "identity/file_sha1.h"
#include "records/message.h"
#include "test_support.h"
#include "testkit/xbe_builder.h"

namespace ormolt {
namespace {

// A pattern whose bytes shift every MiB, so that a chunk read twice or skipped changes the
// digest. Digests from an independent implementation (coreutils sha1sum).
std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + (i >> 20)) % 251);
    return bytes;
}

std::vector<std::uint8_t> text_bytes(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(Sha1, DigestsOfKnownFiles) {
    struct Case {
        const char *name;
        std::vector<std::uint8_t> contents;
        const char *digest;
    };
    const Case cases[] = {
        {"empty", {}, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", text_bytes("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"448-bit message", text_bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"one million a", std::vector<std::uint8_t>(1000000, 'a'),
         "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"exactly one chunk", pattern(sha1_chunk_size), "b64be9880471e302ce3c2f619919e22b0ac5bfcb"},
        {"one byte into the second chunk", pattern(sha1_chunk_size + 1),
         "3191180abd723e628ddb99b3c508d913dc20c6ea"},
        {"several chunks and a tail", pattern(3 * sha1_chunk_size + 17),
         "ce06a18cbd24d7577292f060d93e6192dd4d90b3"},
    };
    test::TempFolder folder;
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        const auto file = folder / "file.bin";
        ASSERT_FALSE(testkit::write_bytes(file, test.contents));
        const auto digest = file_sha1_hex(file);
        ASSERT_TRUE(digest) << digest.error().message;
        EXPECT_EQ(*digest, test.digest);
    }
}

TEST(Sha1, FailuresNameTheFileAndTheSystemError) {
    test::TempFolder folder;
    const auto missing = folder / "missing.xbe";
    const auto result = file_sha1_hex(missing);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, ErrorKind::Ordinary);
    // The system's own text follows; its wording differs between systems.
    const std::string prefix = "cannot read " + path_text(missing) + ": ";
    EXPECT_TRUE(result.error().message.starts_with(prefix)) << result.error().message;
    EXPECT_GT(result.error().message.size(), prefix.size());

#ifndef _WIN32
    // A folder opens on POSIX and fails on its first read.
    const auto folder_read = file_sha1_hex(folder.path());
    ASSERT_FALSE(folder_read);
    EXPECT_EQ(folder_read.error().message,
              "reading " + path_text(folder.path()) + ": " +
                  system_error_text(std::make_error_code(std::errc::is_a_directory)));
#endif
}

} // namespace
} // namespace ormolt
