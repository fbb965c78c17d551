// The whole program killed with SIGKILL at random moments while it starts and recovers, opens a
// photo, turns it (Ctrl+R, Ctrl+Shift+R), walks its history (Ctrl+Z, Ctrl+Y) and closes; each
// kill is followed by a start that must bring back every tab that was open with the pixels of
// its last step, and with its history: the next run's undo steps are checked against the same
// model. Every tenth kill also moves the clock three days on (the files of the temporary folder
// are aged), so the clean-up of stale files runs over a crash that is two calendar days old.
//
// The program prints a checksum of every document it shows (ZENDRA_REPORT_PIXELS); the test
// computes the checksum of each photo in each of its four orientations itself, and follows a
// model of each tab's steps. While an action is in flight when the kill comes, either the state
// before it or the state after it is right; anything else is a lost or a wrong tab.
//
// ZENDRA_KILL_MOMENTS sets the number of kills (the test set runs 20, within about two minutes
// on two cores; the full check is ZENDRA_KILL_MOMENTS=100), ZENDRA_KILL_SEED the random seed
// (printed, so a failure can be repeated).
#include "editor/EditPage.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/DocumentGeometry.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using namespace testx;
using Ms = std::chrono::milliseconds;

// The program's output, read as it comes.
class Output {
public:
    explicit Output(int fd) : m_fd(fd) {}
    ~Output()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    // Reads for at most ms milliseconds, or until pred holds; true when it holds.
    template <typename Pred>
    bool WaitFor(Pred pred, int ms)
    {
        const auto end = Clock::now() + Ms(ms);
        while (!pred()) {
            const auto left = std::chrono::duration_cast<Ms>(end - Clock::now()).count();
            if (left <= 0 || m_eof)
                return pred();
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, int(std::min<long long>(left, 100))) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = read(m_fd, buf, sizeof buf);
            if (n <= 0) {
                m_eof = true;
                continue;
            }
            text.append(buf, size_t(n));
        }
        return true;
    }
    void ReadToEnd(int ms) { WaitFor([] { return false; }, ms); }
    bool Has(const std::string& what, size_t from = 0) const { return text.find(what, from) != std::string::npos; }
    size_t Count(const std::string& what) const
    {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    // The "zendra: tab <path> <size> <sum>" lines from `from` on, as (path, sum).
    std::vector<std::pair<std::string, uint64_t>> Tabs(size_t from, size_t to = std::string::npos) const
    {
        std::vector<std::pair<std::string, uint64_t>> out;
        std::istringstream in(text.substr(from, to == std::string::npos ? std::string::npos : to - from));
        for (std::string line; std::getline(in, line);) {
            const size_t at = line.find("zendra: tab ");
            if (at == std::string::npos)
                continue;
            std::istringstream fields(line.substr(at + 12));
            std::string path, size, sum;
            if (fields >> path >> size >> sum)
                out.emplace_back(path, std::strtoull(sum.c_str(), nullptr, 16));
        }
        return out;
    }
    std::string text;
    bool Ended() const { return m_eof; }

private:
    int m_fd;
    bool m_eof = false;
};

// One editor tab as the test expects it: the orientation (quarter turns to the right) after
// each history step up to the last one kept, and the current step.
struct Tab {
    std::string path;
    std::vector<int> steps{0};
    int current = 0;
    size_t inherited = 0; // steps written by a killed run
    int Orientation() const { return steps[size_t(current)]; }
    bool Modified(bool recovered) const { return recovered || current != 0; }
};

struct State {
    std::vector<Tab> tabs;        // in tab order
    std::vector<bool> recovered;  // per tab: came back from a crash (unsaved whatever its step)
    Tab* Find(const std::string& path)
    {
        for (Tab& t : tabs)
            if (t.path == path)
                return &t;
        return nullptr;
    }
};

enum class Action { TurnRight, TurnLeft, Undo, Redo };

const char* KeyOf(Action a)
{
    switch (a) {
    case Action::TurnRight: return "ctrl+r";
    case Action::TurnLeft: return "ctrl+shift+r";
    case Action::Undo: return "ctrl+z";
    case Action::Redo: return "ctrl+y";
    }
    return "";
}

