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
};

// Runs the button whose id equals the whole word parameter of a command
// message (so a non-zero notification code matches nothing).
void HandleButtonCommand(uintptr_t wordParam, MainWindowSurface& window);

// The buttons, each sending its commands through ChangerTransactLocked and
// making its play-mode change.
void PressLoad(int selectedRow);  // -1: no row selected
void PressUnload();
void PressPlay();
void PressPause();
void PressStop();
void PressScan(MainWindowSurface& window);
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

// The layout's title with the port appended: "<title> #0 on COM1".
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
