#include "platform/Path.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Path, NativeConversion)
{
    struct Case { String16 program; std::string native; };
    const Case cases[] = {
        {u"/home/u/Fotos/Überblick.jpg", "/home/u/Fotos/\xC3\x9C" "berblick.jpg"},
        {u"/p/a\\b.jpg", "/p/a\\b.jpg"}, // a backslash is a character of the name
        {u"/p/\\\\", "/p/\\\\"},
        {u"/p/\U0001F4F7.png", "/p/\xF0\x9F\x93\xB7.png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToNativePath(c.program), c.native);
    EXPECT_EQ(FromNativePath("/p/\xF0\x9F\x93\xB7.png"), u"/p/\U0001F4F7.png");
}

TEST(Path, UndecodableNamesSurviveTheRoundTrip)
{
    // Latin-1 names from old cameras and archives, truncated and overlong sequences.
    const std::string names[] = {
        "/photos/caf\xE9.jpg",
        "/photos/\xFF\xFE",
        "/p/a\xC3",
        "/p/\xC0\xAF",
        "/p/\xED\xA0\x80x",
        "/p/\xF0\x9F\x93",
    };
    for (const std::string& n : names) {
        String16 wide = FromNativePath(n);
        EXPECT_EQ(ToNativePath(wide), n);
    }
    EXPECT_EQ(FromNativePath("caf\xE9"), String16(u"caf") + char16_t(0xDCE9));
}

TEST(Path, Parts)
{
    EXPECT_EQ(JoinPath(u"/a", u"b"), u"/a/b");
    EXPECT_EQ(JoinPath(u"/a/", u"b"), u"/a/b");
    EXPECT_EQ(JoinPath(u"", u"b"), u"b");
    EXPECT_EQ(FileNamePart(u"/a/b.jpg"), u"b.jpg");
    EXPECT_EQ(FileNamePart(u"/x/a\\b.png"), u"a\\b.png");
    EXPECT_EQ(ParentFolder(u"/x/a\\b.png"), u"/x");
    EXPECT_EQ(JoinPath(u"/a\\", u"b"), u"/a\\/b");
    EXPECT_EQ(FileNamePart(u"name"), u"name");
    EXPECT_EQ(ParentFolder(u"/a/b"), u"/a");
    EXPECT_EQ(ParentFolder(u"/a"), u"/");
    EXPECT_EQ(ParentFolder(u"a"), u"");
    EXPECT_EQ(ExtensionPart(u"/x.y/a.tar.JPG"), u"JPG");
    EXPECT_EQ(ExtensionPart(u"/x.y/noext"), u"");
    EXPECT_EQ(ExtensionPart(u"/x/.hidden"), u"");
    EXPECT_EQ(WithTrailingSeparator(u"/a"), u"/a/");
    EXPECT_EQ(WithTrailingSeparator(u"/a/"), u"/a/");
}

TEST(Path, DisplayShowsUndecodableBytesAsReplacementCharacters)
{
    // Lone surrogates (an undecodable byte, or a broken pair) show as U+FFFD; whole pairs stay.
    const String16 latin1 = FromNativePath("/p/caf\xE9 \xF0\x9F\x93\xB7.jpg");
    EXPECT_EQ(DisplayPath(latin1), u"/p/caf\uFFFD \U0001F4F7.jpg");
    EXPECT_EQ(ToNativePath(latin1), "/p/caf\xE9 \xF0\x9F\x93\xB7.jpg") << "the path itself keeps its bytes";
    EXPECT_EQ(DisplayPath(String16(u"a") + char16_t(0xD83D)), u"a\uFFFD");
}
