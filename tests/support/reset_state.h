// Puts the changer-control state back to a fresh start between test cases,
// and small builders for what tests put into it or expect on the line.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Empties the magazine table and the playlist, zeroes the generator, the
// mode and every status value, detaches g_hCom and forgets the link's state.
void ResetChangerState();

// Marks slot (1..100) present with tracks first .. first + count - 1.
void FillSlot(int slot, int firstTrack, int trackCount);

// The playlist's entries in order, each as (disc, track).
std::vector<std::pair<int, int>> PlaylistEntries();

// Splits what went out on the line into frames, each as command code plus
// argument ("01A00", "16"); a malformed remainder ends up as one item.
std::vector<std::string> SentCommands(const std::string& written);

// A whole CMD_STATUS reply (28 bytes, ETX at 27) with the given fields.
std::string StatusReply(const char* code, bool autopause, int disc, int track, int index = 1,
                        const char* trackTime = "0000", const char* discTime = "0000");
