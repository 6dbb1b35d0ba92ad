// The simulated changer's magazine: discs by slot, the demo magazine and the
// magazine file reader.
#pragma once

#include <istream>
#include <map>
#include <string>
#include <vector>

const int kSimSlotCount = 100;
const int kSimIdLength = 10;
const int kSimLeadInSeconds = 2;  // the first track starts at 0:02

struct SimDisc {
    std::string id;                 // sent cut or space-padded to 10 characters
    int firstTrack = 1;             // number of the first track
    std::vector<int> trackSeconds;  // length of each track, first track first

    int LastTrack() const { return firstTrack + static_cast<int>(trackSeconds.size()) - 1; }
    bool HasTrack(int track) const { return track >= firstTrack && track <= LastTrack(); }
    // Start and end of a track on the disc, in seconds from the disc's start.
    int TrackStart(int track) const;
    int TrackEnd(int track) const { return TrackStart(track) + trackSeconds[track - firstTrack]; }
    int TotalSeconds() const { return TrackEnd(LastTrack()); }

    bool operator==(const SimDisc& other) const {
        return id == other.id && firstTrack == other.firstTrack &&
               trackSeconds == other.trackSeconds;
    }
};

// Slot (1..100) -> disc; a slot not in the map is empty.
using SimMagazine = std::map<int, SimDisc>;

// About a dozen made-up discs in assorted slots, 1 and 100 among them. The
// same magazine is written out in demo/magazine.txt.
SimMagazine DemoMagazine();

// Parses one disc line "slot id [first=N] M:SS M:SS ...". Slot 1..100, id
// without blanks, first track 1..99, at least one track, each 0:01..99:59,
// last track at most 99. On failure returns false and says why in error.
bool ParseSimDiscLine(const std::string& line, int& slot, SimDisc& disc, std::string& error);

// Reads a magazine file: disc lines as above, '#' starts a comment, blank
// lines are skipped. A malformed line or a slot given twice fails the whole
// read with "line N: reason" in error; magazine is then left unchanged.
bool ReadSimMagazine(std::istream& input, SimMagazine& magazine, std::string& error);
bool ReadSimMagazineFile(const std::string& path, SimMagazine& magazine, std::string& error);
