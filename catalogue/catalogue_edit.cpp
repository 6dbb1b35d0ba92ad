// Rewriting one line of the catalogue, in its own encoding and line ends.
#include "catalogue/catalogue_edit.h"

#include <vector>

#include "base/display_text.h"
#include "base/utf8_text.h"
#include "catalogue/catalogue_line.h"
#include "protocol/remote_name_check.h"

namespace {

enum class Encoding { Bytes1252, Utf8, Utf16Little, Utf16Big };

const char kUtf8Mark[] = "\xEF\xBB\xBF";

bool StartsWith(const std::string& bytes, const char* mark, size_t size) {
    return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
}

// A file without a mark is UTF-8 when it has a multi-byte character and
// every byte from 0x80 up belongs to one.
bool LooksLikeUtf8(const std::string& bytes) {
    bool multiByte = false;
    for (unsigned char byte : bytes) {
        if (byte >= 0x80) {
            multiByte = true;
            break;
        }
    }
    std::vector<uint32_t> points;
    return multiByte && DecodeUtf8(bytes, &points);
}

// The name in the file's encoding, as units of Text.
template <typename Text>
Text EncodeName(const std::vector<uint32_t>& points, Encoding encoding) {
    Text out;
    for (uint32_t point : points) {
        if (encoding == Encoding::Bytes1252) {
            out += static_cast<typename Text::value_type>(Cp1252ByteOf(point));
        } else if (point >= 0x10000) {
            out += static_cast<typename Text::value_type>(0xD800 + ((point - 0x10000) >> 10));
            out += static_cast<typename Text::value_type>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            out += static_cast<typename Text::value_type>(point);
        }
    }
    return out;
}

bool FitsCp1252(const std::vector<uint32_t>& points) {
    for (uint32_t point : points) {
        if (point != '?' && Cp1252ByteOf(point) == '?') {
            return false;
        }
    }
    return true;
}

// The end of the line starting at `from`: its first CR or LF, or the end.
template <typename Text>
size_t LineEnd(const Text& body, size_t from) {
    size_t at = from;
    while (at < body.size() && body[at] != '\r' && body[at] != '\n') {
        ++at;
    }
    return at;
}

// The length of the line end at `at` (CR LF 2, CR or LF 1, none 0).
template <typename Text>
size_t LineEndLength(const Text& body, size_t at) {
    if (at >= body.size()) {
        return 0;
    }
    return body[at] == '\r' && at + 1 < body.size() && body[at + 1] == '\n' ? 2 : 1;
}

// The line end that added lines get: the file's last one, so that one
// added after a lone CR cannot join it into a CR LF; CR LF in a file
// without any.
template <typename Text>
Text FileLineEnd(const Text& body) {
    size_t at = body.size();
    while (at > 0 && body[at - 1] != '\r' && body[at - 1] != '\n') {
        --at;
    }
    if (at == 0) {
        return Text{'\r', '\n'};
    }
    if (body[at - 1] == '\n' && at >= 2 && body[at - 2] == '\r') {
        return Text{'\r', '\n'};
    }
    return Text{body[at - 1]};
}

// The line with the names given (null: kept), and the fields after the
// title kept. *shown is how much of it the reader takes: artist, TAB, title.
template <typename Text>
Text NewLine(const Text& old, const Text* artist, const Text* title, size_t* shown) {
    size_t tab = old.find('\t');
    Text oldArtist = old.substr(0, tab);
    Text oldTitle;
    Text after;
    if (tab != Text::npos) {
        size_t next = old.find('\t', tab + 1);
        oldTitle = old.substr(tab + 1, next == Text::npos ? Text::npos : next - tab - 1);
        if (next != Text::npos) {
            after = old.substr(next);
        }
    }
    Text line = artist != nullptr ? *artist : oldArtist;
    line += '\t';
    line += title != nullptr ? *title : oldTitle;
    *shown = line.size();
    return line + after;
}

// The body with line `slot` made anew; empty lines added up to it.
template <typename Text>
Text ReplaceLine(const Text& body, int slot, const Text* artist, const Text* title, size_t* shown) {
    const Text lineEnd = FileLineEnd(body);
    size_t at = 0;
    int line = 1;
    while (line < slot) {
        size_t end = LineEnd(body, at);
        if (end == body.size()) {
            break;
        }
        at = end + LineEndLength(body, end);
        ++line;
    }
    if (line == slot && at < body.size()) {
        size_t end = LineEnd(body, at);
        return body.substr(0, at) + NewLine(body.substr(at, end - at), artist, title, shown) +
               body.substr(end);
    }
    Text out = body;
    if (at < body.size()) {  // the last line had no line end
        out += lineEnd;
        ++line;
    }
    for (; line < slot; ++line) {
        out += lineEnd;
    }
    return out + NewLine(Text(), artist, title, shown) + lineEnd;
}

std::u16string Utf16Units(const std::string& bytes, size_t from, bool big) {
    std::u16string units;
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        unsigned char first = static_cast<unsigned char>(bytes[i]);
        unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
        units += static_cast<char16_t>(big ? first << 8 | second : second << 8 | first);
    }
    return units;
}

