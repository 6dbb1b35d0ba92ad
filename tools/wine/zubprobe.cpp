// Test probe for the end-to-end tests under Wine: finds a top-level window by
// its exact title and reports on it (children, control positions, list-view
// rows, the owning process's handle and thread counts and memory, whether it answers a
// message, its owner window) or acts on it (close, command), printing plain
// lines on stdout.
#include <windows.h>
// commctrl.h and tlhelp32.h need the types of windows.h.
#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kMessageTimeoutMs = 5000;

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: zubprobe find TITLE\n"
                 "       zubprobe children TITLE\n"
                 "       zubprobe center TITLE ID\n"
                 "       zubprobe enabled TITLE ID\n"
                 "       zubprobe rows TITLE ID\n"
                 "       zubprobe rowcenter TITLE ID ROW\n"
                 "       zubprobe handles TITLE\n"
                 "       zubprobe usage TITLE\n"
                 "       zubprobe answers TITLE\n"
                 "       zubprobe owner TITLE\n"
                 "       zubprobe close TITLE\n"
                 "       zubprobe command TITLE ID\n");
}

// Text of a window of any process; WM_GETTEXT is marshalled between
// processes, and a hung target does not hang the probe.
std::string ReadWindowText(HWND window) {
    char text[512] = "";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
        GetWindowTextA(window, text, sizeof text);
    }
    text[sizeof text - 1] = '\0';
    return text;
}

// Control ids are 16-bit words; -1 for the unnamed statics.
int ControlId(HWND control) {
    return static_cast<short>(GetDlgCtrlID(control));
}

struct ChildSearch {
    std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    reinterpret_cast<ChildSearch*>(context)->children.push_back(child);
    return TRUE;
}

std::vector<HWND> ListChildren(HWND window) {
    ChildSearch search;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.children;
}

HWND FindControl(HWND window, int id) {
    for (HWND child : ListChildren(window)) {
        if (ControlId(child) == id)
            return child;
    }
    return nullptr;
}

void PrintChild(HWND child) {
    char className[128] = "";
    GetClassNameA(child, className, sizeof className);
    RECT rect;
    GetWindowRect(child, &rect);
    std::printf("%d\t%s\t%s\t%ld %ld %ld %ld\t%d\n", ControlId(child), className,
                ReadWindowText(child).c_str(), rect.left, rect.top, rect.right, rect.bottom,
                IsWindowEnabled(child) ? 1 : 0);
}

// One cell of a list view in another process: the LVITEM and the text
// buffer must live in the owner's address space.
class RemoteListView {
public:
    explicit RemoteListView(HWND list) : list_(list) {
        DWORD pid = 0;
        GetWindowThreadProcessId(list, &pid);
        process_ =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_ != nullptr) {
            remote_ = VirtualAllocEx(process_, nullptr, kBlockSize, MEM_COMMIT | MEM_RESERVE,
                                     PAGE_READWRITE);
        }
    }
    ~RemoteListView() {
        if (remote_ != nullptr)
            VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
        if (process_ != nullptr)
            CloseHandle(process_);
    }
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    bool Ready() const { return remote_ != nullptr; }

    std::string Cell(int row, int column) {
        char* base = static_cast<char*>(remote_);
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = base + sizeof(LVITEMA);
        item.cchTextMax = kTextSize;
        char empty[kTextSize] = "";
        SIZE_T moved = 0;
        if (!WriteProcessMemory(process_, base, &item, sizeof item, &moved) ||
            !WriteProcessMemory(process_, base + sizeof(LVITEMA), empty, sizeof empty, &moved)) {
            return "";
        }
        DWORD_PTR length = 0;
        SendMessageTimeoutA(list_, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(base),
                            SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length);
        char text[kTextSize] = "";
        ReadProcessMemory(process_, base + sizeof(LVITEMA), text, sizeof text, &moved);
        text[kTextSize - 1] = '\0';
        return text;
    }

    // Screen centre of the row's column-0 label, after scrolling it into view.
    bool RowCenter(int row, POINT* center) {
        SendMessageTimeoutA(list_, LVM_ENSUREVISIBLE, row, FALSE, SMTO_ABORTIFHUNG,
                            kMessageTimeoutMs, nullptr);
        RECT rect = {};
        rect.left = LVIR_LABEL;
        SIZE_T moved = 0;
        if (!WriteProcessMemory(process_, remote_, &rect, sizeof rect, &moved)) {
            return false;
        }
        DWORD_PTR ok = 0;
        if (!SendMessageTimeoutA(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote_),
                                 SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ok) ||
            !ok || !ReadProcessMemory(process_, remote_, &rect, sizeof rect, &moved)) {
            return false;
        }
        center->x = (rect.left + rect.right) / 2;
        center->y = (rect.top + rect.bottom) / 2;
        MapWindowPoints(list_, nullptr, center, 1);
        return true;
    }

private:
    static const int kTextSize = 256;
    static const SIZE_T kBlockSize = sizeof(LVITEMA) + kTextSize;
    HWND list_;
    HANDLE process_ = nullptr;
    void* remote_ = nullptr;
};

