// The menu and hotkey records: field copies of at most 127 characters, the
// rest zero bytes, the last byte always zero.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "menu_records.h"

namespace {

// The field holds exactly `text` followed by zero bytes to its end.
::testing::AssertionResult FieldHolds(const char* field, std::size_t size, const std::string& text) {
    if (text.size() >= size) return ::testing::AssertionFailure() << "expectation longer than the field";
    if (std::memcmp(field, text.data(), text.size()) != 0)
        return ::testing::AssertionFailure() << "field starts with \"" << std::string(field, text.size()) << "\"";
    for (std::size_t i = text.size(); i < size; ++i)
        if (field[i] != '\0') return ::testing::AssertionFailure() << "byte " << i << " is not zero";
    return ::testing::AssertionSuccess();
}

TEST(MenuRecords, CopyFieldZeroFillsBehindTheText) {
    char field[128];
    std::memset(field, 'Q', sizeof field);
    CopyField(field, sizeof field, "Pitch (helium)");
    EXPECT_TRUE(FieldHolds(field, sizeof field, "Pitch (helium)"));
}

TEST(MenuRecords, CopyFieldKeepsAt127CharactersAndEndsWithZero) {
    for (std::size_t length : {126u, 127u, 128u, 129u, 1000u}) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
        char field[128];
        std::memset(field, 'Q', sizeof field);
        CopyField(field, sizeof field, text.c_str());
        EXPECT_TRUE(FieldHolds(field, sizeof field, text.substr(0, length < 127 ? length : 127))) << length;
        EXPECT_EQ(field[127], '\0') << length;
    }
}

TEST(MenuRecords, CopyFieldDoesNotReadBeyondWhatFits) {
    // 200 characters without a terminating zero, in a block of exactly that
    // size: ASan catches any read past the 127 the field takes.
    char* unterminated = static_cast<char*>(std::malloc(200));
    std::memset(unterminated, 'z', 200);
    char field[128];
    CopyField(field, sizeof field, unterminated);
    EXPECT_TRUE(FieldHolds(field, sizeof field, std::string(127, 'z')));
    std::free(unterminated);
}

TEST(MenuRecords, CopyFieldOfNullOrEmptyTextIsAllZero) {
    char field[128];
    std::memset(field, 'Q', sizeof field);
    CopyField(field, sizeof field, nullptr);
    EXPECT_TRUE(FieldHolds(field, sizeof field, ""));
    std::memset(field, 'Q', sizeof field);
    CopyField(field, sizeof field, "");
    EXPECT_TRUE(FieldHolds(field, sizeof field, ""));
}

TEST(MenuRecords, CopyFieldOfSizeZeroOrOneWritesAtMostTheZero) {
    char bytes[2] = {'Q', 'Q'};
    CopyField(bytes, 0, "abc");
    EXPECT_EQ(bytes[0], 'Q');
    CopyField(bytes, 1, "abc");
    EXPECT_EQ(bytes[0], '\0');
    EXPECT_EQ(bytes[1], 'Q');
}

TEST(MenuRecords, CreateMenuItemFillsEveryField) {
    const std::string longText(300, 'T');
    PluginMenuItem* item = createMenuItem(PLUGIN_MENU_TYPE_CLIENT, 42, longText.c_str(), "about.png");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->type, PLUGIN_MENU_TYPE_CLIENT);
    EXPECT_EQ(item->id, 42);
    EXPECT_TRUE(FieldHolds(item->text, sizeof item->text, std::string(127, 'T')));
    EXPECT_TRUE(FieldHolds(item->icon, sizeof item->icon, "about.png"));
    std::free(item);  // malloc'ed: free() releases it, as ts3plugin_freeMemory does
}

TEST(MenuRecords, CreateHotkeyFillsBothFields) {
    const std::string longKeyword(128, 'k');
    PluginHotkey* hotkey = createHotkey(longKeyword.c_str(), "Music Player");
    ASSERT_NE(hotkey, nullptr);
    EXPECT_TRUE(FieldHolds(hotkey->keyword, sizeof hotkey->keyword, std::string(127, 'k')));
    EXPECT_TRUE(FieldHolds(hotkey->description, sizeof hotkey->description, "Music Player"));
    std::free(hotkey);
}

}  // namespace
