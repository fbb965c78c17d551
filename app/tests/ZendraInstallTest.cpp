// The program installed as a desktop program: `cmake --install` into a prefix with blanks, the
// installed program finding its folder under share/ (and refusing the start with the "errinit"
// text when that folder is missing or unreadable), the desktop files passing their validators,
// the desktop's MIME database and default application taking them, and "Open with" (xdg-open
// running the desktop entry's Exec line) opening a photo whose path has blanks. It also makes
// the screenshot the AppStream description points to.
#include "imaging/Document.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ProjectFile.h"
#include "platform/Text.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using namespace testx;

// Runs a shell command; its output (stdout and stderr) and exit code.
struct Result {
    std::string out;
    int code = -1;
};
Result Sh(const std::string& command)
{
    const std::string text = RunCapture("{ " + command + " ; } 2>&1; echo \"rc=$?\"");
    Result r;
    const size_t at = text.rfind("rc=");
    if (at == std::string::npos)
        return r;
    r.out = text.substr(0, at);
    r.code = std::atoi(text.c_str() + at + 3);
    return r;
}

std::string Q(const fs::path& p)
{
    return "'" + p.string() + "'";
}

bool Have(const char* tool)
{
    return Sh(std::string("command -v ") + tool).code == 0;
}

// The build installed into <tmp>/zendra-install-<pid>/pre fix, removed at the end.
struct Installed {
    fs::path root, prefix;
    Result install;
    Installed()
    {
        const char* tmp = std::getenv("TMPDIR");
        static int counter = 0;
        root = fs::path(tmp ? tmp : "/tmp") /
               ("zendra-install-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        prefix = root / "pre fix";
        fs::remove_all(root);
        fs::create_directories(root);
        install = Sh("'" ZENDRA_CMAKE_COMMAND "' --install '" ZENDRA_BINARY_DIR "' --prefix " + Q(prefix));
    }
    ~Installed()
    {
        std::error_code ec;
        fs::permissions(prefix / "share" / "zendra", fs::perms::owner_all | fs::perms::group_read |
                                                          fs::perms::group_exec | fs::perms::others_read |
                                                          fs::perms::others_exec, ec);
        fs::remove_all(root, ec);
    }
    // Every file below the prefix, relative to it, sorted.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(prefix))
            if (!e.is_directory())
                files.push_back(fs::relative(e.path(), prefix).string());
        std::sort(files.begin(), files.end());
        return files;
    }
};

// A child in a process group of its own with its stdout read through a pipe; the whole group
// (xdg-open and the program it starts) is ended with it.
class GroupChild {
public:
    GroupChild() = default;
    GroupChild(const GroupChild&) = delete;
    GroupChild& operator=(const GroupChild&) = delete;
    ~GroupChild()
    {
        // Also when xdg-open has ended: the program it started may still run.
        if (m_group > 0)
            kill(-m_group, SIGTERM);
        if (m_pid > 0 && !WaitExit(std::chrono::seconds(5))) {
            kill(-m_group, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            close(m_out);
    }
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env, int& outFd)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        std::vector<char*> argv, envp;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        const int rc = posix_spawnp(&m_pid, argv[0], &actions, &attr, argv.data(), envp.data());
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            m_pid = -1;
            close(fds[0]);
            return false;
        }
        m_group = m_pid;
        m_out = outFd = fds[0];
        return true;
    }
    pid_t Pid() const { return m_group; }
    bool WaitExit(std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        while (m_pid > 0 && Clock::now() < end) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return m_pid <= 0;
    }

private:
    pid_t m_pid = -1, m_group = -1;
    int m_out = -1;
};

// An environment of its own for the program: settings, data, cache and temporary folders below
// `home`, the system libraries' leaks suppressed.
std::string ProgramEnv(const fs::path& home)
{
    return "env HOME=" + Q(home) + " XDG_CONFIG_HOME=" + Q(home / "config") + " XDG_DATA_HOME=" + Q(home / "data") +
           " XDG_CACHE_HOME=" + Q(home / "cache") + " TMPDIR=" + Q(home / "tmp") +
           " LSAN_OPTIONS=suppressions=" + zendratest::kLeakSuppressions + " ";
}

fs::path MakeHome(const fs::path& at)
{
    fs::create_directories(at / "tmp");
    return at;
}

