// The version request text and the reading of the version reply.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/update_reply.h"

namespace {

const std::string kUserAgent =
    "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; rv:36.0) Gecko/20100101 Firefox/36.0\r\n";

TEST(UpdateRequest, HasTheExactBytesForPort80) {
    char out[512];
    const int length = BuildVersionRequest("update.morindale.invalid", 80, out, sizeof out);
    const std::string expected =
        "GET http://update.morindale.invalid/teamspeak/mversion.txt HTTP/1.0\r\n"
        "Host: update.morindale.invalid\r\n"
        "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; rv:36.0) Gecko/20100101 Firefox/36.0\r\n"
        "\r\n";
    ASSERT_EQ(length, static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(out, static_cast<std::size_t>(length)), expected);
    EXPECT_EQ(out[length], '\0');
    EXPECT_STREQ(MORINDALE_USER_AGENT, kUserAgent.c_str());
}

TEST(UpdateRequest, NamesAnotherPortAfterTheHost) {
    char out[512];
    const int length = BuildVersionRequest("versions.example.test", 8080, out, sizeof out);
    EXPECT_EQ(std::string(out, static_cast<std::size_t>(length)),
              "GET http://versions.example.test:8080/teamspeak/mversion.txt HTTP/1.0\r\n"
              "Host: versions.example.test:8080\r\n" +
                  kUserAgent + "\r\n");
}

TEST(UpdateRequest, RefusesABufferThatIsTooSmall) {
    char out[64];
    std::memset(out, 'Z', sizeof out);
    EXPECT_EQ(BuildVersionRequest("update.morindale.invalid", 80, out, 40), -1);
    EXPECT_EQ(out[39], '\0');  // snprintf stopped inside the 40 bytes
    EXPECT_EQ(out[40], 'Z');
}

TEST(UpdateHomepage, IsTheTeamspeakFolderOnTheHost) {
    char out[128];
    ASSERT_TRUE(BuildHomepageUrl("update.morindale.invalid", 80, out, sizeof out));
    EXPECT_STREQ(out, "http://update.morindale.invalid/teamspeak/");
    ASSERT_TRUE(BuildHomepageUrl("h.test", 8000, out, sizeof out));
    EXPECT_STREQ(out, "http://h.test:8000/teamspeak/");
    EXPECT_FALSE(BuildHomepageUrl("update.morindale.invalid", 80, out, 20));
}

TEST(UpdateReply, VersionTextIsEverythingAfterTheFirstKey) {
    EXPECT_STREQ(FindVersionText("HTTP/1.1 200 OK\r\n\r\nMorindaleVersion:1.50"), "1.50");
    EXPECT_STREQ(FindVersionText("x MorindaleVersion:1.50\r\n"), "1.50\r\n");
    EXPECT_STREQ(FindVersionText("x MorindaleVersion: 1.50"), " 1.50");
    EXPECT_STREQ(FindVersionText("xMorindaleVersion:1.49MorindaleVersion:1.50"), "1.49MorindaleVersion:1.50");
    EXPECT_STREQ(FindVersionText("xMorindaleVersion:"), "");
}

TEST(UpdateReply, NoVersionWithoutKeyOrWithTheKeyAtTheStart) {
    EXPECT_EQ(FindVersionText("HTTP/1.1 404 Not Found\r\n\r\nnot here"), nullptr);
    EXPECT_EQ(FindVersionText("MorindaleVersion:1.49"), nullptr);
    EXPECT_EQ(FindVersionText("x morindaleversion:1.49"), nullptr);  // the key is case-sensitive
    EXPECT_EQ(FindVersionText("x MorindaleVersion"), nullptr);
    EXPECT_EQ(FindVersionText(""), nullptr);
}

TEST(UpdateReply, OwnVersionIsTheExactString) {
    EXPECT_TRUE(IsOwnVersion("1.50"));
    for (const char* other : {"1.5", "1.500", "1.50\r\n", " 1.50", "1.49", "1.51", "", "01.50"})
        EXPECT_FALSE(IsOwnVersion(other)) << other;
}

TEST(UpdateMessage, CarriesVersionAndHomepage) {
    char out[1024];
    FormatNewVersionMessage("1.49", "http://update.morindale.invalid/teamspeak/", out, sizeof out);
    EXPECT_STREQ(out,
                 "A new Morindale version ( 1.49 ) is available - "
                 "[url]http://update.morindale.invalid/teamspeak/[/url]");
}

// U+FFFD, which stands in for whatever the chat must not get as it came.
#define R "\xEF\xBF\xBD"

TEST(UpdateMessage, VersionTextCannotCarryMarkupControlsOrBrokenUtf8) {
    struct Case {
        const char* version;
        const char* shown;
    };
    const Case cases[] = {
        {"1.50\r\n", "1.50" R R},
        {"[url=http://evil.test]click here[/url]", R "url=http://evil.test" R "click here" R "/url" R},
        {"2.0\t\x1B[31m\x7F", "2.0" R R R "31m" R},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xA4", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xA4"},  // kept
        {"\xC2\x85|\xE2\x80\xAE|\xE2\x80\xA8|\xE2\x81\xA6", R "|" R "|" R "|" R},  // NEL, RLO, LS, LRI
        // The whole Bidi_Control set: ALM, LRM, RLM, LRE to RLO, LRI to PDI.
        {"\xD8\x9C|\xE2\x80\x8E\xE2\x80\x8F|\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD\xE2\x80\xAE|"
         "\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9",
         R "|" R R "|" R R R R R "|" R R R R},
        // Their neighbours are ordinary text: U+061B, U+061D, U+200D, U+2065 (unassigned), U+206A.
        {"\xD8\x9B\xD8\x9D\xE2\x80\x8D\xE2\x81\xA5\xE2\x81\xAA",
         "\xD8\x9B\xD8\x9D\xE2\x80\x8D\xE2\x81\xA5\xE2\x81\xAA"},
        {"a\xFF" "b\x80" "c", "a" R "b" R "c"},
        {"\xC0\xAF", R R},                // overlong "/"
        {"\xED\xA0\x80", R R R},          // a surrogate
        {"\xF4\x90\x80\x80", R R R R},    // beyond U+10FFFF
        {"1.5\xE2\x82", "1.5" R R},        // cut off at the end
        {"\xE2\x82" "1", R R "1"},
    };
    for (const Case& c : cases) {
        char out[1024];
        FormatNewVersionMessage(c.version, "http://h/teamspeak/", out, sizeof out);
        EXPECT_EQ(std::string(out),
                  std::string("A new Morindale version ( ") + c.shown + " ) is available - [url]http://h/teamspeak/[/url]")
            << c.version;
    }
}

