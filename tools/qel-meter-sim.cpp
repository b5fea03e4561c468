// qel-meter-sim: plays the optical power meter on a pseudo-terminal.
//
// Prints the device path for the console on the first line of standard output, then answers the
// meter's commands until SIGINT or SIGTERM (or the end of standard input with --until-eof).
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "tools/sim/meter_sim.h"

namespace {

const char kUsage[] = "usage: qel-meter-sim [options]\n"
                      "Plays the optical power meter on a pseudo-terminal; the first line of output is its device.\n"
                      "\n"
                      "  --records N     store N sample records (default 3; 0 for none, at most 127)\n"
                      "  --id TEXT       identification text of the connect reply (default \"OPM-3 SIM\")\n"
                      "  --pace          write at the line rate of 38400 baud (about 3840 bytes/s)\n"
                      "  --fault SPEC    inject a fault (may be repeated):\n"
                      "                    badsum:K       record K of an upload has a wrong checksum\n"
                      "                    truncate:K[:M] record K of an upload lacks its last M bytes (default 10)\n"
                      "                    garbage        stray bytes before every reply frame\n"
                      "                    hangup:K       hang up after K records of an upload\n"
                      "                    delay:MS       wait MS milliseconds before each reply\n"
                      "  --until-eof     also stop at the end of standard input\n"
                      "  --help          show this text\n";

bool ParseInt(std::string_view text, int& out, int low, int high)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
    out = value;
    return true;
}

bool ParseFault(std::string_view spec, meter_sim::Faults& faults)
{
    const auto colon = spec.find(':');
    const std::string_view kind = spec.substr(0, colon);
    const std::string_view arg = colon == std::string_view::npos ? "" : spec.substr(colon + 1);
    if (kind == "garbage") {
        faults.garbage = true;
        return arg.empty();
    }
    if (kind == "badsum") return ParseInt(arg, faults.badChecksumRecord, 1, 1 << 20);
    if (kind == "hangup") return ParseInt(arg, faults.hangupAfterRecords, 0, 1 << 20);
    if (kind == "delay") {
        int ms = 0;
        if (!ParseInt(arg, ms, 0, 600000)) return false;
        faults.replyDelay = std::chrono::milliseconds(ms);
        return true;
    }
    if (kind == "truncate") {
        const auto second = arg.find(':');
        if (!ParseInt(arg.substr(0, second), faults.truncateRecord, 1, 1 << 20)) return false;
        if (second == std::string_view::npos) return true;
        return ParseInt(arg.substr(second + 1), faults.truncateBytes, 1, 63);
    }
    return false;
}

int Fail(const std::string& message)
{
    std::cerr << "qel-meter-sim: " << message << "\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    meter_sim::Options options;
    int records = 3;
    bool untilEof = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string_view v;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--records") {
            if (!value(v) || !ParseInt(v, records, 0, 127)) return Fail("--records needs a number 0 to 127");
        } else if (arg == "--id") {
            if (!value(v)) return Fail("--id needs a text");
            options.identification = std::string(v);
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--fault") {
            if (!value(v) || !ParseFault(v, options.faults)) return Fail("bad fault option '" + std::string(v) + "'");
        } else if (arg == "--until-eof") {
            untilEof = true;
        } else {
            return Fail("unknown option '" + std::string(arg) + "'");
        }
    }
    options.records = meter_sim::SampleRecords(records);

    // Block the stop signals before the service thread starts, so that only the signalfd sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return Fail("cannot block signals");
    const int sigFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (sigFd < 0) return Fail(std::string("signalfd: ") + std::strerror(errno));

    try {
        meter_sim::MeterSimulator simulator(std::move(options));
        std::cout << simulator.DevicePath() << std::endl;

        pollfd fds[2] = {{sigFd, POLLIN, 0}, {untilEof ? STDIN_FILENO : -1, POLLIN, 0}};
        for (;;) {
            const int r = poll(fds, 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || fds[0].revents) break;
            if (fds[1].revents) {
                char buffer[256];
                const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
                if (n <= 0 && !(n < 0 && errno == EINTR)) break;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "qel-meter-sim: " << e.what() << "\n";
        close(sigFd);
        return 1;
    }
    close(sigFd);
    return 0;
}