// A photo with blanks in its folder and name: sky, sun and hills, so that a screenshot shows it.
fs::path MakePhoto(const fs::path& folder)
{
    fs::create_directories(folder);
    const fs::path photo = folder / "evening hills.jpg";
    Sh("convert -size 1600x1000 gradient:'#2b5f8f'-'#f2b36b' -fill '#f7d58b' -draw 'circle 1130,610 1130,520' "
       "-fill '#3d4a5a' -draw 'polygon 0,760 220,560 420,700 640,520 900,720 1120,600 1380,740 1600,640 1600,1000 "
       "0,1000' -fill '#27313b' -draw 'polygon 0,860 300,720 560,840 820,760 1100,880 1400,800 1600,870 1600,1000 "
       "0,1000' -fill '#1b2229' -draw 'polygon 0,1000 0,930 400,890 800,950 1200,900 1600,960 1600,1000' "
       "-quality 92 " + Q(photo));
    return photo;
}

// The desktop of one user: the installed share/ folders copied into a private XDG_DATA_HOME as a
// per-user install would place them, and the databases the desktop reads built from them.
struct UserDesktop {
    fs::path data, config;
    Result mime, apps;
    UserDesktop(const Installed& installed, const fs::path& at)
    {
        data = at / "data";
        config = at / "config";
        fs::create_directories(data / "mime");
        fs::create_directories(config);
        for (const char* part : {"applications", "mime/packages", "icons"})
            fs::copy(installed.prefix / "share" / part, data / part, fs::copy_options::recursive);
        mime = Sh("update-mime-database " + Q(data / "mime"));
        apps = Sh("update-desktop-database " + Q(data / "applications"));
    }
    // The environment of a desktop that is no known one (xdg-utils' generic mode), with this
    // user's folders; the system's own data stays visible.
    std::string Env() const
    {
        return "env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u GNOME_DESKTOP_SESSION_ID -u KDE_FULL_SESSION "
               "XDG_DATA_HOME=" + Q(data) + " XDG_CONFIG_HOME=" + Q(config) + " XDG_DATA_DIRS=/usr/local/share:/usr/share ";
    }
};

} // namespace

TEST(ZendraInstall, InstallsIntoAPrefixWithBlanksAndStartsFromThere)
{
    Installed in;
    ASSERT_EQ(in.install.code, 0) << in.install.out;
    const std::vector<std::string> files = in.Files();
    std::printf("installed tree (%zu files):\n", files.size());
    for (const std::string& f : files)
        std::printf("  %s\n", f.c_str());
    const std::set<std::string> have(files.begin(), files.end());
    std::vector<std::string> wanted = {
        "bin/zendra", "bin/marrowby", "share/zendra/basic/resource.txt", "share/zendra/basic/Localize/Deutsch.txt",
        "share/zendra/skin/maintabframe.png", "share/zendra/Tarnwick.pdf", "share/applications/zendra.desktop",
        "share/mime/packages/zendra.xml", "share/metainfo/org.example.zendra.metainfo.xml",
        "share/icons/hicolor/scalable/apps/zendra.svg",
        "share/icons/hicolor/scalable/mimetypes/application-x-zendra-project.svg"};
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const std::string folder = "share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size);
        wanted.push_back(folder + "/apps/zendra.png");
        wanted.push_back(folder + "/mimetypes/application-x-zendra-project.png");
    }
    for (const std::string& w : wanted)
        EXPECT_TRUE(have.count(w)) << w;
    // The whole program folder of the build is there, but its executables (installed in bin/)
    // and the pictures made for developers.
    const fs::path built = fs::path(ZENDRA_BINARY_DIR) / "zendra";
    for (const auto& e : fs::recursive_directory_iterator(built)) {
        if (e.is_directory())
            continue;
        const std::string rel = fs::relative(e.path(), built).string();
        const bool left = rel == "zendra" || rel == "marrowby" || rel == "contact-sheet.png" ||
                          rel == "dialog-previews.png";
        EXPECT_EQ(have.count("share/zendra/" + rel), left ? 0u : 1u) << rel;
    }
    for (const std::string& f : files)
        EXPECT_TRUE(f.starts_with("bin/") || f.starts_with("share/")) << f;

    // The installed program finds share/zendra from bin/ and draws its first frame.
    const fs::path home = MakeHome(in.root / "home");
    const Result run = Sh(ProgramEnv(home) + Q(in.prefix / "bin" / "zendra") + " --backend=headless");
    EXPECT_EQ(run.code, 0) << run.out;
    EXPECT_NE(run.out.find("zendra: presented"), std::string::npos) << run.out;
    const Result version = Sh(Q(in.prefix / "bin" / "zendra") + " --version");
    EXPECT_EQ(version.out, std::string("zendra ") + ZENDRA_VERSION + "\n");
}

