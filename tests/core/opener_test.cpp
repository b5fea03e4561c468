// The opener: the desktop's default applications found and started through GIO, checked against a
// desktop made up in a temporary folder (its applications, its defaults, the MIME database or
// none), and the recording fake that tests install instead.
//
// GIO reads the desktop's folders once, at its first use in a process, so every desktop runs in a
// child process of its own: this program run again on the test GioOpenerInChild.Open, which
// opens the target it is given and writes down what it saw.
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <climits>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/opener.h"
#include "tests/support/recording_opener.h"
#include "tests/support/run_in_child.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kWorkbookType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// Replaces every "@DIR@" of the text by the folder.
std::string InFolder(std::string text, const std::string& dir)
{
    for (std::size_t at = text.find("@DIR@"); at != std::string::npos; at = text.find("@DIR@", at + dir.size()))
        text.replace(at, 5, dir);
    return text;
}

// Lines "key=value"; a key may come more than once.
std::multimap<std::string, std::string> Fields(const std::string& text)
{
    std::multimap<std::string, std::string> fields;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) fields.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return fields;
}

std::string Field(const std::multimap<std::string, std::string>& fields, const std::string& key)
{
    auto it = fields.find(key);
    return it == fields.end() ? std::string("(none)") : it->second;
}

// Waits (bounded) until the file exists.
bool WaitForFile(const std::string& file, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!FileExists(file)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The stand-in application: writes down its arguments, its standard streams, its session, its
// parent and every descriptor it holds, then runs on until the child says "go" (at most 10 s) and
// leaves "late" behind. The record is renamed into place, so it is never read half-written.
constexpr char kStandIn[] = R"SH(#!/bin/sh
d=@DIR@
s0=$(readlink /proc/$$/fd/0); s1=$(readlink /proc/$$/fd/1); s2=$(readlink /proc/$$/fd/2)
{
  printf 'argc=%s\n' "$#"
  printf 'arg=%s\n' "$1"
  printf 'pid=%s\n' "$$"
  printf 'ppid=%s\n' "$(awk '/^PPid:/ {print $2}' /proc/$$/status)"
  printf 'sid=%s\n' "$(awk '{print $6}' /proc/$$/stat)"
  printf 'std0=%s\nstd1=%s\nstd2=%s\n' "$s0" "$s1" "$s2"
  for f in /proc/$$/fd/*; do printf 'fd=%s\n' "$(readlink "$f")"; done
} > "$d/app.tmp" 2>&1
mv "$d/app.tmp" "$d/app"
i=0; while [ ! -e "$d/go" ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done
touch "$d/late"
)SH";

struct Desktop {
    const char* name;
    bool mimeDatabase;        // the system data folder holds (a link to) the MIME database
    const char* application;  // lines of applications/standin.desktop after Type and Name; nullptr: none
    const char* defaultFor;   // the content type or scheme handler mimeapps.list gives it; nullptr: none
    const char* target;       // what is opened
    const char* opened;       // the argument the stand-in gets; nullptr: Open fails
    const char* why;          // the reason of the failure
};

const Desktop kDesktops[] = {
    {"the default application for workbooks gets the file's path", true,
     "Exec=@DIR@/standin %f\nMimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n",
     kWorkbookType, "@DIR@/files/报告 folder/20261211093000.xlsx", "@DIR@/files/报告 folder/20261211093000.xlsx",
     nullptr},
    // Without the database a name has no type: a workbook's name still gives the workbook type.
    // The relative name is taken from the current folder and cannot be read as an option.
    {"without a MIME database a workbook is still a workbook", false,
     "Exec=@DIR@/standin %f\nMimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n",
     kWorkbookType, "--20261211093000.xlsx", "@DIR@/files/--20261211093000.xlsx", nullptr},
    {"a file: link is the file", true,
     "Exec=@DIR@/standin %f\nMimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n",
     kWorkbookType, "file://@DIR@/files/r%20one.xlsx", "@DIR@/files/r one.xlsx", nullptr},
    {"a link goes to the handler of its scheme", true, "Exec=@DIR@/standin %u\nMimeType=x-scheme-handler/https;\n",
     "x-scheme-handler/https", "https://example.invalid/report?id=1&kind=xlsx",
     "https://example.invalid/report?id=1&kind=xlsx", nullptr},

    {"no application is registered", true, nullptr, nullptr, "@DIR@/files/20261211093000.xlsx", nullptr,
     "no application is registered for files of the type "
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    // GLib does not count an application whose program is not there.
    {"the registered application's program is missing", true,
     "Exec=@DIR@/no-such-program %f\nMimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n",
     kWorkbookType, "@DIR@/files/20261211093000.xlsx", nullptr,
     "no application is registered for files of the type "
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    // GLib cannot start it: the reason is GLib's, after the application's name.
    {"the application cannot be started", true,
     "Exec=@DIR@/standin %f\nPath=@DIR@/gone\n"
     "MimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n",
     kWorkbookType, "@DIR@/files/20261211093000.xlsx", nullptr,
     "the application \"Stand-in Sheet\" (standin.desktop) could not be started: "},
    {"the file is not there", true,
     "Exec=@DIR@/standin %f\nMimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n",
     kWorkbookType, "@DIR@/files/nothing.xlsx", nullptr, "the file cannot be reached: No such file or directory"},
    {"a link whose scheme has no handler", true, nullptr, nullptr, "mailto:someone@example.invalid", nullptr,
     "no application is registered for mailto: links"},
    {"nothing named", true, nullptr, nullptr, "", nullptr, "nothing was named to open"},
};

void PrintTo(const Desktop& d, std::ostream* os) { *os << d.name; }

class GioOpenerDesktop : public ::testing::TestWithParam<Desktop> {};

}  // namespace

TEST_P(GioOpenerDesktop, OpensWithTheDefaultApplicationOrSaysWhyNot)
{
    const Desktop& d = GetParam();
    testing_support::TempDir temp("qel-desktop");
    const std::string dir = temp.Path();
    for (const char* sub :
         {"data", "data/applications", "config", "config-dirs", "system", "home", "files", "files/报告 folder"})
        ASSERT_EQ(::mkdir((dir + "/" + sub).c_str(), 0700), 0) << sub;
    if (d.mimeDatabase) {
        ASSERT_EQ(::symlink("/usr/share/mime", (dir + "/system/mime").c_str()), 0);
    }
    const std::string standIn = dir + "/standin";
    WriteFile(standIn, InFolder(kStandIn, dir));
    ASSERT_EQ(::chmod(standIn.c_str(), 0755), 0);
    if (d.application)
        WriteFile(dir + "/data/applications/standin.desktop",
                  "[Desktop Entry]\nType=Application\nName=Stand-in Sheet\n" + InFolder(d.application, dir));
    if (d.defaultFor)
        WriteFile(dir + "/config/mimeapps.list",
                  std::string("[Default Applications]\n") + d.defaultFor + "=standin.desktop\n");
    for (const char* file : {"files/报告 folder/20261211093000.xlsx", "files/--20261211093000.xlsx", "files/r one.xlsx",
                             "files/20261211093000.xlsx"})
        WriteFile(dir + "/" + file, "PK");

    // Only the made-up desktop is seen: no application, default or MIME data of the machine, no
    // session bus (GIO tells the bus about launches when it has one).
    const auto [status, log] =
        testing_support::RunChildTest("GioOpenerInChild.Open",
                                      {{"QEL_OPENER_CHILD", dir},
                                       {"QEL_OPENER_TARGET", InFolder(d.target, dir)},
                                       {"XDG_DATA_HOME", dir + "/data"},
                                       {"XDG_CONFIG_HOME", dir + "/config"},
                                       {"XDG_CONFIG_DIRS", dir + "/config-dirs"},
                                       {"XDG_DATA_DIRS", dir + "/system"},
                                       {"HOME", dir + "/home"},
                                       {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir + "/no-bus"},
                                       {"XDG_CURRENT_DESKTOP", std::nullopt},
                                       {"GTEST_OUTPUT", std::nullopt}},
                                      dir + "/files");
    ASSERT_EQ(status, 0) << log;
    ASSERT_TRUE(FileExists(dir + "/result")) << log;
    const auto result = Fields(ReadFile(dir + "/result"));

    EXPECT_EQ(Field(result, "children"), "-1 ECHILD") << "a child of ours was left unreaped";
    if (!d.opened) {
        EXPECT_EQ(Field(result, "opened"), "0");
        const std::string why = Field(result, "why");
        EXPECT_EQ(why.substr(0, std::strlen(d.why)), d.why);
        if (std::strstr(d.name, "cannot be started")) {
            EXPECT_NE(why.find(dir + "/gone"), std::string::npos) << why;
        }
        EXPECT_FALSE(FileExists(dir + "/app")) << "the stand-in ran";
        return;
    }
    ASSERT_EQ(Field(result, "opened"), "1") << Field(result, "why");
    EXPECT_EQ(Field(result, "late"), "0") << "Open waited for the application";
    ASSERT_TRUE(FileExists(dir + "/app")) << log;
    const auto app = Fields(ReadFile(dir + "/app"));
    EXPECT_EQ(Field(app, "argc"), "1");
    EXPECT_EQ(Field(app, "arg"), InFolder(d.opened, dir));
    for (const char* stream : {"std0", "std1", "std2"}) EXPECT_EQ(Field(app, stream), "/dev/null") << stream;
    EXPECT_EQ(Field(app, "sid"), Field(app, "pid")) << "the application leads a session of its own";
    EXPECT_NE(Field(app, "ppid"), Field(result, "pid")) << "the application is a child of ours";
    // None of the child's descriptors (a terminal like a serial port, a pipe) reached it.
    auto [first, last] = result.equal_range("ourfd");
    ASSERT_EQ(std::distance(first, last), 4);
    auto [appFirst, appLast] = app.equal_range("fd");
    for (auto ours = first; ours != last; ++ours)
        for (auto theirs = appFirst; theirs != appLast; ++theirs)
            EXPECT_NE(theirs->second, ours->second) << "the application holds our descriptor " << ours->second;
}

INSTANTIATE_TEST_SUITE_P(Desktops, GioOpenerDesktop, ::testing::ValuesIn(kDesktops),
                         [](const ::testing::TestParamInfo<Desktop>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

namespace {

// The child's side of the test above, a test only the child processes have: it holds descriptors
// as the console does (a terminal, a pipe; here without close-on-exec), opens the target, and
// writes down what came of it.
class OpenInChild : public ::testing::Test {
    void TestBody() override;
};

const bool g_inChild =
    testing_support::RegisterChildTest<OpenInChild>("QEL_OPENER_CHILD", "GioOpenerInChild", "Open", __FILE__, __LINE__);

void OpenInChild::TestBody()
{
    const char* target = std::getenv("QEL_OPENER_TARGET");
    ASSERT_NE(target, nullptr);
    const std::string dir = std::getenv("QEL_OPENER_CHILD");

    std::string record;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    for (int fd : {master, slave, ends[0], ends[1]}) {
        char link[PATH_MAX] = {};
        ASSERT_GT(::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1), 0);
        record += std::string("ourfd=") + link + "\n";
    }

    std::string why;
    core::GioOpener opener;
    const bool opened = opener.Open(target, &why);
    record += std::string("opened=") + (opened ? "1" : "0") + "\nwhy=" + why + "\n";
    record += std::string("late=") + (FileExists(dir + "/late") ? "1" : "0") + "\n";
    if (opened) {
        WriteFile(dir + "/go", "go");
        EXPECT_TRUE(WaitForFile(dir + "/late")) << "the stand-in did not run to its end";
    }
    int status = 0;
    const pid_t reaped = ::waitpid(-1, &status, WNOHANG);
    const int err = errno;
    record += "children=" + std::to_string(reaped) + (reaped < 0 && err == ECHILD ? " ECHILD" : "") + "\n";
    record += "pid=" + std::to_string(::getpid()) + "\n";
    WriteFile(dir + "/result.tmp", record);
    ASSERT_EQ(::rename((dir + "/result.tmp").c_str(), (dir + "/result").c_str()), 0);
    for (int fd : {master, slave, ends[0], ends[1]}) ::close(fd);
}

}  // namespace

TEST(Opener, DefaultIsGioAndTheFakeInstallsItselfUntilDestroyed)
{
    EXPECT_NE(dynamic_cast<core::GioOpener*>(&core::Opener()), nullptr);
    {
        testing_support::RecordingOpener outer;
        EXPECT_EQ(&core::Opener(), &outer);
        EXPECT_TRUE(core::Opener().Open("/tmp/a.xlsx"));
        {
            testing_support::RecordingOpener inner;
            inner.result = false;
            std::string why;
            EXPECT_FALSE(core::Opener().Open("/tmp/b.xlsx", &why));
            EXPECT_EQ(why, inner.reason);
            EXPECT_FALSE(core::Opener().Open("/tmp/c.xlsx"));
            EXPECT_EQ(inner.paths, (std::vector<std::string>{"/tmp/b.xlsx", "/tmp/c.xlsx"}));
        }
        EXPECT_EQ(&core::Opener(), &outer);
        EXPECT_EQ(outer.paths, std::vector<std::string>{"/tmp/a.xlsx"});
    }
    EXPECT_NE(dynamic_cast<core::GioOpener*>(&core::Opener()), nullptr);

    testing_support::RecordingOpener fake;
    core::IOpener* previous = core::SetOpener(nullptr);
    EXPECT_EQ(previous, &fake);
    EXPECT_NE(dynamic_cast<core::GioOpener*>(&core::Opener()), nullptr);
    core::SetOpener(&fake);  // the fake's destructor puts the default back
}
