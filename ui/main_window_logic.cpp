// Button actions, list notifications and status-panel text of the main window.
#include "ui/main_window_logic.h"

#include <cstdio>
#include <mutex>

#include "changer/magazine_memory.h"
#include "changer/magazine_scan.h"
#include "changer/playlist.h"
#include "changer/playlist_view.h"
#include "changer/status_poll.h"
#include "changer/status_snapshot.h"
#include "link/changer_link.h"
#include "link/changer_port.h"
#include "platform/window_hooks.h"
#include "resources/resource_ids.h"

namespace {

// The box of a scan that a silent changer stopped; %d is the slot.
const char kScanSilentText[] = "The changer does not answer; the scan stopped at slot %d.";

// Keeps the window alive between the slots of a scan and stops it after
// Exit or the close box.
class WindowScanProgress : public ScanProgress {
public:
    explicit WindowScanProgress(MainWindowSurface& window) : window_(window) {}
    bool ContinueAfterSlot() override {
        window_.HandlePendingMessages();
        return !g_bExitRequested;
    }

private:
    MainWindowSurface& window_;
};

// Marks a button's work as running for its lifetime.
class CommandRunning {
public:
    CommandRunning() { g_bCommandRunning = true; }
    ~CommandRunning() { g_bCommandRunning = false; }
    CommandRunning(const CommandRunning&) = delete;
    CommandRunning& operator=(const CommandRunning&) = delete;
};

void RunButton(uintptr_t wordParam, MainWindowSurface& window) {
    int firstSlot = 0;
    int lastSlot = 0;
    if (ReadCommandWordPair(wordParam, IDC_RESCAN, &firstSlot, &lastSlot)) {
        PressRescan(window, firstSlot, lastSlot);
        return;
    }
    switch (wordParam) {
        case IDC_LOAD:
            PressLoad(GetSelectedRow(window.DiscList()));
            break;
        case IDC_UNLOAD:
            PressUnload();
            break;
        case IDC_SCAN:
            PressScan(window);
            break;
        case IDC_PLAY:
            PressPlay();
            break;
        case IDC_PAUSE:
            PressPause();
            break;
        case IDC_STOP:
            PressStop();
            break;
        case IDC_RANDOM:
            PressRandom();
            break;
        case IDC_NEXT:
            PressNext();
            break;
        default:
            break;
    }
}

}  // namespace

bool g_bCommandRunning = false;
bool g_bExitRequested = false;

const ListColumn kDiscListColumns[kListColumnCount] = {
    {"Disc", 6}, {"ID", 14}, {"Tracks", 10}, {"Time", 9}, {"Artist", 15}, {"Title", 15},
};

const ListColumn kTrackListColumns[kListColumnCount] = {
    {"Track", 7}, {"Start", 9}, {"Time", 9}, {"Title", 15}, {"Style", 15}, {"Played", 15},
};

void PressLoad(int selectedRow) {
    // With no row selected the button loads slot 2, not nothing: the
    // program has always done so, and users may rely on it.
    int slot = selectedRow >= 0 ? selectedRow + 1 : 2;
    // A disc brought to the player is stopped there: Play may start it.
    if (LoadSlotChecked(slot) == 0) {
        g_nMode = ModeStop;
    }
}

void PressUnload() {
    ChangerTransactLocked(CMD_UNLOAD, "", nullptr);
    g_nMode = ModeUnloaded;
}

void PressPlay() {
    int mode = g_nMode;
    if (mode == ModeUnloaded) {
        return;
    }
    if (mode == ModeStop) {
        ChangerTransactLocked(CMD_TRACK, "A01", nullptr);
    }
    ChangerTransactLocked(CMD_PLAY, "", nullptr);
    g_nMode = ModePlay;
}

void PressPause() {
    if (g_nMode == ModeUnloaded) {
        return;
    }
    ChangerTransactLocked(CMD_PAUSE, "", nullptr);
    g_nMode = ModePause;
}

void PressStop() {
    if (g_nMode == ModeUnloaded) {
        return;
    }
    ChangerTransactLocked(CMD_STOP, "", nullptr);
    g_nMode = ModeStop;
}

void PressScan(MainWindowSurface& window) {
    PressRescan(window, 1, kSlotCount);
}

void PressRescan(MainWindowSurface& window, int firstSlot, int lastSlot) {
    WindowScanProgress progress(window);
    ScanResult result =
        ScanMagazine(window.DiscList(), window.TrackList(), progress, firstSlot, lastSlot);
    if (result.end == ScanRefused) {
        return;
    }
    window.EnableShuffleButtons();
    if (result.end == ScanChangerSilent && !g_bExitRequested) {
        char text[sizeof kScanSilentText + 8];
        std::snprintf(text, sizeof text, kScanSilentText, result.lastSlot);
        window.ShowOwnedErrorBox(text, "Error");
    }
}

void PressRandom() {
    StartShuffle();
}

void PressNext() {
    PlayNextEntry();
}

void HandleButtonCommand(uintptr_t wordParam, MainWindowSurface& window) {
    if (wordParam == IDC_EXIT) {
        HandleCloseRequest(window);
        return;
    }
    if (g_bCommandRunning) {
        return;  // no button starts inside another one's work
    }
    {
        CommandRunning running;
        RunButton(wordParam, window);
    }
    if (g_bExitRequested) {
        window.DestroyMainWindow();
    }
}

void HandleCloseRequest(MainWindowSurface& window) {
    if (g_bCommandRunning) {
        g_bExitRequested = true;
    } else {
        window.DestroyMainWindow();
    }
}

void HandleListNotify(uintptr_t wordParam, int notifyCode, ListControl& notifyingList,
                      ListControl& trackList) {
    if (wordParam == IDC_DISCLIST && notifyCode == kNotifyClick) {
        ShowTrackList(trackList, GetSelectedRow(notifyingList));
    }
}

std::string TitleWithPort(const char* layoutTitle) {
    return std::string(layoutTitle) + " #" + std::to_string(g_nChanger) + " on " + g_portName;
}

StatusPanelText FormatStatusPanel() {
    // Copies taken under the status lock; the text is formatted after it is
    // released.
    StatusSnapshot status = ReadStatusSnapshot();

    StatusPanelText panel;
    char text[128];
    char discText[16];
    char trackText[16];
    status.timeDisc.Format(discText);
    status.timeTrack.Format(trackText);
    std::snprintf(text, sizeof text, "Disc: %s Track: %s Autopause: %s", discText, trackText,
                  status.autopause ? "on" : "off");
    panel.lines[0] = text;
    std::snprintf(text, sizeof text, "Disc %d Track %d Index %d", status.disc, status.track,
                  status.index);
    panel.lines[1] = text;
    panel.lines[2] = g_statusCodes[status.row].text;
    panel.lineCount = 3;

    // A play request holds the playlist lock while it waits on the line: the
    // painter does not wait for it and shows the entry it last read.
    PlaylistView playlist = ReadPlaylistView();
    if (playlist.built) {
        if (playlist.hasNext) {
            std::snprintf(text, sizeof text, "Next: Disc %d Track %d (%d of %d)", playlist.nextDisc,
                          playlist.nextTrack, playlist.pos + 1, playlist.count);
            panel.lines[3] = text;
        } else {
            panel.lines[3] = "Next: none";  // an empty list names no entry
        }
        panel.lineCount = 4;
    }
    return panel;
}
