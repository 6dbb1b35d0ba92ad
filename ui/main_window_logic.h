// What the main window does, apart from the window system: the buttons, the
// disc-list click, the list columns, the title and the status panel's lines.
#pragma once

#include <cstdint>
#include <string>

#include "changer/list_control.h"

// What the button logic needs of the main window.
class MainWindowSurface {
public:
    virtual ~MainWindowSurface() = default;
    virtual ListControl& DiscList() = 0;
    virtual ListControl& TrackList() = 0;
    virtual void EnableShuffleButtons() = 0;  // Random and Next
    virtual void DestroyMainWindow() = 0;
    // Handles what the window has waiting (paint, input, a sent command)
    // and returns; the program's own posted messages wait for the main
    // loop. Called between two slots of a scan.
    virtual void HandlePendingMessages() = 0;
    // A modal box with one OK button, owned by the main window.
    virtual void ShowOwnedErrorBox(const char* text, const char* caption) = 0;
};

// Whether a button's work runs on the window thread, and whether Exit or
// the close box came meanwhile. Owned by the window thread: read and
// written only there (forwarded remote commands run there too), no lock.
extern bool g_bCommandRunning;
extern bool g_bExitRequested;

// Runs the button whose id equals the whole word parameter of a command
// message (so a non-zero notification code matches nothing), or a remote
// rescan (IDC_RESCAN carrying its range, see CommandWordWithPair). A button that
// arrives while another one's work runs (from a modal loop or the scan's
// message pump) is dropped, except Exit, which ends the program once that
// work is done.
void HandleButtonCommand(uintptr_t wordParam, MainWindowSurface& window);

// Exit and the close box: destroys the window now, or once the running
// button's work is done (a scan stops after its current slot).
void HandleCloseRequest(MainWindowSurface& window);

// The buttons, each sending its commands through ChangerTransactLocked and
// making its play-mode change.
void PressLoad(int selectedRow);  // -1: no row selected
void PressUnload();
void PressPlay();
void PressPause();
void PressStop();
// The scan, keeping the window alive between slots; enables Random and Next
// and, after a silent changer stopped it, shows a box once the serial lock
// is released. Runs through HandleButtonCommand, which guards it.
void PressScan(MainWindowSurface& window);
// The scan of slots firstSlot..lastSlot alone, as a remote asks for it
// (IDC_RESCAN with the range in its command word); a range outside 1..100 or
// reversed sends nothing.
void PressRescan(MainWindowSurface& window, int firstSlot, int lastSlot);
void PressRandom();
void PressNext();

// Notification code of a click in a list.
const int kNotifyClick = -2;

// A notification from the child with id wordParam: a click in the disc list
// shows the tracks of its selected row; everything else is ignored.
void HandleListNotify(uintptr_t wordParam, int notifyCode, ListControl& notifyingList,
                      ListControl& trackList);

struct ListColumn {
    const char* heading;
    int widthUnits;  // in column units (tmAveCharWidth + 1)
};
const int kListColumnCount = 6;
extern const ListColumn kDiscListColumns[kListColumnCount];
extern const ListColumn kTrackListColumns[kListColumnCount];

// The layout's title with the changer's number and port appended:
// "<title> #0 on COM1" (g_nChanger, g_portName).
std::string TitleWithPort(const char* layoutTitle);

// The status panel's lines: three, and a fourth once a playlist has been
// built. The status values are copied under g_hStatusMutex; the playlist is
// read only when g_hPlaylistMutex is free at once (else the fourth line
// stays as last read), so painting never waits on the serial line.
struct StatusPanelText {
    std::string lines[4];
    int lineCount = 0;
};
StatusPanelText FormatStatusPanel();
