// A fresh folder per test, removed afterwards, and environment values restored on exit.
#pragma once

#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace platform::test {

class ScopedEnv {
public:
    ScopedEnv() = default;
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second.first)
                setenv(it->first.c_str(), it->second.second.c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
    void Set(const std::string& name, const std::string& value) { Save(name); setenv(name.c_str(), value.c_str(), 1); }
    void Unset(const std::string& name) { Save(name); unsetenv(name.c_str()); }

private:
    void Save(const std::string& name)
    {
        const char* v = getenv(name.c_str());
        m_saved.push_back({name, {v != nullptr, v ? v : ""}});
    }
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> m_saved;
};

class TestFolder {
public:
    TestFolder()
    {
        std::string tmpl = "/tmp/zendra-test-XXXXXX";
        if (char* made = mkdtemp(tmpl.data()))
            m_native = made;
        EXPECT_FALSE(m_native.empty());
    }
    ~TestFolder()
    {
        // Undo read-only marks so the tree can go.
        std::string cmd = "chmod -R u+rwx '" + m_native + "' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) {
        }
        DeleteTree(FromNativePath(m_native));
    }
    String16 Path() const { return FromNativePath(m_native); }
    String16 Path(StringView16 name) const { return JoinPath(Path(), name); }
    const std::string& Native() const { return m_native; }

private:
    std::string m_native;
};

inline bool WriteText(StringView16 path, std::string_view text)
{
    File f;
    return f.Open(path, FileMode::CreateAlways) && f.Write(text.data(), text.size()) && f.Close();
}

inline std::string ReadText(StringView16 path)
{
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, data))
        return "<unreadable>";
    return std::string(data.begin(), data.end());
}

} // namespace platform::test
