// Argument parsing and the block copy of the copy helper.
#include "copyhelper/CopyHelper.h"

#include "platform/File.h"
#include "platform/Path.h"
#include "platform/SystemMessageBox.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

const char* parse_quoted_arg(const char* text, char (&buffer)[kHelperPathBytes], bool& tooLong)
{
    tooLong = false;
    while (*text == ' ')
        ++text;
    while (*text == '"')
        ++text;
    if (!*text)
        return nullptr;
    const char* end = std::strchr(text, '"');
    const size_t length = end ? size_t(end - text) : std::strlen(text);
    if (length >= kHelperPathBytes) {
        tooLong = true;
        return nullptr;
    }
    std::memcpy(buffer, text, length);
    buffer[length] = 0;
    return end ? end + 1 : nullptr;
}

HelperResult CopyOneFile(const std::string& source, const std::string& destination)
{
    if (source.empty() || destination.empty() || source.size() >= kHelperPathBytes ||
        destination.size() >= kHelperPathBytes)
        return HelperResult::Failed;
    // Writing the destination would empty the source first when both are one file.
    std::error_code ec;
    if (std::filesystem::equivalent(source, destination, ec) && !ec)
        return HelperResult::Copied;

    platform::File in;
    if (!in.Open(platform::FromNativePath(source), platform::FileMode::Read))
        return HelperResult::Failed;
    platform::AtomicFileWriter out;
    if (!out.OpenNative(destination))
        return HelperResult::Failed;
    char block[kHelperCopyBlock];
    for (;;) {
        const int64_t n = in.Read(block, sizeof(block));
        if (n < 0)
            return HelperResult::Failed;
        if (n == 0)
            break;
        if (!out.Write(block, size_t(n)))
            return HelperResult::Failed;
    }
    return out.Commit() ? HelperResult::Copied : HelperResult::Failed;
}

HelperResult copy_file_blocks(const char* rest, const char* source)
{
    char destination[kHelperPathBytes] = {};
    bool tooLong = false;
    // An unclosed destination may be a cut command line: nothing is written then.
    if (!parse_quoted_arg(rest, destination, tooLong))
        return HelperResult::Failed;
    return CopyOneFile(source, destination);
}

int HelperMain(const char* commandLine, bool showMessageBox)
{
    char source[kHelperPathBytes] = {};
    bool tooLong = false;
    const char* rest = parse_quoted_arg(commandLine ? commandLine : "", source, tooLong);
    HelperResult result = rest ? copy_file_blocks(rest, source) : HelperResult::Failed;
    if (result == HelperResult::Failed) {
        std::fprintf(stderr, "%s: %s\n", kHelperFailureCaption, kHelperFailureText);
        if (showMessageBox)
            platform::ShowSystemMessageBox(platform::BackendKind::Sdl, u"Copy", u"Failed to write files");
    }
    return 1;
}

std::string HelperCommandLine(const std::string& source, const std::string& destination)
{
    for (const std::string* p : { &source, &destination })
        if (p->empty() || p->size() >= kHelperPathBytes || p->find('"') != std::string::npos)
            return {};
    return "\"" + source + "\" \"" + destination + "\"";
}

bool FolderIsWritable(const std::string& folder)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string probe = folder + "/.zendra-write-probe-" + std::to_string(attempt);
        platform::File f;
        if (f.Open(platform::FromNativePath(probe), platform::FileMode::CreateNew)) {
            f.Close();
            std::error_code ec;
            std::filesystem::remove(probe, ec);
            return true;
        }
        if (f.LastError() != EEXIST)
            return false;
    }
    return false;
}

std::vector<std::string> CopyHelperArguments(const std::string& helperPath, const std::string& source,
                                             const std::string& destination, bool folderWritable)
{
    std::vector<std::string> args;
    if (!folderWritable)
        args.push_back("pkexec");
    args.push_back(helperPath);
    args.push_back(source);
    args.push_back(destination);
    return args;
}
