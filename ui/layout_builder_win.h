// Builds a window's title, size and child controls from a dialog template
// resource, without the dialog manager.
#pragma once

#include <windows.h>

// host: gets the title, size and controls and owns the error boxes.
// parent: only for expressing the host's position when resizing (or null).
// resize: non-zero makes the host take the template's size and frame bits.
// 1 when every item was created, else 0.
int BuildControlsFromTemplate(HWND host, HWND parent, LPCSTR templateName, HINSTANCE instance,
                              int resize);

// Deletes the font that BuildControlsFromTemplate created for host's
// controls. The host calls it when it is destroyed; its controls are gone by
// then.
void ReleaseLayoutFont(HWND host);
