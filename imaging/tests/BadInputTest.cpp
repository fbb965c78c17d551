// Something other than a regular file under a photo's or a project's name: a folder, a pipe
// without a writer, a device, a socket, and a sparse file far larger than any picture. Every
// reader refuses it at once: nothing blocks, nothing tries to allocate the claimed size.
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "imaging/ImageCodec/RawDecoder.h"
#include "imaging/ProjectFile.h"
#include "platform/File.h"
#include "platform/ImageMetadata.h"
#include "platform/JpegImage.h"
#include "platform/Path.h"
#include "raster/Raster.h"

#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace testutil;

namespace {

struct Image8 : ImageBuffer8 {
    ~Image8() { FreeImageBuffer(*this); }
};

// Makes a thing of the given kind at path; false when this machine cannot.
bool MakeThing(const std::string& kind, const std::string& path, int& socketFd)
{
    if (kind == "folder")
        return ::mkdir(path.c_str(), 0700) == 0;
    if (kind == "pipe")
        return ::mkfifo(path.c_str(), 0600) == 0;
    if (kind == "device")
        return ::symlink("/dev/zero", path.c_str()) == 0; // endless zeros behind a photo's name
    if (kind == "sparse") {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const bool ok = fd >= 0 && ::ftruncate(fd, off_t(3) << 30) == 0; // 3 GiB of nothing
        if (fd >= 0)
            ::close(fd);
        return ok;
    }
    if (kind == "socket") {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        return socketFd >= 0 && ::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    return false;
}

// Runs call; a call still blocked after the limit is reported, and a pipe it waits on is given
// a writer so that the test can end.
bool RefusedWithoutWaiting(const std::function<bool()>& call, const std::string& path)
{
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "still waiting on " << path;
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        done.wait();
        return false;
    }
    return !done.get();
}

} // namespace

TEST(BadInput, EveryReaderRefusesWhatIsNoRegularFileAtOnce)
{
    BuildGammaTables();
    TempFolder dir;
    struct Reader {
        const char* name;
        const char* extension;
        std::function<bool(const std::u16string&, const std::string&)> read; // true when it read something
    };
    const Reader readers[] = {
        { "LoadImage8", "jpg", [](auto& p, auto&) { Image8 i; return LoadImage8(p.c_str(), i) != 0; } },
        { "LoadImage8", "png", [](auto& p, auto&) { Image8 i; return LoadImage8(p.c_str(), i) != 0; } },
        { "LoadImage8", "tif", [](auto& p, auto&) { Image8 i; return LoadImage8(p.c_str(), i) != 0; } },
        { "LoadImage8", "dng", [](auto& p, auto&) { Image8 i; return LoadImage8(p.c_str(), i) != 0; } },
        { "LoadThumbnail fast", "jpg", [](auto& p, auto&) { Image8 i; return LoadThumbnail(p.c_str(), 64, i, true) != 0; } },
        { "LoadThumbnail", "jpg", [](auto& p, auto&) { Image8 i; return LoadThumbnail(p.c_str(), 64, i, false) != 0; } },
        { "LoadThumbnail", "tga", [](auto& p, auto&) { Image8 i; return LoadThumbnail(p.c_str(), 64, i, false) != 0; } },
        { "LoadThumbnail", "gif", [](auto& p, auto&) { Image8 i; return LoadThumbnail(p.c_str(), 64, i, false) != 0; } },
        { "ImageInfo::ReadFile", "jpg", [](auto& p, auto&) { ImageInfo i; return i.ReadFile(p.c_str()) != 0; } },
        { "ImageInfo::ReadFile", "tga", [](auto& p, auto&) { ImageInfo i; return i.ReadFile(p.c_str()) != 0; } },
        { "ImageInfo::ReadFile", "pcx", [](auto& p, auto&) { ImageInfo i; return i.ReadFile(p.c_str()) != 0; } },
        { "ImageInfo::ReadFile", "dng", [](auto& p, auto&) { ImageInfo i; return i.ReadFile(p.c_str()) != 0; } },
        { "CZDDoc::OpenImage", "jpg", [](auto& p, auto&) { CZDDoc d; return d.OpenImage(p) != 0; } },
        { "CZDDoc::OpenImage", "bmp", [](auto& p, auto&) { CZDDoc d; return d.OpenImage(p) != 0; } },
        { "CZDDoc::OpenImage", "dng", [](auto& p, auto&) { CZDDoc d; return d.OpenImage(p) != 0; } },
        { "OpenProjectFile", "zdoc", [](auto& p, auto&) { CZDDoc d; return OpenProjectFile(p, d, nullptr) != 0; } },
        { "RotateJpegLossless", "jpg", [](auto& p, auto&) { return RotateJpegLossless(p.c_str(), 1) != 0; } },
        { "SaveImageProperties", "jpg", [](auto& p, auto&) { ImageInfo i; return SaveImageProperties(p.c_str(), i) != 0; } },
        { "CRaster::Load", "png", [](auto&, auto& n) { CRaster r; return r.Load(n.c_str(), RasterFormatPNG); } },
        { "ImageMetadata::ReadFile", "jpg", [](auto&, auto& n) { platform::ImageMetadata m; return m.ReadFile(n); } },
        { "DecodeJpegFile", "jpg", [](auto&, auto& n) { platform::Bitmap32 b; return platform::DecodeJpegFile(n, b); } },
        { "ReadWholeFile", "jpg", [](auto& p, auto&) { std::vector<uint8_t> b; return platform::ReadWholeFile(p, b, 1u << 30); } },
    };
    int made = 0;
    for (const char* kind : { "folder", "pipe", "device", "socket", "sparse" }) {
        for (const Reader& r : readers) {
            // ImageInfo reads the facts of any regular file, a huge one too; it has no pixels
            // to allocate for.
            if (std::string(kind) == "sparse" && std::string(r.name) == "ImageInfo::ReadFile")
                continue;
            const std::string native = dir / (std::string(kind) + "-" + std::to_string(made++) + "." + r.extension);
            int socketFd = -1;
            if (!MakeThing(kind, native, socketFd)) {
                ADD_FAILURE() << "cannot make a " << kind;
                continue;
            }
            const std::u16string path = platform::FromNativePath(native);
            EXPECT_TRUE(RefusedWithoutWaiting([&] { return r.read(path, native); }, native))
                << r.name << " read a " << kind << " named " << native;
            if (socketFd >= 0)
                ::close(socketFd);
        }
    }
}

TEST(BadInput, TheCheckedOpenSaysWhy)
{
    TempFolder dir;
    int socketFd = -1;
    ASSERT_TRUE(MakeThing("folder", dir / "f.jpg", socketFd));
    ASSERT_TRUE(MakeThing("pipe", dir / "p.jpg", socketFd));
    struct Case { std::string path; int error; };
    for (const Case& c : { Case { dir / "f.jpg", EISDIR }, Case { dir / "p.jpg", EINVAL }, Case { "/dev/null", EINVAL },
                           Case { dir / "missing.jpg", ENOENT } }) {
        platform::File f;
        EXPECT_FALSE(f.OpenNative(c.path, platform::FileMode::Read)) << c.path;
        EXPECT_EQ(f.LastError(), c.error) << c.path;
        EXPECT_EQ(platform::OpenFileStream(c.path, platform::FileMode::Read), nullptr) << c.path;
    }
    // A sparse file beyond the caller's limit is refused before anything is allocated.
    ASSERT_TRUE(MakeThing("sparse", dir / "big.jpg", socketFd));
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(platform::ReadFileBytes(dir / "big.jpg", bytes));
    EXPECT_EQ(bytes.capacity(), 0u);
}
