// The per-user state: config.dat, the data and program folders, temporary file names.
#include "app/AppData.h"

#include "app/CrashStatus.h"
#include "ui/Registry.h"
#include "imaging/DocStream.h"
#include "imaging/ImageBuffer.h"
#include "platform/Calendar.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Path.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <utility>

using namespace platform;

AppData theAppData;
int VersionDisplayOffsetTenths = 5;

namespace {

std::mutex g_sinkLock;
AppDataMessageSink g_sink;
std::vector<std::u16string> g_unshown;

void ShowMessage(const std::u16string& text)
{
    AppDataMessageSink sink;
    {
        std::lock_guard guard(g_sinkLock);
        sink = g_sink;
        if (!sink)
            g_unshown.push_back(text);
    }
    if (sink)
        sink(text);
    else
        std::fprintf(stderr, "%s\n", Utf16ToUtf8(text).c_str());
}

constexpr char16_t kTempSuffix[] = u".zdtmp";
constexpr size_t kMaxTempName = 63;

void PutFavourite(const FavouriteFolder& f, uint8_t* out)
{
    PutText16(out, f.name, 32);
    PutText16(out + 64, f.path, 1024);
    std::copy(f.extra, f.extra + sizeof f.extra, out + 64 + 2048);
}

void GetFavourite(const uint8_t* in, FavouriteFolder& f)
{
    GetText16(in, f.name, 32);
    GetText16(in + 64, f.path, 1024);
    std::copy(in + 64 + 2048, in + kFavouriteFolderBytes, f.extra);
}

void SetToPictures(char16_t (&folder)[1024])
{
    CopyText(folder, PicturesFolder());
}

class TempNamesAdapter final : public ITempFileNames {
public:
    std::u16string MakeTempFileName(const std::u16string& prefix) override
    {
        return theAppData.MakeTempFileName(prefix);
    }
};

} // namespace

void SetAppDataMessageSink(AppDataMessageSink sink)
{
    std::lock_guard guard(g_sinkLock);
    g_sink = std::move(sink);
}

std::vector<std::u16string> TakeUnshownAppDataMessages()
{
    std::lock_guard guard(g_sinkLock);
    return std::exchange(g_unshown, {});
}

ITempFileNames& AppDataTempFileNames()
{
    static TempNamesAdapter adapter;
    return adapter;
}

bool AppData::AddFavourite(const FavouriteFolder& folder)
{
    // Loading refuses a file of more than 256 favourites: never let the list grow past it.
    if (favourites.size() >= kMaxFavourites)
        return false;
    favourites.push_back(folder);
    return true;
}

int AppData::Load()
{
    favourites.clear();
    std::fill(std::begin(albumStartFolder), std::end(albumStartFolder), u'\0');

    File file;
    if (!file.Open(BufferView(configPath), FileMode::Read)) {
        SetToPictures(albumStartFolder);
        Save();
        return 1;
    }
    uint8_t head[3] = {};
    // A file too short for N counts as one without favourites.
    const uint16_t n = file.ReadExact(head, 3) ? GetU16(head + 1) : 0;
    if (n > kMaxFavourites)
        return 0;

    bool valid = true;
    std::vector<uint8_t> record(kFavouriteFolderBytes);
    for (uint16_t i = 0; i < n && valid; ++i) {
        // A record cut short by the end of the file is not taken.
        if (!file.ReadExact(record.data(), record.size())) {
            valid = false;
            break;
        }
        FavouriteFolder f;
        GetFavourite(record.data(), f);
        favourites.push_back(f);
    }
    uint8_t word[2];
    if (valid && !file.ReadExact(word, 2))
        valid = false;
    if (valid) {
        const uint16_t length = GetU16(word);
        // The field holds 1023 characters and a terminator; a longer one cannot be ours.
        if (length >= kStartFolderChars) {
            valid = false;
        } else {
            std::vector<uint8_t> text(size_t(length) * 2);
            char16_t folder[kStartFolderChars] = {};
            if (!file.ReadExact(text.data(), text.size())) {
                valid = false;
            } else {
                for (size_t i = 0; i < length; ++i)
                    folder[i] = char16_t(GetU16(text.data() + 2 * i));
                folder[length] = 0;
                // A start folder that is gone (the album writes the shown folder at every
                // selection) costs only itself: the favourites and scan folders stay.
                if (IsDirectory(StringView16(folder, length)))
                    std::copy(folder, folder + kStartFolderChars, albumStartFolder);
                else
                    SetToPictures(albumStartFolder);
            }
        }
    }
    if (!valid) {
        favourites.clear();
        SetToPictures(albumStartFolder);
        return 1;
    }
    scanFolders.clear();
    if (file.ReadExact(word, 2)) {
        const uint16_t m = GetU16(word);
        std::vector<uint8_t> scan(kScanFolderEntryBytes);
        for (uint16_t i = 0; i < m && file.ReadExact(scan.data(), scan.size()); ++i) {
            ScanFolderEntry e;
            GetText16(scan.data(), e.path, 1024);
            scanFolders.push_back(e);
        }
    }
    return 1;
}

