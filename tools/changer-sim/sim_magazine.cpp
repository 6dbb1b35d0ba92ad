// Magazine file reader and the built-in demo magazine.
#include "tools/changer-sim/sim_magazine.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/bounded_int.h"

namespace {

// Kept in step with demo/magazine.txt.
const char kDemoMagazineText[] =
    "1 ZUB3365659 3:01 4:37 2:59 3:22 2:18 2:53 3:22 2:15 2:10 3:39 3:41 3:11\n"
    "2 ZUB8410913 4:30 2:56 2:21\n"
    "5 ZUB6697962 5:07 4:43 4:13 4:52 2:24 3:07 2:11 2:11 4:13\n"
    "7 ZUB7708036 2:05 4:38 4:01 4:40 6:00 3:32 4:30 5:33 4:03 2:21 2:35 5:23 2:22 4:26\n"
    "12 ZUB4422754 2:25 3:23 3:15 5:53 5:43 3:53\n"
    "23 ZUB3103222 2:28 5:50 3:54 4:31 2:47 3:27 4:28 2:24 4:30 3:29\n"
    "34 ZUB8910037 first=2 5:19 5:13 3:05 2:36\n"
    "48 ZUB9041578 5:25 4:40 2:55 5:15 4:09 4:23 5:59 2:07 2:38 4:09 2:48\n"
    "59 ZUB3609293 4:18 5:20 2:48 5:50 3:09 2:21 5:22 2:48\n"
    "71 ZUB2214147 4:36 2:47 4:12 5:05 2:07 2:33 2:42 4:02 4:05 4:56 5:00 4:46 3:55\n"
    "88 ZUB7828108 2:05 2:16 2:39 2:50 4:57\n"
    "100 ZUB4121040 3:54 2:05 5:17 4:46 3:11 2:09 4:55\n";

// A magazine file holds at most 100 disc lines; anything much larger is not
// one, and is refused before it is read.
const std::uintmax_t kLargestMagazineFile = 1 << 20;

// A whole number within bounds; error names the field.
bool ParseField(const std::string& text, const NumberBounds& bounds, int& value,
                std::string& error) {
    int64_t number = 0;
    if (!ParseBoundedInt(text, bounds, &number, &error)) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

// "M:SS" or "MM:SS" in digits only, seconds below 60, at least one second.
bool ParseLength(const std::string& text, int& seconds) {
    size_t colon = text.find(':');
    int minutes = 0;
    int secs = 0;
    std::string ignored;
    if (colon == std::string::npos || text.size() - colon != 3 ||
        text.find_first_not_of("0123456789:") != std::string::npos ||
        !ParseField(text.substr(0, colon), {"", 0, 99, "minutes"}, minutes, ignored) ||
        !ParseField(text.substr(colon + 1), {"", 0, 59, "seconds"}, secs, ignored)) {
        return false;
    }
    seconds = minutes * 60 + secs;
    return seconds > 0;
}

}  // namespace

int SimDisc::TrackStart(int track) const {
    int start = kSimLeadInSeconds;
    for (int t = firstTrack; t < track; ++t) {
        start += trackSeconds[t - firstTrack];
    }
    return start;
}

SimMagazine DemoMagazine() {
    std::istringstream text(kDemoMagazineText);
    SimMagazine magazine;
    std::string error;
    ReadSimMagazine(text, magazine, error);
    return magazine;
}

bool ParseSimDiscLine(const std::string& line, int& slot, SimDisc& disc, std::string& error) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) {
        error = "no slot given";
        return false;
    }
    if (!ParseField(word, {"slot", 1, kSimSlotCount, "slot"}, slot, error)) {
        return false;
    }
    SimDisc parsed;
    if (!(words >> parsed.id)) {
        error = "missing disc id";
        return false;
    }
    bool firstGiven = false;
    while (words >> word) {
        if (word.compare(0, 6, "first=") == 0) {
            if (firstGiven || !parsed.trackSeconds.empty()) {
                error = "first= comes once, before the tracks: " + word;
                return false;
            }
            if (!ParseField(word.substr(6), {"first", 1, 99, "first track"}, parsed.firstTrack,
                            error)) {
                return false;
            }
            firstGiven = true;
            continue;
        }
        int seconds = 0;
        if (!ParseLength(word, seconds)) {
            error = "bad track length (M:SS): " + word;
            return false;
        }
        parsed.trackSeconds.push_back(seconds);
    }
    if (parsed.trackSeconds.empty()) {
        error = "no tracks";
        return false;
    }
    if (parsed.LastTrack() > 99) {
        error = "last track beyond 99";
        return false;
    }
    disc = parsed;
    return true;
}

bool ReadSimMagazine(std::istream& input, SimMagazine& magazine, std::string& error) {
    SimMagazine read;
    std::string line;
    int lineNumber = 0;
    while (std::getline(input, line)) {
        ++lineNumber;
        size_t hash = line.find('#');
        if (hash != std::string::npos) {
            line.erase(hash);
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        int slot = 0;
        SimDisc disc;
        std::string reason;
        if (!ParseSimDiscLine(line, slot, disc, reason)) {
            error = "line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        }
        if (!read.emplace(slot, disc).second) {
            error = "line " + std::to_string(lineNumber) + ": slot " + std::to_string(slot) +
                    " given twice";
            return false;
        }
    }
    magazine = read;
    return true;
}

bool ReadSimMagazineFile(const std::string& path, SimMagazine& magazine, std::string& error) {
    // Only a regular file: a directory would read as an empty magazine, a
    // FIFO or a device could block or never end.
    std::error_code failure;
    std::filesystem::file_status status = std::filesystem::status(path, failure);
    if (failure) {
        error = "cannot open " + path + ": " + failure.message();
        return false;
    }
    if (std::filesystem::is_directory(status)) {
        error = path + " is a directory, not a magazine file";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = path + " is not a regular file";
        return false;
    }
    if (std::filesystem::file_size(path, failure) > kLargestMagazineFile) {
        error = path + " is larger than " + std::to_string(kLargestMagazineFile) +
                " bytes, too large for a magazine file";
        return false;
    }
    std::ifstream input(path);
    if (!input) {
        error = "cannot open " + path;
        return false;
    }
    if (!ReadSimMagazine(input, magazine, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
