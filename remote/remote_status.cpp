// Status and magazine replies of the remote server.
#include "remote/remote_status.h"

#include <mutex>

#include "base/display_text.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_line.h"
#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/playlist.h"
#include "changer/playlist_view.h"
#include "changer/status_poll.h"
#include "changer/status_snapshot.h"

namespace {

int32_t Seconds(const MinSec& time) {
    return time.bMinutes * 60 + time.bSeconds;
}

}  // namespace

RemoteStatusRecord ReadRemoteStatus() {
    RemoteStatusRecord status;
    status.mode = g_nMode.load();
    StatusSnapshot snapshot = ReadStatusSnapshot();  // as the panel takes it
    status.disc = snapshot.disc;
    status.track = snapshot.track;
    status.index = snapshot.index;
    status.trackSeconds = Seconds(snapshot.timeTrack);
    status.discSeconds = Seconds(snapshot.timeDisc);
    status.autopause = snapshot.autopause;
    status.answering = snapshot.answered;
    status.sinceAnswerMs = snapshot.sinceAnswerMs;
    status.code = g_statusCodes[snapshot.row].code;
    status.text = g_statusCodes[snapshot.row].text;

    PlaylistView playlist = ReadPlaylistView();
    status.playlistPos = playlist.pos;
    status.playlistCount = playlist.count;
    status.nextDisc = playlist.nextDisc;
    status.nextTrack = playlist.nextTrack;

    MagazineCopy magazine;
    ReadMagazineCopy(&magazine);
    status.scanning = magazine.scanning ? 1 : 0;
    status.scanSlot = magazine.scanSlot;
    status.scanLastSlot = magazine.scanLastSlot;
    status.magazineGeneration = static_cast<int32_t>(magazine.generation);
    return status;
}

void ReadRemoteCatalogue(int slot, std::string* artist, std::string* title) {
    // Whole fields first, so that a UTF-8 character at the cut goes whole.
    char artistText[kCatalogueLineWindow + 1] = {};
    char titleText[kCatalogueLineWindow + 1] = {};
    ReadCatalogue(slot, artistText, sizeof artistText, titleText, sizeof titleText);
    *artist = artistText[0] != 0 ? CutTextAtCharacter(artistText, kRemoteTextSize - 1)
                                 : kRemoteNoCatalogue;
    *title = CutTextAtCharacter(titleText, kRemoteTextSize - 1);
}

void ReadRemoteMagazine(RemoteSlotRecord* slots) {
    // The scan's copy: a running scan has published the rows read so far.
    MagazineCopy magazine;
    ReadMagazineCopy(&magazine);
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        const MagazineCopyRow& row = magazine.rows[i];
        RemoteSlotRecord& record = slots[i];
        record = RemoteSlotRecord();
        record.present = row.present;
        if (record.present) {
            record.id = row.szDiscId;
            record.firstTrack = row.wFirstTrack;
            record.trackCount = row.wTrackCount;
            record.discSeconds = Seconds(row.timeDisc);
        }
    }
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        if (slots[i].present) {
            ReadRemoteCatalogue(i + 1, &slots[i].artist, &slots[i].title);
        }
    }
}

int WriteRemoteStatus(unsigned char* reply) {
    EncodeRemoteStatus(ReadRemoteStatus(), reply);
    return kRemoteStatusSize;
}

int WriteRemoteMagazine(unsigned char* reply) {
    RemoteSlotRecord slots[kRemoteMagazineSlots];
    ReadRemoteMagazine(slots);
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        EncodeRemoteSlot(slots[i], reply + i * kRemoteSlotSize);
    }
    return kRemoteMagazineSize;
}
