#include "platform/Path.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Path, NativeConversion)
{
    struct Case { String16 program; std::string native; };
    const Case cases[] = {
        {u"/home/u/Fotos/Überblick.jpg", "/home/u/Fotos/\xC3\x9C" "berblick.jpg"},
        {u"C:\\data\\Zendra\\config.dat", "C:/data/Zendra/config.dat"},    // backslashes become '/'
        {u"/tmp/zendra-0\\\\his1.zdtmp", "/tmp/zendra-0//his1.zdtmp"},
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
    EXPECT_EQ(FileNamePart(u"C:\\x\\y.png"), u"y.png");
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
