#include "tests/support/xlsx_readback.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace testing_support {

namespace {

struct ProcessResult {
    int status = -1;  // exit code, or -1 when it did not end normally
    std::string out;
    std::string err;
};

// Runs a program (no shell), collects its output and waits for it at most timeoutSeconds.
ProcessResult Run(const std::vector<std::string>& argv, int timeoutSeconds)
{
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        ::setpgid(0, 0);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    bool timedOut = false;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        const int n = ::poll(fds, 2, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    if (timedOut) {
        ::kill(-pid, SIGKILL);
        result.err += "\n(timed out after " + std::to_string(timeoutSeconds) + " s)";
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (!timedOut && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

std::filesystem::path MakeTempFolder(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    bool any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        any = true;
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (any) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::vector<std::vector<std::string>> ReadSheetWithLibreOffice(const std::string& xlsxPath)
{
    const std::filesystem::path work = MakeTempFolder("qel-lo-");
    if (work.empty()) {
        ADD_FAILURE() << "cannot make a temporary folder for LibreOffice";
        return {};
    }
    const std::filesystem::path out = work / "out";
    std::filesystem::create_directories(out);
    const ProcessResult run = Run({"/usr/bin/soffice", "-env:UserInstallation=file://" + (work / "profile").string(),
                                   "--headless", "--norestore", "--nologo", "--convert-to",
                                   "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir", out.string(), xlsxPath},
                                  180);
    const std::filesystem::path csv = out / (std::filesystem::path(xlsxPath).stem().string() + ".csv");
    std::vector<std::vector<std::string>> rows;
    if (run.status != 0 || !std::filesystem::exists(csv)) {
        ADD_FAILURE() << "LibreOffice could not convert " << xlsxPath << " (exit " << run.status << ")\n"
                      << run.out << run.err;
    } else {
        rows = ParseCsv(ReadFile(csv));
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return rows;
}

std::string RunOpenpyxl(const std::string& pythonBody, const std::string& xlsxPath)
{
    const std::filesystem::path work = MakeTempFolder("qel-py-");
    if (work.empty()) {
        ADD_FAILURE() << "cannot make a temporary folder for python";
        return {};
    }
    const std::filesystem::path script = work / "check.py";
    {
        std::ofstream s(script);
        s << "import sys\nimport openpyxl\nwb = openpyxl.load_workbook(sys.argv[1])\n" << pythonBody << "\n";
    }
    const ProcessResult run = Run({"/usr/bin/python3", script.string(), xlsxPath}, 120);
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    if (run.status != 0) {
        ADD_FAILURE() << "openpyxl failed on " << xlsxPath << " (exit " << run.status << ")\n" << run.err;
    }
    return run.out;
}

std::string CsvField(const std::vector<std::vector<std::string>>& rows, std::size_t row, std::size_t col)
{
    if (row >= rows.size() || col >= rows[row].size()) return {};
    return rows[row][col];
}

}  // namespace testing_support
