// Small helpers for tests that make image files with outside tools and read them back.
#pragma once

#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace testutil {

// A fresh folder per test, removed at the end.
class TempFolder {
public:
    TempFolder()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "zdtest-XXXXXX").string();
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        m_path = ::mkdtemp(buf.data());
    }
    ~TempFolder() { std::error_code ec; std::filesystem::remove_all(m_path, ec); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& path() const { return m_path; }
    size_t CountEntries() const
    {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(m_path))
            ++n;
        return n;
    }

private:
    std::string m_path;
};

inline std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline int Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

inline std::string Output(const std::string& command)
{
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buf;
        size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            out.append(buf.data(), n);
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

inline std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Makes a picture with ImageMagick (by full path: another convert may shadow it).
inline bool Convert(const std::string& args, const std::string& out)
{
    return Shell("/usr/bin/convert " + args + " " + Quote(out)) == 0;
}

inline std::string ExifTool(const std::string& args, const std::string& file)
{
    return Output("exiftool -s3 -n " + args + " " + Quote(file) + " 2>/dev/null");
}

// The entropy-coded data of a JPEG: everything from the first start-of-scan marker on.
inline std::vector<uint8_t> JpegScanData(const std::vector<uint8_t>& file)
{
    for (size_t i = 2; i + 4 <= file.size();) {
        if (file[i] != 0xFF)
            return {};
        uint8_t marker = file[i + 1];
        if (marker == 0xDA)
            return std::vector<uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(i), file.end());
        size_t len = (size_t(file[i + 2]) << 8) | file[i + 3];
        i += 2 + len;
    }
    return {};
}

// While it is in force, files larger than bytes cannot be written by this process (as on a
// full disk); unlike a read-only folder, this stops root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace testutil