TEST(ZendraInstall, AMissingOrUnreadableProgramFolderRefusesTheStartWithTheInitText)
{
    Installed in;
    ASSERT_EQ(in.install.code, 0) << in.install.out;
    const fs::path folder = in.prefix / "share" / "zendra", aside = in.root / "aside";
    const bool root = getuid() == 0;
    enum Kind { Missing, Unreadable, Empty, TableIsAFolder };
    struct Case { Kind kind; const char* why; };
    const Case cases[] = {
        {Missing, "no share/zendra"},
        {Unreadable, "share/zendra closed to the user"},
        {Empty, "an empty share/zendra"},
        {TableIsAFolder, "basic/resource.txt is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fs::rename(folder, aside);
        switch (c.kind) {
        case Missing: break;
        case Unreadable:
            fs::create_directory(folder);
            fs::copy(aside, folder, fs::copy_options::recursive);
            fs::permissions(folder, fs::perms::none);
            break;
        case Empty: fs::create_directory(folder); break;
        case TableIsAFolder:
            fs::copy(aside, folder, fs::copy_options::recursive);
            fs::remove(folder / "basic" / "resource.txt");
            fs::create_directory(folder / "basic" / "resource.txt");
            break;
        }
        const fs::path home = MakeHome(in.root / ("home-" + std::to_string(int(c.kind))));
        // The administrator reads every folder: a closed one is tried without that right (the
        // checkout may lie in /root, which no other user may enter).
        const std::string as = root && c.kind == Unreadable
                                   ? "setpriv --inh-caps=-all --bounding-set=-dac_override,-dac_read_search "
                                   : "";
        const Result run = Sh(as + ProgramEnv(home) + Q(in.prefix / "bin" / "zendra") + " --backend=headless");
        EXPECT_EQ(run.code, 1) << run.out;
        EXPECT_NE(run.out.find("Zendra: Error init string"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("cannot start from the program folder " + folder.string()), std::string::npos)
            << run.out;
        EXPECT_EQ(run.out.find("AddressSanitizer"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("runtime error"), std::string::npos) << run.out;
        std::error_code ec;
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder);
        fs::rename(aside, folder);
    }
}

TEST(ZendraInstall, DesktopFilesPassTheirValidators)
{
    if (!Have("desktop-file-validate") || !Have("appstreamcli"))
        GTEST_SKIP() << "desktop-file-utils or appstream is missing (scripts/setup.sh test installs them)";
    Installed in;
    ASSERT_EQ(in.install.code, 0) << in.install.out;
    const Result desktop = Sh("desktop-file-validate " + Q(in.prefix / "share/applications/zendra.desktop"));
    std::printf("desktop-file-validate: rc %d, output \"%s\"\n", desktop.code, desktop.out.c_str());
    EXPECT_EQ(desktop.code, 0);
    EXPECT_EQ(desktop.out, "") << "no error, warning or hint";
    const Result meta = Sh("appstreamcli validate --no-net --pedantic " +
                           Q(in.prefix / "share/metainfo/org.example.zendra.metainfo.xml"));
    std::printf("appstreamcli validate --no-net --pedantic: rc %d, output \"%s\"\n", meta.code, meta.out.c_str());
    EXPECT_EQ(meta.code, 0);
    EXPECT_NE(meta.out.find("Validation was successful"), std::string::npos) << meta.out;
    EXPECT_EQ(meta.out.find("I:"), std::string::npos) << meta.out;
    EXPECT_EQ(meta.out.find("W:"), std::string::npos) << meta.out;
    EXPECT_EQ(meta.out.find("P:"), std::string::npos) << meta.out;
    // The description names the version users see and the screenshot's real size.
    std::ifstream metainfo(in.prefix / "share/metainfo/org.example.zendra.metainfo.xml");
    const std::string text((std::istreambuf_iterator<char>(metainfo)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(std::string("<release version=\"") + ZENDRA_VERSION + "\""), std::string::npos);
    const Result shot = Sh("identify -format '%wx%h' '" ZENDRA_SOURCE_DIR "/resources/desktop/zendra-editor.png'");
    ASSERT_EQ(shot.code, 0) << shot.out;
    const std::string size = shot.out;
    EXPECT_NE(text.find("width=\"" + size.substr(0, size.find('x')) + "\" height=\"" + size.substr(size.find('x') + 1) +
                        "\""),
              std::string::npos)
        << size;
}

TEST(ZendraInstall, TheDesktopKnowsTheProjectTypeAndOpensPhotosWithZendra)
{
    if (!Have("update-mime-database") || !Have("update-desktop-database") || !Have("xdg-mime") || !Have("mimetype"))
        GTEST_SKIP() << "shared-mime-info, desktop-file-utils, xdg-utils or libfile-mimeinfo-perl is missing "
                        "(scripts/setup.sh test installs them)";
    Installed in;
    ASSERT_EQ(in.install.code, 0) << in.install.out;
    const UserDesktop user(in, in.root / "user");
    ASSERT_EQ(user.mime.code, 0) << user.mime.out;
    ASSERT_EQ(user.apps.code, 0) << user.apps.out;

    // Files of each kind: a project saved by the program's own code, the same without its
    // extension (found by its header), a photo, and a text file named like a project.
    const fs::path files = in.root / "my files";
    const fs::path photo = MakePhoto(files);
    CZDDoc doc;
    ASSERT_TRUE(doc.OpenImage(photo.u16string()));
    ASSERT_EQ(SaveProjectFile((files / "trip.zdoc").u16string(), doc, nullptr), ProjectSaveResult::Saved);
    fs::copy_file(files / "trip.zdoc", files / "trip");
    std::ofstream(files / "notes.txt") << "not a project\n";
    struct Case { fs::path file; const char* type; };
    const Case cases[] = {
        {files / "trip.zdoc", "application/x-zendra-project"},
        {files / "trip", "application/x-zendra-project"},
        {photo, "image/jpeg"},
        {files / "notes.txt", "text/plain"},
    };
    for (const Case& c : cases) {
        const Result r = Sh(user.Env() + "xdg-mime query filetype " + Q(c.file));
        std::printf("xdg-mime query filetype %s: %s", c.file.filename().c_str(), r.out.c_str());
        EXPECT_EQ(r.out, std::string(c.type) + "\n") << c.file;
    }
    for (const char* type : {"image/jpeg", "image/png", "image/x-canon-cr2", "application/x-zendra-project"}) {
        const Result r = Sh(user.Env() + "xdg-mime query default " + type);
        std::printf("xdg-mime query default %s: %s", type, r.out.c_str());
        EXPECT_EQ(r.out, "zendra.desktop\n") << type;
    }
}

TEST(ZendraInstall, OpenWithRunsTheExecLineOnAPathWithBlanks)
{
    if (!Have("xdg-open") || !Have("update-desktop-database") || !Have("mimetype"))
        GTEST_SKIP() << "xdg-utils, desktop-file-utils or libfile-mimeinfo-perl is missing";
    Installed in;
    ASSERT_EQ(in.install.code, 0) << in.install.out;
    const UserDesktop user(in, in.root / "user");
    ASSERT_EQ(user.apps.code, 0) << user.apps.out;
    const fs::path photo = MakePhoto(in.root / "my photos");
    const fs::path home = MakeHome(in.root / "home");

    // The screen of the description's screenshot. A client that stays connected keeps the
    // server (which ends with its last client) alive while xdg-open's helpers come and go.
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start("1280x800x24"));
    Child keeper;
    ASSERT_TRUE(keeper.Start({"xprop", "-display", xvfb.Name(), "-root", "-spy"}, Environment({}), -1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<std::pair<std::string, std::string>> vars = {
        {"DISPLAY", xvfb.Name()},
        {"PATH", (in.prefix / "bin").string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")},
        {"XDG_DATA_HOME", user.data.string()},
        {"XDG_CONFIG_HOME", user.config.string()},
        {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"},
        {"XDG_CACHE_HOME", (home / "cache").string()},
        {"HOME", home.string()},
        {"TMPDIR", (home / "tmp").string()},
        {"ZENDRA_REPORT_PIXELS", "1"},
        {"LSAN_OPTIONS", "suppressions=" + zendratest::kLeakSuppressions},
    };
    GroupChild open;
    int outFd = -1;
    ASSERT_TRUE(open.Start({"env", "-u", "XDG_CURRENT_DESKTOP", "-u", "DESKTOP_SESSION", "xdg-open", photo.string()},
                           Environment(vars), outFd));
    std::string said;
    const std::string tab = "zendra: tab " + photo.string() + " 1600x1000";
    EXPECT_TRUE(ReadUntil(outFd, "photo shown in", std::chrono::seconds(90), said)) << said;
    ReadUntil(outFd, tab, std::chrono::seconds(10), said);
    EXPECT_NE(said.find(tab), std::string::npos) << "the exact path with its blanks\n" << said;

    // The photo on the screen: the sun's yellow and the sky's blue, scaled into the editor.
    Screenshot shot;
    size_t sun = 0, sky = 0;
    for (int attempt = 0; attempt < 40 && (sun < 500 || sky < 5000); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (!TakeScreenshot(xvfb.Display(), shot))
            continue;
        sun = sky = 0;
        for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3) {
            const int r = shot.rgb[i], g = shot.rgb[i + 1], b = shot.rgb[i + 2];
            sun += std::abs(r - 0xF7) < 12 && std::abs(g - 0xD5) < 12 && std::abs(b - 0x8B) < 12;
            sky += std::abs(r - 0x2B) < 12 && std::abs(g - 0x5F) < 14 && std::abs(b - 0x8F) < 14;
        }
    }
    EXPECT_GT(sun, 500u) << "the photo's sun is not on the screen";
    EXPECT_GT(sky, 5000u) << "the photo's sky is not on the screen";
    // The description's screenshot: the window, for a person to look at and publish (the one
    // kept in resources/desktop/ has the same size, which the description states).
    const std::string id = zendratest::FindWindow(xvfb);
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    ASSERT_GT(g.width, 0);
    const std::string saved = std::string(ZENDRA_BINARY_DIR) + "/desktop/zendra-editor.png";
    const std::string crop = std::to_string(g.width) + "x" + std::to_string(g.height) + "+" + std::to_string(g.x) +
                             "+" + std::to_string(g.y);
    EXPECT_EQ(Sh("xwd -root -silent -display " + xvfb.Name() + " | convert xwd:- -crop " + crop + " +repage '" + saved +
                 "'")
                  .code,
              0);
    const Result kept = Sh("identify -format '%wx%h' '" ZENDRA_SOURCE_DIR "/resources/desktop/zendra-editor.png'");
    EXPECT_EQ(kept.out, std::to_string(g.width) + "x" + std::to_string(g.height));
    std::printf("screenshot: %s (%s)\n", saved.c_str(), crop.c_str());

    // The window is the program xdg-open started; ending it ends xdg-open.
    const int pid = std::atoi(RunCapture("env DISPLAY=" + xvfb.Name() + " xdotool getwindowpid " + id).c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(getpgid(pid), open.Pid());
    kill(pid, SIGTERM);
    EXPECT_TRUE(open.WaitExit(std::chrono::seconds(20)));
}

// The Debian package of this build: made by CPack from the same install, its control fields,
// its library dependencies as dpkg-shlibdeps found them, and its files. The test build is an
// ASan build, so its package also needs the sanitizer runtimes; the Release package is made and
// installed on a clean system by scripts/fresh-check.sh.
TEST(ZendraPackage, TheDebianPackageHoldsTheInstalledTreeAndItsLibraries)
{
    if (!Have("dpkg-deb") || !Have("dpkg-shlibdeps"))
        GTEST_SKIP() << "dpkg-dev is missing";
    Installed in;
    ASSERT_EQ(in.install.code, 0) << in.install.out;
    const fs::path out = in.root / "package";
    const Result made = Sh("'" ZENDRA_CPACK_COMMAND "' --config '" ZENDRA_BINARY_DIR "/CPackConfig.cmake' -B " + Q(out));
    ASSERT_EQ(made.code, 0) << made.out;
    const fs::path deb = out / (std::string("zendra_") + ZENDRA_VERSION + "_amd64.deb");
    ASSERT_TRUE(fs::exists(deb)) << made.out;

    const Result info = Sh("dpkg-deb --info " + Q(deb));
    std::printf("dpkg-deb --info:\n%s", info.out.c_str());
    ASSERT_EQ(info.code, 0);
    for (const char* field : {" Package: zendra\n", " Architecture: amd64\n", " Section: graphics\n",
                              " Recommends: zenity, fonts-dejavu-extra\n"})
        EXPECT_NE(info.out.find(field), std::string::npos) << field;
    EXPECT_NE(info.out.find(std::string(" Version: ") + ZENDRA_VERSION + "\n"), std::string::npos);
    const size_t at = info.out.find(" Depends: ");
    ASSERT_NE(at, std::string::npos);
    const std::string depends = info.out.substr(at, info.out.find('\n', at) - at);
    // Every library the installed programs load comes with the package that holds it, and so do
    // the face the texts fall back to and xdg-open.
    std::set<std::string> needed = {"fonts-dejavu-core", "xdg-utils"};
    for (const char* program : {"bin/zendra", "bin/marrowby"}) {
        const Result libs = Sh("objdump -p " + Q(in.prefix / program) + " | awk '$1 == \"NEEDED\" { print $2 }'");
        ASSERT_EQ(libs.code, 0) << libs.out;
        std::stringstream names(libs.out);
        for (std::string soname; std::getline(names, soname);) {
            // The native library, not a copy for another architecture (libc6-i386 also has libc.so.6).
            const Result owner = Sh("dpkg-query -S \"*/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/" + soname +
                                    "\" | head -n 1 | cut -d: -f1");
            ASSERT_FALSE(owner.out.empty()) << soname;
            needed.insert(owner.out.substr(0, owner.out.find('\n')));
        }
    }
    EXPECT_GT(needed.size(), 10u);
    for (const std::string& package : needed)
        EXPECT_NE(depends.find(" " + package), std::string::npos)
            << package << "\n" << depends;
    // Nothing of the test, benchmark or development packages.
    for (const char* never : {"-dev", "gtest", "gmock", "benchmark", "opencv", "vips", "fftw", "lqr", "enfuse",
                              "hugin", "xvfb", "xdotool", "imagemagick", "clang"})
        EXPECT_EQ(depends.find(never), std::string::npos) << never << "\n" << depends;
    const bool sanitized = Sh("nm -D " + Q(in.prefix / "bin/zendra") + " | grep -q __asan_init").code == 0;
    for (const char* runtime : {"libasan", "libubsan"})
        EXPECT_EQ(depends.find(runtime) != std::string::npos, sanitized) << runtime << "\n" << depends;

    // The package's files are the installed tree under /usr.
    const Result contents = Sh("dpkg-deb --contents " + Q(deb) + " | awk '$1 !~ /^d/ { print $6 }' | sort");
    ASSERT_EQ(contents.code, 0) << contents.out;
    std::string expected;
    for (const std::string& f : in.Files())
        expected += "./usr/" + f + "\n";
    EXPECT_EQ(contents.out, expected);
}

// The desktop entry offers the program for every photo type the editor opens that the desktop
// knows by extension (the system's MIME globs), and for no other type but the project file.
TEST(ZendraInstall, TheDesktopEntryListsTheTypesTheEditorOpens)
{
    std::ifstream globs("/usr/share/mime/globs2");
    if (!globs)
        GTEST_SKIP() << "no shared-mime-info database";
    std::set<std::string> opened;
    std::string line;
    while (std::getline(globs, line)) {
        // weight:type:pattern[:flags]
        const size_t a = line.find(':'), b = line.find(':', a + 1);
        if (line.empty() || line[0] == '#' || a == std::string::npos || b == std::string::npos)
            continue;
        const std::string type = line.substr(a + 1, b - a - 1);
        std::string pattern = line.substr(b + 1);
        pattern = pattern.substr(0, pattern.find(':'));
        if (!pattern.starts_with("*.") || pattern.find_first_of("*?[", 2) != std::string::npos)
            continue;
        const std::u16string name = u"x." + platform::Utf8ToUtf16(pattern.substr(2));
        if (ImageTypeFromExtension(name.c_str()) != kImageTypeOther)
            opened.insert(type);
    }
    ASSERT_FALSE(opened.empty());
    std::ifstream entry(ZENDRA_SOURCE_DIR "/resources/desktop/zendra.desktop");
    std::set<std::string> listed;
    while (std::getline(entry, line))
        if (line.starts_with("MimeType=")) {
            std::stringstream types(line.substr(9));
            for (std::string t; std::getline(types, t, ';');)
                if (!t.empty())
                    listed.insert(t);
        }
    opened.insert("application/x-zendra-project");
    EXPECT_EQ(listed, opened);
}