void AppData::Save()
{
    // Capped as loading accepts them: a longer list would make every later start fail.
    const size_t n = std::min(favourites.size(), kMaxFavourites);
    const size_t length = TextLength(albumStartFolder, kStartFolderChars - 1);
    const size_t m = std::min<size_t>(scanFolders.size(), 0xFFFF);

    std::vector<uint8_t> out(1 + 2 + n * kFavouriteFolderBytes + 2 + length * 2 + 2 + m * kScanFolderEntryBytes);
    uint8_t* p = out.data();
    *p++ = 1;
    PutU16(p, uint16_t(n));
    p += 2;
    for (size_t i = 0; i < n; ++i, p += kFavouriteFolderBytes)
        PutFavourite(favourites[i], p);
    PutU16(p, uint16_t(length));
    p += 2;
    for (size_t i = 0; i < length; ++i, p += 2)
        PutU16(p, albumStartFolder[i]);
    PutU16(p, uint16_t(m));
    p += 2;
    for (size_t i = 0; i < m; ++i, p += kScanFolderEntryBytes)
        PutText16(p, scanFolders[i].path, 1024);

    // A new file put in place whole: a crash while writing keeps the old settings.
    AtomicFileWriter writer;
    if (!writer.Open(BufferView(configPath)) || !writer.Write(out.data(), out.size()) || !writer.Commit())
        ShowMessage(kAppDataWriteFailedText);
}

std::u16string AppData::MakeTempFileName(const std::u16string& prefix)
{
    return MakeTempFileName(prefix, int64_t(std::time(nullptr)));
}

std::u16string AppData::MakeTempFileName(const std::u16string& prefix, int64_t nowSeconds)
{
    const String16 folder = PrivateTempFolder();
    if (folder.empty())
        return {};
    // The low 32 bits of the time as a signed number, as the names have always had.
    uint32_t number = uint32_t(uint64_t(nowSeconds));
    // Two histories opened in one second must not share one data file: take the next number
    // while the name is taken, in this run or on disk.
    for (int attempt = 0; attempt < 100000; ++attempt, ++number) {
        const String16 digits = IntToText(int32_t(number));
        String16 head = prefix.substr(0, kMaxTempName - digits.size() - (std::size(kTempSuffix) - 1));
        const String16 name = head + digits + kTempSuffix;
        if (std::find(tempNames.begin(), tempNames.end(), name) != tempNames.end())
            continue;
        const String16 path = JoinPath(folder, name);
        if (PathExists(path))
            continue;
        tempNames.push_back(name);
        return path;
    }
    return {};
}