std::string Utf16Bytes(const std::u16string& units, bool big) {
    std::string bytes;
    for (char16_t unit : units) {
        char high = static_cast<char>(unit >> 8);
        char low = static_cast<char>(unit & 0xFF);
        bytes += big ? high : low;
        bytes += big ? low : high;
    }
    return bytes;
}

// The names' code points; false with the error when one cannot be stored.
bool NamePoints(const std::string* name, RemoteNameKind kind, std::vector<uint32_t>* points,
                std::string* error) {
    if (name == nullptr) {
        return true;
    }
    *error = CheckRemoteName(kind, *name);
    return error->empty() && DecodeUtf8(*name, points);
}

// The new file, unless the edited line is longer than the reader takes.
CatalogueEdit Finish(size_t shown, std::string bytes) {
    CatalogueEdit edit;
    if (shown > kCatalogueLineWindow) {
        edit.error = "the line would hold " + std::to_string(shown) +
                     " characters; the catalogue reads " + std::to_string(kCatalogueLineWindow - 1);
        return edit;
    }
    edit.bytes = std::move(bytes);
    return edit;
}

}  // namespace

CatalogueEdit EditCatalogueNames(const std::string& file, int slot, const std::string* artist,
                                 const std::string* title) {
    CatalogueEdit edit;
    edit.error = CheckRemoteSlot(slot);
    std::vector<uint32_t> artistPoints;
    std::vector<uint32_t> titlePoints;
    if (!edit.error.empty() || !NamePoints(artist, NameArtist, &artistPoints, &edit.error) ||
        !NamePoints(title, NameDiscTitle, &titlePoints, &edit.error)) {
        return edit;
    }

    bool little = StartsWith(file, "\xFF\xFE", 2);
    bool big = StartsWith(file, "\xFE\xFF", 2);
    if (little || big) {
        Encoding encoding = big ? Encoding::Utf16Big : Encoding::Utf16Little;
        std::u16string newArtist = EncodeName<std::u16string>(artistPoints, encoding);
        std::u16string newTitle = EncodeName<std::u16string>(titlePoints, encoding);
        size_t shown = 0;
        std::u16string body =
            ReplaceLine(Utf16Units(file, 2, big), slot, artist ? &newArtist : nullptr,
                        title ? &newTitle : nullptr, &shown);
        // An odd last byte belongs to no character and stays at the end.
        std::string tail = (file.size() - 2) % 2 == 1 ? file.substr(file.size() - 1) : "";
        return Finish(shown, file.substr(0, 2) + Utf16Bytes(body, big) + tail);
    }

    bool marked = StartsWith(file, kUtf8Mark, 3);
    std::string body = marked ? file.substr(3) : file;
    bool utf8 =
        marked || LooksLikeUtf8(body) || !FitsCp1252(artistPoints) || !FitsCp1252(titlePoints);
    Encoding encoding = utf8 ? Encoding::Utf8 : Encoding::Bytes1252;
    std::string newArtist =
        utf8 && artist ? *artist : EncodeName<std::string>(artistPoints, encoding);
    std::string newTitle = utf8 && title ? *title : EncodeName<std::string>(titlePoints, encoding);
    size_t shown = 0;
    std::string edited =
        ReplaceLine(body, slot, artist ? &newArtist : nullptr, title ? &newTitle : nullptr, &shown);
    return Finish(shown, (marked ? std::string(kUtf8Mark) : std::string()) + edited);
}
