// The controller's side of the status ('6') and magazine ('7') queries:
// the values read under the locks the window uses, and the replies.
#pragma once

#include "protocol/remote_records.h"

// The status panel's values copied under g_hStatusMutex, then, with it
// released, the playlist's (ReadPlaylistView) and the scan's progress from
// the magazine copy. Never waits for the serial line.
RemoteStatusRecord ReadRemoteStatus();

// The magazine copy (during a scan, the rows read so far; never waits for
// the line), then each present slot's catalogue line as the info reply
// gives it.
// slots holds kRemoteMagazineSlots records, slot 1 first.
void ReadRemoteMagazine(RemoteSlotRecord* slots);

// The catalogue line of a slot as the info reply gives it: each text at
// most kRemoteTextSize - 1 bytes, cut between characters when it is UTF-8;
// kRemoteNoCatalogue for an empty artist.
void ReadRemoteCatalogue(int slot, std::string* artist, std::string* title);

// The replies: return their length (kRemoteStatusSize, kRemoteMagazineSize).
int WriteRemoteStatus(unsigned char* reply);
int WriteRemoteMagazine(unsigned char* reply);