bool AppData::AdoptTempFile(const std::u16string& path)
{
    const String16 folder = PrivateTempFolder();
    if (folder.empty() || path.empty() || ParentFolder(path) != folder)
        return false;
    const String16 name(FileNamePart(path));
    if (name.empty() || name.size() > kMaxTempName)
        return false;
    if (std::find(tempNames.begin(), tempNames.end(), name) == tempNames.end())
        tempNames.push_back(name);
    return true;
}

void DeleteRunTempFiles()
{
    const String16 folder = PrivateTempFolder();
    if (folder.empty())
        return;
    for (const auto& name : theAppData.tempNames)
        DeleteFile(JoinPath(folder, name)); // names whose file never existed fail quietly
}

void DeleteStaleTempFiles()
{
    DeleteStaleTempFiles(int64_t(std::time(nullptr)));
}

void DeleteStaleTempFiles(int64_t nowSeconds)
{
    const String16 folder = PrivateTempFolder();
    if (folder.empty())
        return;
    std::vector<FileInfo> files;
    if (!ListFolder(folder, u"*.zdtmp", files))
        return;
    // A crash's histories wait for a recovery (perhaps refused this time, or this run is a
    // second copy); a running program's may have been idle for days.
    std::vector<std::u16string> named;
    if (!CrashStatusDataFiles(JoinPath(folder, kCrashStatusFileName), named))
        return;
    for (const auto& f : files) {
        if (f.isDirectory)
            continue;
        const String16 path = JoinPath(folder, f.name);
        if (std::find(named.begin(), named.end(), path) != named.end() ||
            std::find(theAppData.tempNames.begin(), theAppData.tempNames.end(), f.name) != theAppData.tempNames.end())
            continue;
        // The last-write date in UTC, taken as a local date at midnight.
        CalendarTime date;
        if (!CalendarFromUnix(FileTimeToUnixSeconds(f.lastWrite), false, date) || date.year < 1900)
            continue;
        date.hour = date.minute = date.second = 0;
        int64_t midnight = 0;
        if (!UnixFromLocalCalendar(date, midnight))
            continue;
        const int64_t age = (nowSeconds - midnight) / 86400;
        if (age < 2)
            continue;
        File held;
        if (held.Open(path, FileMode::Read) && !held.TryLock(true))
            continue; // a running program's history
        held.Close();
        DeleteFile(path);
    }
}

int InitAppData()
{
    const int64_t runStart = int64_t(std::time(nullptr));
    // Saves are noted while in flight; what killed runs' saves left goes now (before this run
    // saves anything, config.dat included).
    if (const String16 temp = PrivateTempFolder(); !temp.empty()) {
        const String16 journal = JoinPath(temp, u"saves");
        if (CreateFolder(journal) || IsDirectory(journal)) {
            SetSaveJournalFolder(journal);
            RemoveKilledSaveFiles(runStart);
        }
    }
    const String16 userData = UserDataFolder();
    // The shell's "create" flag: a new account may not have the folder yet.
    if (userData.empty() || !CreateFolders(userData))
        return 0;
    const String16 dataFolder = WithTrailingSeparator(JoinPath(userData, u"Zendra"));
    if (dataFolder.size() + 10 >= 1024 || !CreateFolder(dataFolder))
        return 0;
    CopyText(theAppData.dataFolder, dataFolder);
    CopyText(theAppData.configPath, dataFolder + u"config.dat");
    if (!theAppData.Load())
        return 0;

    const String16 program = ProgramPath();
    const String16 programFolder = ProgramFolder();
    CopyText(theAppData.programFolder, programFolder.empty() ? String16() : WithTrailingSeparator(programFolder));
    WriteRegistryString(u"Program", u"Path", program.c_str());

    const uint32_t edition = ReadRegistryDword(u"Version", u"Kestrune", 0, 0);
    theAppData.EditionFlag.store(edition ? 1 : 0);
    VersionDisplayOffsetTenths = edition ? 34 : 5;
    return 1;
}