// True when every multi-byte sequence in the text is complete.
bool CompleteUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 4;
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

TEST(UpdateMessage, LongVersionIsCutToFitWithTheLinkWhole) {
    const std::string homepage = "http://update.morindale.invalid/teamspeak/";
    const std::string version(1000, '9');
    std::vector<char> out(1024 + 16, 'G');
    FormatNewVersionMessage(version.c_str(), homepage.c_str(), out.data(), 1024);
    const std::string message(out.data());
    ASSERT_EQ(message.size(), 1023u);
    const std::string head = "A new Morindale version ( ";
    const std::string tail = "... ) is available - [url]" + homepage + "[/url]";
    EXPECT_EQ(message.substr(0, head.size()), head);
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
    EXPECT_EQ(message.substr(head.size(), 1023 - head.size() - tail.size()),
              std::string(1023 - head.size() - tail.size(), '9'));
    for (std::size_t i = 1024; i < out.size(); ++i) EXPECT_EQ(out[i], 'G') << i;
}

TEST(UpdateMessage, VersionThatJustFitsIsKeptWhole) {
    const std::string homepage = "http://h/teamspeak/";
    const std::string fixed = "A new Morindale version (  ) is available - [url]" + homepage + "[/url]";
    const std::string version(1023 - fixed.size(), 'v');
    char out[1024];
    FormatNewVersionMessage(version.c_str(), homepage.c_str(), out, sizeof out);
    EXPECT_EQ(std::string(out), "A new Morindale version ( " + version + " ) is available - [url]" + homepage + "[/url]");
    const std::string longer = version + "w";
    FormatNewVersionMessage(longer.c_str(), homepage.c_str(), out, sizeof out);
    EXPECT_NE(std::string(out).find("v... ) is available"), std::string::npos);
}

TEST(UpdateMessage, CutNeverSplitsAUtf8Sequence) {
    const std::string homepage = "http://update.morindale.invalid/teamspeak/";
    for (const std::string& unit : {std::string("\xC3\xA9"), std::string("\xE2\x82\xAC"), std::string("\xF0\x9F\x8E\xA4")}) {
        for (std::size_t shift = 0; shift < 4; ++shift) {
            std::string version(shift, 'a');
            while (version.size() < 1000) version += unit;
            char out[1024];
            FormatNewVersionMessage(version.c_str(), homepage.c_str(), out, sizeof out);
            const std::string message(out);
            EXPECT_LE(message.size(), 1023u);
            EXPECT_TRUE(CompleteUtf8(message)) << unit.size() << "-byte units, shift " << shift;
            EXPECT_NE(message.find("... ) is available - [url]" + homepage + "[/url]"), std::string::npos);
        }
    }
}

TEST(UpdateMessage, ReplacedBytesThatOverflowAreCutAfterAWholeReplacement) {
    // 1000 control bytes become 3000 bytes to show.
    const std::string homepage = "http://update.morindale.invalid/teamspeak/";
    const std::string version(1000, '\x01');
    std::vector<char> out(1024 + 16, 'G');
    FormatNewVersionMessage(version.c_str(), homepage.c_str(), out.data(), 1024);
    const std::string message(out.data());
    const std::string head = "A new Morindale version ( ";
    const std::string tail = "... ) is available - [url]" + homepage + "[/url]";
    ASSERT_GE(message.size(), head.size() + tail.size());
    EXPECT_LE(message.size(), 1023u);
    EXPECT_GT(message.size(), 1023u - 3);
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
    const std::string shown = message.substr(head.size(), message.size() - head.size() - tail.size());
    ASSERT_EQ(shown.size() % 3, 0u);
    for (std::size_t i = 0; i < shown.size(); i += 3) EXPECT_EQ(shown.substr(i, 3), R) << i;
    for (std::size_t i = 1024; i < out.size(); ++i) EXPECT_EQ(out[i], 'G') << i;
}

#undef R

TEST(UpdateMessage, TinyBufferStaysInside) {
    std::vector<char> out(10 + 8, 'G');
    FormatNewVersionMessage("1.49", "http://h/teamspeak/", out.data(), 10);
    EXPECT_EQ(std::string(out.data()), "A new Mor");
    for (std::size_t i = 10; i < out.size(); ++i) EXPECT_EQ(out[i], 'G');
}

}  // namespace