int PrintRows(HWND list) {
    DWORD_PTR rows = 0;
    DWORD_PTR columns = 0;
    SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &rows);
    DWORD_PTR header = 0;
    SendMessageTimeoutA(list, LVM_GETHEADER, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &header);
    if (header != 0) {
        SendMessageTimeoutA(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0,
                            SMTO_ABORTIFHUNG, kMessageTimeoutMs, &columns);
    }
    RemoteListView view(list);
    if (!view.Ready()) {
        std::fprintf(stderr, "zubprobe: cannot reach the list's process\n");
        return 1;
    }
    for (int row = 0; row < static_cast<int>(rows); ++row) {
        std::string line = std::to_string(row);
        for (int column = 0; column < static_cast<int>(columns); ++column) {
            line += '\t';
            line += view.Cell(row, column);
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

// One row of the system handle table (SystemHandleInformation, class 16).
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Handles of process pid from the system handle table (Wine's
// GetProcessHandleCount is a stub that answers 0); -1 when unreadable.
long CountHandlesInSystemTable(DWORD pid) {
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return -1;
    const LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 16);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0)
            return -1;
        ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
        // The rows start at the first pointer-aligned offset after the count.
        auto* rows = reinterpret_cast<SystemHandleEntry*>(buffer.data() + sizeof(void*));
        long mine = 0;
        for (ULONG i = 0; i < count; ++i) {
            if (rows[i].ownerPid == pid)
                ++mine;
        }
        return mine;
    }
    return -1;
}

// Private (committed) and resident memory of process pid in kB, as
// " private_kb P resident_kb R"; empty when unreadable.
std::string ProcessMemory(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr)
        return "";
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    std::string text;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        char line[96];
        std::snprintf(line, sizeof line, " private_kb %lu resident_kb %lu",
                      static_cast<unsigned long>(counters.PagefileUsage / 1024),
                      static_cast<unsigned long>(counters.WorkingSetSize / 1024));
        text = line;
    }
    CloseHandle(process);
    return text;
}

// "handles H threads T" of the process that owns the window; with memory,
// its private and resident memory follow.
int PrintProcessCounts(HWND window, bool memory) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    long handles = -1;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (process != nullptr) {
        DWORD count = 0;
        if (GetProcessHandleCount(process, &count) && count > 0)
            handles = static_cast<long>(count);
        CloseHandle(process);
    }
    if (handles < 0)
        handles = CountHandlesInSystemTable(pid);
    if (handles < 0) {
        std::fprintf(stderr, "zubprobe: no handle count for process %lu\n", pid);
        return 1;
    }
    int threads = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more;
             more = Thread32Next(snapshot, &entry)) {
            if (entry.th32OwnerProcessID == pid)
                ++threads;
        }
        CloseHandle(snapshot);
    }
    std::string usage = memory ? ProcessMemory(pid) : "";
    if (memory && usage.empty()) {
        std::fprintf(stderr, "zubprobe: no memory figures for process %lu\n", pid);
        return 1;
    }
    std::printf("handles %ld threads %d%s\n", handles, threads, usage.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        PrintUsage();
        return 2;
    }
    const std::string action = argv[1];
    HWND window = FindWindowA(nullptr, argv[2]);
    if (window == nullptr) {
        std::printf("missing\n");
        return 1;
    }
    if (action == "find") {
        RECT rect;
        GetWindowRect(window, &rect);
        std::printf("found %ld %ld %ld %ld visible %d\n", rect.left, rect.top, rect.right,
                    rect.bottom, IsWindowVisible(window) ? 1 : 0);
        return 0;
    }
    if (action == "children") {
        for (HWND child : ListChildren(window))
            PrintChild(child);
        return 0;
    }
    if (action == "handles" || action == "usage") {
        return PrintProcessCounts(window, action == "usage");
    }
    if (action == "answers") {
        // The window's thread handles a sent message within the time limit.
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                                 &result)) {
            std::printf("no answer\n");
            return 1;
        }
        std::printf("answers\n");
        return 0;
    }
    if (action == "owner") {
        HWND owner = GetWindow(window, GW_OWNER);
        std::printf("%s\n", owner != nullptr ? ReadWindowText(owner).c_str() : "");
        return 0;
    }
    if (action == "close") {
        return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (argc < 4) {
        PrintUsage();
        return 2;
    }
    const int id = std::atoi(argv[3]);
    if (action == "command") {
        return PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0) ? 0 : 1;
    }
    HWND control = FindControl(window, id);
    if (control == nullptr) {
        std::printf("no control %d\n", id);
        return 1;
    }
    if (action == "center") {
        RECT rect;
        GetWindowRect(control, &rect);
        std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        return 0;
    }
    if (action == "enabled") {
        std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
        return 0;
    }
    if (action == "rows") {
        return PrintRows(control);
    }
    if (action == "rowcenter" && argc >= 5) {
        RemoteListView view(control);
        POINT center;
        if (!view.Ready() || !view.RowCenter(std::atoi(argv[4]), &center)) {
            std::printf("no row %s\n", argv[4]);
            return 1;
        }
        std::printf("%ld %ld\n", center.x, center.y);
        return 0;
    }
    PrintUsage();
    return 2;
}