void Apply(Tab& t, Action a)
{
    switch (a) {
    case Action::TurnRight:
    case Action::TurnLeft: {
        const int next = (t.Orientation() + (a == Action::TurnRight ? 1 : 3)) % 4;
        t.steps.resize(size_t(t.current) + 1);
        t.steps.push_back(next);
        ++t.current;
        break;
    }
    case Action::Undo: --t.current; break;
    case Action::Redo: ++t.current; break;
    }
}

std::string MakePhoto(const fs::path& path, int w, int h, int seed)
{
    ImageBuffer8 image;
    if (!AllocImage8(image, w, h))
        return {};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.data + (size_t(y) * w + x) * 4;
            p[0] = uint8_t(x * 5 + seed * 40);
            p[1] = uint8_t(y * 7 + seed);
            p[2] = uint8_t((x * y) ^ seed);
            p[3] = 255;
        }
    const bool ok = CodecSaveImage8(image, path.u16string().c_str(), false) != 0;
    FreeImageBuffer(image);
    return ok ? path.string() : std::string();
}

// The checksum the program prints for the photo in each orientation.
bool OrientationSums(const std::string& path, uint64_t (&sums)[4])
{
    BuildGammaTables(); // loading goes through them, as in the program
    CZDDoc doc;
    if (!doc.OpenImage(fs::path(path).u16string()))
        return false;
    for (int r = 0; r < 4; ++r) {
        sums[r] = DocumentChecksum(doc);
        RotateDocumentRight(doc);
    }
    return true;
}

// The clock three days on: every file of the temporary folder three days older.
void AgeTemporaryFiles(const fs::path& folder)
{
    std::error_code ec;
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(72);
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_regular_file(ec))
            fs::last_write_time(entry.path(), old, ec);
}

// Kills the program after a while unless called off first.
class Killer {
public:
    ~Killer() { Disarm(); }
    void Arm(pid_t pid, Ms after)
    {
        Disarm();
        m_cancel = false;
        m_fired = false;
        m_thread = std::thread([this, pid, after] {
            const auto end = Clock::now() + after;
            while (Clock::now() < end)
                if (m_cancel)
                    return;
                else
                    std::this_thread::sleep_for(Ms(5));
            m_fired = true;
            kill(pid, SIGKILL);
        });
    }
    // Calls it off; true when it had fired.
    bool Disarm()
    {
        m_cancel = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_fired;
    }
    bool Fired() const { return m_fired; }

private:
    std::thread m_thread;
    std::atomic<bool> m_cancel{false}, m_fired{false};
};

int EnvNumber(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

} // namespace

