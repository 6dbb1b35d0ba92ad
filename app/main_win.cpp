// Program entry: reads the command line, brings the system up in a fixed
// order, runs the message loop, then releases the port and the sockets library.
#include <windows.h>

#include <commctrl.h>
#include <winsock.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/program_options.h"
#include "changer/magazine_memory.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "link/changer_port.h"
#include "platform/window_hooks.h"
#include "remote/remote_server.h"
#include "resources/resource_ids.h"
#include "ui/main_window_win.h"

namespace {

const char kWindowClass[] = "ZUBCDWND";

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAIN));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassA(&windowClass) != 0;
}

// Ends the program with exit code 0 once worker threads may be running.
// ExitProcess stops them before anything is torn down; returning from
// WinMain would run the destructors of the playlist, the magazine table and
// the other globals while the poll or a remote session may still use them.
[[noreturn]] void EndProcess() {
    ExitProcess(0);
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

// Exit codes of a run that ends at its command line.
const int kExitHelp = 0;
const int kExitBadCommandLine = 2;

// Reads the command line into g_options and hands its values to the layers
// that use them. Returns false, after a box, when the program is to end
// with *exitCode: --help shows the usage, a bad option the problem and the
// usage. Nothing is opened or started before this.
bool ApplyCommandLine(int* exitCode) {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i) {
        args.emplace_back(__argv[i]);
    }
    std::string error;
    switch (ParseProgramOptions(args, &g_options, &error)) {
        case CommandLineAction::Help:
            MessageBoxA(nullptr, ProgramUsageText().c_str(), "ZUB CD Changer",
                        MB_OK | MB_ICONINFORMATION);
            *exitCode = kExitHelp;
            return false;
        case CommandLineAction::Bad:
            ShowErrorBox(nullptr, BadCommandLineText(error).c_str(), "Error");
            *exitCode = kExitBadCommandLine;
            return false;
        case CommandLineAction::Run:
            break;
    }
    g_portName = g_options.portName;
    g_nChanger = g_options.changer;
    g_nRemotePort = g_options.remotePort;
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    int exitCode = 0;
    if (!ApplyCommandLine(&exitCode)) {
        return exitCode;
    }

    SeedRandom();

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    WSADATA sockets;
    WSAStartup(MAKEWORD(1, 1), &sockets);

    if (!OpenChangerPort()) {
        ShowErrorBox(nullptr, PortInUseText(g_portName, ListSerialPorts()).c_str(), "Error");
        return 0;
    }

    // What the library remembers fills the magazine table before any other
    // thread runs. A bad file gets one box, once the window is there.
    static std::string libraryProblem;
    libraryProblem = StartLibrary(g_options.libraryPath, std::time(nullptr));

    // Put the changer into a known state before any window or remote
    // command can act on it.
    ChangerTransactLocked(CMD_STOP, nullptr, nullptr);
    g_nMode = ModeStop;

    StartRemoteThread(kNoRemoteSocket);

    if (!RegisterMainWindowClass(instance)) {
        EndProcess();
    }
    // The creation handler builds the controls from the layout, which also
    // sets the final size, frame bits and title.
    HWND window = CreateWindowExA(0, kWindowClass, "ZUB CD Controller", WS_DLGFRAME, CW_USEDEFAULT,
                                  0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        EndProcess();
    }
    g_hWnd = window;
    ShowRestoredMagazine(window);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (!libraryProblem.empty()) {
        PostErrorBox(libraryProblem.c_str(), "Error");
    }

    RunMessageLoop();

    EndLibrary();
    CloseChangerPort();
    // The waiting acceptor must not take the socket clean-up for an error.
    EndRemoteServer();
    WSACleanup();
    EndProcess();
}
