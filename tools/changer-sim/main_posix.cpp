// changer-sim: the simulated changer as a program, on a new pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/changer-sim/changer_sim.h"
#include "tools/changer-sim/sim_control.h"

namespace {

const char kUsage[] =
    "usage: changer-sim [--magazine FILE] [--link PATH] [--log FILE] [--baud N]\n"
    "                   [--load-delay MS] [--speed X] [--control FIFO]\n"
    "Prints \"pty <slave path>\" once ready; runs until SIGINT/SIGTERM or \"quit\".\n"
    "Control FIFO commands: fault none|silent|garbage|overlong|loader-error,\n"
    "  fault late MS, remove SLOT, insert SLOT ID [first=N] M:SS ..., speed X, quit\n";

const size_t kMaxControlLine = 1024;

int Usage(const std::string& problem) {
    std::fprintf(stderr, "changer-sim: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

bool ParseLong(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return *text != 0 && *end == 0 && errno == 0 && value >= low && value <= high;
}

// Creates the FIFO (or takes an existing one) and opens it for reading. Held
// open for writing too, so writers coming and going never give end of file.
int OpenControlFifo(const std::string& path, bool& created) {
    created = false;
    if (mkfifo(path.c_str(), 0600) == 0) {
        created = true;
    } else if (errno != EEXIST) {
        return -1;
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode)) {
        errno = EEXIST;
        return -1;
    }
    return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

// Runs the complete lines in pending; true when one of them said quit.
bool RunControlLines(ChangerSim& sim, std::string& pending) {
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        std::string message;
        SimControlResult result = ApplySimControl(sim, line, message);
        if (result == SimControlResult::Quit) {
            return true;
        }
        if (!message.empty()) {
            std::fprintf(stderr, "changer-sim: %s%s\n",
                         result == SimControlResult::Error ? "control error: " : "",
                         message.c_str());
        }
    }
    if (pending.size() > kMaxControlLine) {
        std::fprintf(stderr, "changer-sim: control error: line too long, dropped\n");
        pending.clear();
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    ChangerSimOptions options;
    std::string controlPath;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            return Usage(option.compare(0, 2, "--") == 0 ? option + " needs a value"
                                                         : "unexpected argument " + option);
        }
        const char* value = argv[++i];
        long number = 0;
        if (option == "--magazine") {
            std::string error;
            if (!ReadSimMagazineFile(value, options.magazine, error)) {
                return Usage("bad magazine: " + error);
            }
        } else if (option == "--link") {
            options.linkPath = value;
        } else if (option == "--log") {
            options.logPath = value;
        } else if (option == "--baud") {
            if (!ParseLong(value, 0, 1000000, number)) {
                return Usage("--baud wants 0 (no pacing) .. 1000000");
            }
            options.baud = static_cast<int>(number);
        } else if (option == "--load-delay") {
            if (!ParseLong(value, 0, 600000, number)) {
                return Usage("--load-delay wants 0..600000 ms");
            }
            options.loadDelayMs = static_cast<int>(number);
        } else if (option == "--speed") {
            char* end = nullptr;
            options.speed = std::strtod(value, &end);
            if (*value == 0 || *end != 0 || !(options.speed > 0 && options.speed <= 100000)) {
                return Usage("--speed wants a factor above 0");
            }
        } else if (option == "--control") {
            controlPath = value;
        } else {
            return Usage("unknown option " + option);
        }
    }

    // SIGINT and SIGTERM are taken through a signalfd; blocked before the
    // serving thread starts so it inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("changer-sim: signalfd");
        return 1;
    }

    bool fifoCreated = false;
    int controlFd = -1;
    if (!controlPath.empty()) {
        controlFd = OpenControlFifo(controlPath, fifoCreated);
        if (controlFd < 0) {
            std::fprintf(stderr, "changer-sim: control FIFO %s: %s\n", controlPath.c_str(),
                         std::strerror(errno));
            return 2;
        }
    }

    ChangerSim sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "changer-sim: %s\n", error.c_str());
        if (fifoCreated) {
            unlink(controlPath.c_str());
        }
        return 1;
    }
    std::printf("pty %s\n", sim.SlavePath().c_str());
    std::fflush(stdout);

    std::string pending;
    bool quit = false;
    while (!quit) {
        pollfd waitFor[2] = {{signalFd, POLLIN, 0}, {controlFd, POLLIN, 0}};
        int ready = poll(waitFor, controlFd >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (waitFor[0].revents != 0) {
            break;
        }
        if (controlFd >= 0 && (waitFor[1].revents & POLLIN)) {
            char buffer[512];
            ssize_t count = read(controlFd, buffer, sizeof buffer);
            if (count > 0) {
                pending.append(buffer, static_cast<size_t>(count));
                quit = RunControlLines(sim, pending);
            }
        }
    }

    sim.Stop();
    if (controlFd >= 0) {
        close(controlFd);
        if (fifoCreated) {
            unlink(controlPath.c_str());
        }
    }
    close(signalFd);
    return 0;
}
