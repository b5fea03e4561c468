// The opener: xdg-open started detached (checked with a stand-in script first on PATH), and the
// recording fake that tests install instead.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/opener.h"
#include "tests/support/temp_dir.h"

namespace {

// A temporary folder that holds the stand-in xdg-open; PATH points there first while it lives.
class FakeXdgOpen : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = m_temp.Path();
        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        m_hadPath = path != nullptr;
        ::setenv("PATH", (m_dir + ":" + m_oldPath).c_str(), 1);
    }

    void TearDown() override
    {
        if (m_hadPath)
            ::setenv("PATH", m_oldPath.c_str(), 1);
        else
            ::unsetenv("PATH");
    }

    void WriteScript(const std::string& body, mode_t mode = 0755)
    {
        const std::string file = m_dir + "/xdg-open";
        std::ofstream(file) << body;
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    }

    // Waits (bounded) for a file the script writes last, and returns its content.
    std::string WaitForFile(const std::string& name)
    {
        const std::string file = m_dir + "/" + name;
        for (int i = 0; i < 500; ++i) {  // at most 5 s
            if (::access(file.c_str(), F_OK) == 0) {
                std::ifstream in(file);
                std::stringstream ss;
                ss << in.rdbuf();
                return ss.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << name << " was not written";
        return std::string();
    }

    std::string m_dir;
    testing_support::TempDir m_temp{"qel-opener"};
    std::string m_oldPath;
    bool m_hadPath = false;
};

}  // namespace

TEST_F(FakeXdgOpen, StartsXdgOpenDetachedWithThePath)
{
    // Records its argument, where its standard streams go and its session; the file "done" is
    // renamed into place so the test never reads it half-written.
    WriteScript("#!/bin/sh\n"
                "d=\"$(dirname \"$0\")\"\n"
                "i=$(readlink /proc/$$/fd/0); o=$(readlink /proc/$$/fd/1); e=$(readlink /proc/$$/fd/2)\n"
                "s=$(awk '{print $6}' /proc/$$/stat)\n"
                "printf '%s\\n' \"$1\" \"$#\" \"$i\" \"$o\" \"$e\" \"$s\" > \"$d/done.tmp\"\n"
                "mv \"$d/done.tmp\" \"$d/done\"\n");
    const std::string report = "/tmp/报告 folder/20240102030405.xlsx";
    platform::XdgOpener opener;
    ASSERT_TRUE(opener.Open(report));

    std::istringstream lines(WaitForFile("done"));
    std::string arg, count, in, out, err, sid;
    std::getline(lines, arg);
    std::getline(lines, count);
    std::getline(lines, in);
    std::getline(lines, out);
    std::getline(lines, err);
    std::getline(lines, sid);
    EXPECT_EQ(arg, report);
    EXPECT_EQ(count, "1");
    EXPECT_EQ(in, "/dev/null");
    EXPECT_EQ(out, "/dev/null");
    EXPECT_EQ(err, "/dev/null");
    EXPECT_NE(sid, std::to_string(::getsid(0))) << "xdg-open runs in a session of its own";

    // The intermediate child has been reaped and xdg-open is no child of ours: no zombie is left.
    int status = 0;
    EXPECT_LE(::waitpid(-1, &status, WNOHANG), 0) << "a child of ours was left unreaped";
}

TEST_F(FakeXdgOpen, ReturnsWithoutWaitingForTheApplication)
{
    // The stand-in keeps running until the test says "go" (or gives up after 10 s), then writes
    // "late": an opener that waited for it would come back only after "late" exists.
    WriteScript("#!/bin/sh\nd=\"$(dirname \"$0\")\"\n"
                "i=0; while [ ! -e \"$d/go\" ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done\n"
                "touch \"$d/late\"\n");
    platform::XdgOpener opener;
    EXPECT_TRUE(opener.Open("/tmp/some.xlsx"));
    EXPECT_NE(::access((m_dir + "/late").c_str(), F_OK), 0) << "Open waited for the application";
    std::ofstream(m_dir + "/go") << "go";
    WaitForFile("late");
}

TEST_F(FakeXdgOpen, AnOptionLikeNameIsNotTakenForAnOption)
{
    WriteScript("#!/bin/sh\nd=\"$(dirname \"$0\")\"\nprintf '%s' \"$1\" > \"$d/a.tmp\"; mv \"$d/a.tmp\" \"$d/arg\"\n");
    platform::XdgOpener opener;
    ASSERT_TRUE(opener.Open("--help.xlsx"));
    EXPECT_EQ(WaitForFile("arg"), "./--help.xlsx");
}

TEST_F(FakeXdgOpen, FalseWhenItCannotStart)
{
    struct Case {
        const char* name;
        const char* script;  // nullptr: no xdg-open at all
        mode_t mode;
    };
    const Case cases[] = {
        {"no xdg-open on PATH", nullptr, 0},
        {"xdg-open not executable", "#!/bin/sh\nexit 0\n", 0644},
        {"xdg-open whose interpreter is missing", "#!/nonexistent/qel-shell\n", 0755},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink((m_dir + "/xdg-open").c_str());
        if (c.script) WriteScript(c.script, c.mode);
        // Only our folder on PATH, so a real xdg-open of the machine is not found instead.
        ::setenv("PATH", m_dir.c_str(), 1);
        platform::XdgOpener opener;
        EXPECT_FALSE(opener.Open("/tmp/report.xlsx"));
    }
    platform::XdgOpener opener;
    EXPECT_FALSE(opener.Open(""));
}

TEST(Opener, DefaultIsXdgOpenAndTheFakeInstallsItselfUntilDestroyed)
{
    EXPECT_NE(dynamic_cast<platform::XdgOpener*>(&platform::Opener()), nullptr);
    {
        platform::RecordingOpener outer;
        EXPECT_EQ(&platform::Opener(), &outer);
        EXPECT_TRUE(platform::Opener().Open("/tmp/a.xlsx"));
        {
            platform::RecordingOpener inner;
            inner.result = false;
            EXPECT_FALSE(platform::Opener().Open("/tmp/b.xlsx"));
            EXPECT_EQ(inner.paths, std::vector<std::string>{"/tmp/b.xlsx"});
        }
        EXPECT_EQ(&platform::Opener(), &outer);
        EXPECT_EQ(outer.paths, std::vector<std::string>{"/tmp/a.xlsx"});
    }
    EXPECT_NE(dynamic_cast<platform::XdgOpener*>(&platform::Opener()), nullptr);

    platform::RecordingOpener fake;
    platform::IOpener* previous = platform::SetOpener(nullptr);
    EXPECT_EQ(previous, &fake);
    EXPECT_NE(dynamic_cast<platform::XdgOpener*>(&platform::Opener()), nullptr);
    platform::SetOpener(&fake);  // the fake's destructor puts the default back
}
