// Resource and control ids, shared by the resource script and the program.
#pragma once

#define IDI_MAIN 101
#define IDD_LAYOUT 102

#define IDC_EXIT 2
#define IDC_LOAD 1000
#define IDC_UNLOAD 1001
#define IDC_DISCLIST 1002
#define IDC_SCAN 1003
#define IDC_PLAY 1005
#define IDC_PAUSE 1006
#define IDC_STOP 1007
#define IDC_TRACKLIST 1009
#define IDC_RANDOM 1010
#define IDC_NEXT 1011
// A command with no control: a remote rescan of a range of slots.
#define IDC_RESCAN 1012
#define IDC_LABEL 65535
