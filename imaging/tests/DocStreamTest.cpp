#include "imaging/DocStream.h"

#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {
std::u16string TempPath(const char* name)
{
    auto p = std::filesystem::temp_directory_path() / name;
    std::string s = p.string();
    return std::u16string(s.begin(), s.end());
}
} // namespace

TEST(DocStream, FileStreamReadsBackWhatWasWrittenAndSeeks)
{
    const std::u16string path = TempPath("zd-docstream-test.bin");
    CDocFileStream f;
    ASSERT_TRUE(f.Open(path, CDocFileStream::Mode::Create));
    EXPECT_TRUE(f.WriteU32(0x01020304));
    EXPECT_TRUE(f.WriteU16(0xA0B0));
    EXPECT_EQ(f.GetPosition(), 6u);
    ASSERT_TRUE(f.Close());

    ASSERT_TRUE(f.Open(path, CDocFileStream::Mode::ReadWrite));
    ASSERT_TRUE(f.Seek(4));
    EXPECT_TRUE(f.WriteU16(0x1234)); // overwrite in place
    ASSERT_TRUE(f.Seek(0));
    uint32_t a = 0;
    uint16_t b = 0;
    EXPECT_TRUE(f.ReadU32(a));
    EXPECT_TRUE(f.ReadU16(b));
    EXPECT_EQ(a, 0x01020304u);
    EXPECT_EQ(b, 0x1234);
    EXPECT_FALSE(f.ReadU16(b)) << "short read at the end";
    EXPECT_EQ(f.Size(), 6u);
    ASSERT_TRUE(f.Close());
    std::filesystem::remove(std::filesystem::temp_directory_path() / "zd-docstream-test.bin");

    EXPECT_FALSE(f.Open(TempPath("zd-no-such-dir/x.bin"), CDocFileStream::Mode::Create));
}

TEST(DocStream, FullDiskIsAFailureThatSticks)
{
    CDocMemStream m;
    m.SetWriteLimit(5);
    EXPECT_TRUE(m.WriteU32(1));
    EXPECT_FALSE(m.WriteU16(2));
    EXPECT_TRUE(m.Failed());
    EXPECT_FALSE(m.WriteU8(3)) << "later writes fail too, even if they would fit";
}

TEST(DocStream, FullDiskFailsTheFileStream)
{
    const std::u16string path = TempPath("zd-docstream-full.bin");
    CDocFileStream f;
    ASSERT_TRUE(f.Open(path, CDocFileStream::Mode::Create));
    bool wrote, closed;
    {
        testutil::FileSizeLimit full(1 << 20); // the disk fills after 1 MiB
        std::vector<uint8_t> block(4 << 20, 1);
        wrote = f.Write(block.data(), block.size());
        closed = f.Close();
    }
    EXPECT_FALSE(wrote && closed);
    EXPECT_TRUE(f.Failed());
    std::filesystem::remove(std::filesystem::path(std::string(path.begin(), path.end())));
}

TEST(DocStream, OnlyRegularFilesAreOpened)
{
    // A device, a folder or a pipe under a project's name is refused in every mode, at once.
    const std::filesystem::path fifo = std::filesystem::temp_directory_path() / "zd-docstream-fifo.zdoc";
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string f = fifo.string();
    for (const std::u16string path : { std::u16string(u"/dev/full"), std::u16string(u"/tmp"), std::u16string(f.begin(), f.end()) })
        for (auto mode : { CDocFileStream::Mode::Read, CDocFileStream::Mode::ReadWrite, CDocFileStream::Mode::Create }) {
            CDocFileStream s;
            EXPECT_FALSE(s.Open(path, mode)) << std::string(path.begin(), path.end()) << " " << int(mode);
        }
    std::filesystem::remove(fifo);
}