TEST(ZendraKill, EveryTabComesBackWithItsLastStepAfterAKillAtAnyMoment)
{
    const int wantedKills = std::max(1, EnvNumber("ZENDRA_KILL_MOMENTS", 20));
    const unsigned seed = unsigned(EnvNumber("ZENDRA_KILL_SEED", int(std::random_device{}() & 0x7FFFFFFF)));
    std::printf("kill test: %d kills, seed %u (ZENDRA_KILL_SEED repeats it)\n", wantedKills, seed);
    std::mt19937 random(seed);
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };

    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    // The server ends with its last client: a watcher keeps it up across the kills.
    Child keeper;
    ASSERT_TRUE(keeper.Start({"xev", "-display", xvfb.Name(), "-root"}, Environment({}), -1));
    std::this_thread::sleep_for(Ms(300));
    zendratest::Home home;
    const fs::path photos = home.root / "photos";
    fs::create_directories(photos);
    const std::vector<std::string> paths = {MakePhoto(photos / "a.jpg", 96, 64, 1),
                                            MakePhoto(photos / "b.png", 80, 60, 2),
                                            MakePhoto(photos / "c.png", 72, 40, 3)};
    std::map<std::string, uint64_t[4]> sums;
    for (const std::string& p : paths) {
        ASSERT_FALSE(p.empty());
        ASSERT_TRUE(OrientationSums(p, sums[p])) << p;
    }
    const auto env = zendratest::ProgramEnvironment(xvfb, home, {{"ZENDRA_REPORT_PIXELS", "1"}});

    // The states a start may find: before and after the action the kill came into.
    std::vector<State> candidates{State{}};
    int kills = 0, runs = 0, agedKills = 0, undoneAfterRecovery = 0;
    int startMs = 4000; // the last start's time to the photo, for start-phase kills
    std::map<std::string, int> killedDuring;
    std::string journal; // what each run did, for a failure's message
    std::string lastOutput;

    while (kills < wantedKills) {
        ++runs;
        SCOPED_TRACE("run " + std::to_string(runs) + ", kills so far " + std::to_string(kills));
        const std::string photo = paths[size_t(between(0, int(paths.size()) - 1))];
        // Where this run's kill comes: during the start (recovery, the open), after one of
        // the actions, or during the close.
        const int nActions = between(1, 6);
        const bool closes = chance(0.3);
        enum Phase { Start, Act, Close } phase = chance(0.2) ? Start : (closes && chance(0.7) ? Close : Act);
        // One in six kills after the last action, with the program idle.
        const int killAfterAction = between(0, nActions);

        zendratest::Killable zendra;
        int fd = -1;
        const auto started = Clock::now();
        ASSERT_TRUE(zendra.Start({zendratest::kProgram, "--backend=sdl", "o", photo}, env, fd));
        Output out(fd);
        Killer killer;
        journal += "run " + std::to_string(runs) + " (" + fs::path(photo).filename().string() + "):";
        auto finishKill = [&](const char* during) {
            killer.Disarm();
            zendra.KillHard();
            out.ReadToEnd(300);
            journal += std::string(" killed during ") + during + "\n";
            lastOutput = out.text;
            ++kills;
            ++killedDuring[during];
            if (kills % 10 == 5) {
                AgeTemporaryFiles(home.root / "tmp");
                ++agedKills;
            }
        };
        // Killed during the start: whatever came back, the same tabs; the photo may be added.
        auto killedAtStart = [&] {
            finishKill("start");
            std::vector<State> next;
            for (State c : candidates) {
                next.push_back(c);
                if (!c.Find(photo)) {
                    c.tabs.push_back(Tab{photo});
                    c.recovered.push_back(false);
                }
                next.push_back(c);
            }
            candidates = next;
        };
        if (phase == Start)
            killer.Arm(zendra.Pid(), Ms(between(50, startMs)));

        // ---- the start: recovery (if asked), then the photo ----
        State state;
        const bool ready = out.WaitFor([&] { return out.Has("zendra: asking whether to recover") || out.Has("zendra: photo shown") || killer.Fired(); }, 90000);
        ASSERT_TRUE(killer.Fired() || !out.Ended()) << "ended by itself\n" << out.text;
        if (killer.Fired()) {
            killedAtStart();
            continue;
        }
        ASSERT_TRUE(ready) << out.text;
        std::string id;
        for (const auto end = Clock::now() + std::chrono::seconds(30); id.empty() && Clock::now() < end && !killer.Fired();) {
            id = zendratest::FindWindow(xvfb);
            if (id.empty())
                std::this_thread::sleep_for(Ms(100));
        }
        if (killer.Fired()) {
            killedAtStart();
            continue;
        }
        ASSERT_FALSE(id.empty()) << RunCapture("env DISPLAY=" + xvfb.Name() + " xdotool search --name . getwindowname %@ 2>&1")
                                 << out.text;
        const size_t askedAt = out.text.find("zendra: asking whether to recover");
        if (askedAt != std::string::npos) {
            // Yes, again if a busy machine dropped the key.
            for (int attempt = 0; attempt < 6 && !out.Has("zendra: recovered ") && !killer.Fired() && !out.Ended(); ++attempt) {
                std::this_thread::sleep_for(Ms(700));
                zendratest::Xdo(xvfb, "windowfocus --sync " + id + " key y");
                out.WaitFor([&] { return out.Has("zendra: recovered ") || killer.Fired(); }, 3000);
            }
        }
        // The start is over with the photo's tab: shown new, or a recovered one chosen (which
        // shows nothing new).
        out.WaitFor([&] {
            if (killer.Fired())
                return true;
            if (askedAt == std::string::npos)
                return out.Has("zendra: photo shown");
            const size_t doneAt = out.text.find("zendra: recovered ");
            if (doneAt == std::string::npos)
                return false;
            const auto recovered = out.Tabs(askedAt, doneAt);
            const bool wasBack = std::any_of(recovered.begin(), recovered.end(), [&](const auto& t) { return t.first == photo; });
            if (wasBack)
                return true;
            const auto later = out.Tabs(doneAt);
            return std::any_of(later.begin(), later.end(), [&](const auto& t) { return t.first == photo; });
        }, 60000);
        if (!killer.Fired())
            out.WaitFor([&] { return killer.Fired(); }, 400); // the tab's choice settles
        if (killer.Disarm()) {
            killedAtStart();
            continue;
        }
        ASSERT_FALSE(out.Ended()) << "ended by itself\n" << out.text;
        startMs = int(std::chrono::duration_cast<Ms>(Clock::now() - started).count());
        if (phase == Start)
            phase = Act; // the start was quicker than the kill: it comes after an action instead

        // What came back: the tabs shown between the question and the count, each with its
        // last sum.
        std::map<std::string, uint64_t> back;
        size_t count = 0;
        if (askedAt != std::string::npos) {
            const size_t doneAt = out.text.find("zendra: recovered ");
            ASSERT_NE(doneAt, std::string::npos) << out.text;
            count = std::strtoul(out.text.c_str() + doneAt + 18, nullptr, 10);
            for (const auto& [path, sum] : out.Tabs(askedAt, doneAt))
                back[path] = sum;
        }
        const State* match = nullptr;
        for (const State& c : candidates) {
            bool same = c.tabs.size() == back.size() && c.tabs.size() == count;
            for (const Tab& t : c.tabs)
                same = same && back.count(t.path) && back[t.path] == sums[t.path][t.Orientation()];
            if (same) {
                match = &c;
                break;
            }
        }
        if (!match) {
            std::string expected;
            for (const State& c : candidates) {
                expected += "\n  {";
                for (const Tab& t : c.tabs)
                    expected += " " + t.path + "@" + std::to_string(t.Orientation());
                expected += " }";
            }
            std::string got;
            for (const auto& [path, sum] : back) {
                int orientation = -1;
                for (int r = 0; r < 4; ++r)
                    if (sums[path][r] == sum)
                        orientation = r;
                got += " " + path + "@" + std::to_string(orientation);
            }
            FAIL() << "after kill " << kills << " (seed " << seed << ") the start brought back {" << got
                   << " } (" << count << " tabs); possible:" << expected << "\n" << out.text << "\nthe runs:\n"
                   << journal << "the last killed run's output:\n" << lastOutput;
        }
        // The recovered tabs go on with their steps up to the last one written.
        for (const Tab& t : match->tabs) {
            Tab kept = t;
            kept.steps.resize(size_t(t.current) + 1);
            kept.inherited = kept.steps.size();
            state.tabs.push_back(kept);
            state.recovered.push_back(true);
        }
        if (!state.Find(photo)) {
            state.tabs.push_back(Tab{photo});
            state.recovered.push_back(false);
        }
        candidates = {state};

        // ---- the actions on the photo's tab ----
        bool endedByKill = false;
        for (int i = 0; i < nActions; ++i) {
            Tab& tab = *state.Find(photo);
            std::vector<Action> possible = {Action::TurnRight, Action::TurnLeft};
            if (tab.current > 0) {
                possible.push_back(Action::Undo);
                possible.push_back(Action::Undo); // walking back matters most
            }
            if (size_t(tab.current) + 1 < tab.steps.size())
                possible.push_back(Action::Redo);
            const Action a = possible[size_t(between(0, int(possible.size()) - 1))];
            State after = state;
            Apply(*after.Find(photo), a);
            const uint64_t expect = sums[photo][after.Find(photo)->Orientation()];
            const size_t mark = out.text.size();
            journal += std::string(" ") + KeyOf(a);
            zendratest::Xdo(xvfb, std::string("windowfocus --sync ") + id + " key " + KeyOf(a));
            if (phase == Act && i == killAfterAction) {
                std::this_thread::sleep_for(Ms(between(0, 250)));
                candidates = {state, after};
                finishKill(a == Action::Undo || a == Action::Redo ? "undo/redo" : "turn");
                endedByKill = true;
                break;
            }
            const bool confirmed = out.WaitFor([&] {
                for (const auto& [path, sum] : out.Tabs(mark))
                    if (path == photo && sum == expect)
                        return true;
                return false;
            }, 20000);
            ASSERT_TRUE(confirmed) << "action " << KeyOf(a) << " to " << std::hex << expect << " (of " << sums[photo][0] << " "
                                   << sums[photo][1] << " " << sums[photo][2] << " " << sums[photo][3] << std::dec << ") not seen\n"
                                   << out.text;
            // An undo onto a step that a killed run wrote: its history came back with the tab.
            if (a == Action::Undo && size_t(tab.current) - 1 < tab.inherited && tab.inherited > 1)
                ++undoneAfterRecovery;
            state = after;
            candidates = {state};
        }
        if (!endedByKill && !closes) {
            // No close planned and no kill yet: the kill comes while the program is idle.
            candidates = {state};
            finishKill("idle");
            endedByKill = true;
        }
        if (endedByKill)
            continue;

        // ---- the close: the question, then each unsaved tab's question, last tab first ----
        const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
        if (phase == Close)
            killer.Arm(zendra.Pid(), Ms(between(0, 2500)));
        int unsaved = 0;
        for (size_t i = 0; i < state.tabs.size(); ++i)
            unsaved += state.tabs[i].Modified(state.recovered[i]) ? 1 : 0;
        candidates = {state, State{}};
        for (int attempt = 0; attempt < 4 && !out.Has("zendra: message box result") && !killer.Fired() && !out.Ended(); ++attempt) {
            zendratest::Xdo(xvfb, "mousemove " + std::to_string(g.x + g.width - 19) + " " + std::to_string(g.y + 15) +
                                      " sleep 0.2 click 1 sleep 1.0 key y");
            out.WaitFor([&] { return out.Has("zendra: message box result") || killer.Fired(); }, 3000);
        }
        for (int n = 1; n <= unsaved && !killer.Fired() && !out.Ended(); ++n) {
            out.WaitFor([&] { return out.Count("zendra: asking to close unsaved") >= size_t(n) || killer.Fired() || out.Ended(); }, 20000);
            if (killer.Fired() || out.Ended())
                break;
            ASSERT_EQ(out.Count("zendra: asking to close unsaved"), size_t(n)) << out.text;
            // No (close without saving) once the question is up; again only when nothing
            // follows for a while.
            for (int attempt = 0; attempt < 3; ++attempt) {
                std::this_thread::sleep_for(Ms(600));
                zendratest::Xdo(xvfb, "key n");
                if (out.WaitFor([&] { return out.Count("zendra: asking to close unsaved") > size_t(n) || out.Has("zendra: closed in") || out.Ended() || killer.Fired(); }, 4000))
                    break;
            }
        }
        int status = 0;
        const bool ended = !killer.Fired() && zendra.WaitExit(30, status);
        if (killer.Disarm()) {
            finishKill("close"); // before or after the close: both are candidates
            continue;
        }
        ASSERT_TRUE(ended) << "zendra did not end\n" << out.text;
        ASSERT_TRUE(WIFEXITED(status)) << out.text;
        EXPECT_EQ(WEXITSTATUS(status), 0) << out.text;
        journal += " closed\n";
        candidates = {State{}};
    }
    std::printf("%s", journal.c_str());
    std::printf("kill test: %d kills in %d runs (start %d, turn %d, undo/redo %d, idle %d, close %d), %d with the "
                "clock moved three days, %d undo steps taken on recovered tabs\n",
                kills, runs, killedDuring["start"], killedDuring["turn"], killedDuring["undo/redo"],
                killedDuring["idle"], killedDuring["close"], agedKills, undoneAfterRecovery);
}
