// changer-sim: the simulated changer as a program, on a new pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/display_text.h"
#include "tools/changer-sim/changer_sim.h"
#include "tools/changer-sim/sim_control.h"
#include "tools/changer-sim/sim_options.h"

namespace {

const size_t kMaxControlLine = 1024;

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
    SimCommandLine line;
    std::string problem;
    if (!ParseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc), &line, &problem)) {
        std::fprintf(stderr, "changer-sim: %s\ntry 'changer-sim --help'\n",
                     TerminalSafeText(problem).c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(kSimUsage, stdout);
        return 0;
    }
    const ChangerSimOptions& options = line.options;
    const std::string& controlPath = line.controlPath;

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
