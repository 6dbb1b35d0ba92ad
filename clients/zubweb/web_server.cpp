// zubweb's routes.
#include "clients/zubweb/web_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "base/deadline.h"
#include "clients/zubweb/track_cache.h"
#include "clients/zubweb/web_names.h"
#include "clients/zubweb/web_page.h"
#include "clients/zubweb/web_routes.h"
#include "protocol/remote_commands.h"
#include "protocol/remote_name_check.h"
#include "protocol/remote_names.h"

namespace {

const char kJson[] = "application/json";

void ReplyJson(httplib::Response& response, int status, const std::string& body) {
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(body, kJson);
}

// No changer index in the events of the first changer's own routes.
const int kNoChangerField = -1;

}  // namespace

struct WebServer::Routes {
    Routes(std::vector<WebChanger> changers, ChangeBell* bell)
        : changers(std::move(changers)), bell(bell), caches(this->changers.size()) {}

    // Where one event stream stands for one changer.
    struct StreamMark {
        uint64_t sent = 0;
        int64_t sentAt = 0;
        bool first = true;
    };

    void Install();
    void ChangerRoutes(const httplib::Request& request, httplib::Response& response);
    void List(httplib::Response& response);
    void Status(const WebChanger& changer, httplib::Response& response);
    void Discs(const WebChanger& changer, const httplib::Request& request,
               httplib::Response& response);
    void Names(const WebChanger& changer, const std::string& rest, const httplib::Request& request,
               httplib::Response& response);
    void Tracks(const WebChanger& changer, int slot, httplib::Response& response);
    void SetNames(const WebChanger& changer, const NamesRouteMatch& match,
                  const httplib::Request& request, httplib::Response& response);
    void Random(const WebChanger& changer, const httplib::Request& request,
                httplib::Response& response);
    void History(const WebChanger& changer, const httplib::Request& request,
                 httplib::Response& response);
    void Styles(const WebChanger& changer, httplib::Response& response);
    bool ReadIndex(const WebChanger& changer, WebDiscIndex* index, httplib::Response& response);
    bool Ask(const WebChanger& changer, const WebCommand& query, std::vector<unsigned char>* reply,
             httplib::Response& response);
    WebTrackCache& CacheOf(const WebChanger& changer) { return caches[&changer - &changers[0]]; }
    void Command(const WebChanger& changer, const httplib::Request& request,
                 httplib::Response& response);
    void Scan(const WebChanger& changer, const httplib::Request& request,
              httplib::Response& response);
    void Forward(const WebChanger& changer, const WebCommand& command, httplib::Response& response);
    bool OpenStream(httplib::Response& response);
    void Events(int index, int changerField, httplib::Response& response);
    void AllEvents(httplib::Response& response);
    bool SendEvents(httplib::DataSink& sink, const WebChanger& changer, int changerField,
                    StreamMark* mark);
    bool SendAllEvents(httplib::DataSink& sink, std::vector<StreamMark>* marks);
    bool WaitForAnyChange(const std::vector<StreamMark>& marks, int limitMs);
    bool AnyWatchStopping();
    bool WaitOrStop(int ms);

    const std::vector<WebChanger> changers;
    ChangeBell* const bell;
    std::vector<WebTrackCache> caches;  // one per changer
    std::string page;
    httplib::Server server;
    std::atomic<bool> stopping{false};
    std::mutex streamsMutex;
    int streams = 0;
};

void WebServer::Routes::Install() {
    std::vector<std::string> names;
    for (const WebChanger& changer : changers) {
        names.push_back(changer.name);
    }
    page = WebPageHtml(names);
    server.new_task_queue = [] { return new httplib::ThreadPool(kWebThreads); };
    server.set_payload_max_length(kWebCommandMaxBody);
    // Slow clients hold a thread no longer than these.
    server.set_read_timeout(kWebReadTimeoutSeconds, 0);
    server.set_keep_alive_timeout(kWebKeepAliveSeconds);
    server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "text/html; charset=utf-8");
    });
    const WebChanger& first = changers.front();
    server.Get("/api/status", [this, &first](const httplib::Request&, httplib::Response& response) {
        Status(first, response);
    });
    server.Get("/api/discs",
               [this, &first](const httplib::Request& request, httplib::Response& response) {
                   Discs(first, request, response);
               });
    auto namesRoutes = [this, &first](const httplib::Request& request,
                                      httplib::Response& response) {
        Names(first, request.path.substr(std::string("/api/").size()), request, response);
    };
    server.Get(R"(/api/(discs/.*|history|random|styles))", namesRoutes);
    server.Post(R"(/api/(discs/.*|history|random|styles))", namesRoutes);
    server.Post("/api/command",
                [this, &first](const httplib::Request& request, httplib::Response& response) {
                    Command(first, request, response);
                });
    server.Post("/api/scan",
                [this, &first](const httplib::Request& request, httplib::Response& response) {
                    Scan(first, request, response);
                });
    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& response) {
        Events(0, kNoChangerField, response);
    });
    auto changerRoutes = [this](const httplib::Request& request, httplib::Response& response) {
        ChangerRoutes(request, response);
    };
    const std::string pattern = std::string(kChangerRoutePrefix) + "(/.*)?";
    server.Get(pattern, changerRoutes);
    server.Post(pattern, changerRoutes);
}

void WebServer::Routes::ChangerRoutes(const httplib::Request& request,
                                      httplib::Response& response) {
    ChangerRouteMatch match =
        MatchChangerRoute(request.method, request.path, static_cast<int>(changers.size()));
    const WebChanger* changer = match.index >= 0 ? &changers[match.index] : nullptr;
    switch (match.route) {
        case ChangerRoute::kList:
            List(response);
            return;
        case ChangerRoute::kAllEvents:
            AllEvents(response);
            return;
        case ChangerRoute::kStatus:
            Status(*changer, response);
            return;
        case ChangerRoute::kDiscs:
            Discs(*changer, request, response);
            return;
        case ChangerRoute::kNames:
            Names(*changer, match.rest, request, response);
            return;
        case ChangerRoute::kCommand:
            Command(*changer, request, response);
            return;
        case ChangerRoute::kScan:
            Scan(*changer, request, response);
            return;
        case ChangerRoute::kEvents:
            Events(match.index, match.index, response);
            return;
        case ChangerRoute::kNone:
            break;
    }
    ReplyJson(response, match.status, ErrorJson(match.error));
}

void WebServer::Routes::List(httplib::Response& response) {
    std::vector<WebChangerListing> listings;
    for (size_t i = 0; i < changers.size(); ++i) {
        WebChangerListing listing;
        listing.index = static_cast<int>(i);
        listing.name = changers[i].name;
        listing.host = changers[i].host;
        listing.port = changers[i].port;
        listing.reachable = changers[i].watch->Current().reachable;
        listings.push_back(listing);
    }
    ReplyJson(response, 200, ChangersJson(listings));
}

void WebServer::Routes::Status(const WebChanger& changer, httplib::Response& response) {
    WebStatus status = changer.watch->Current();
    ReplyJson(response, status.reachable ? 200 : 503, StatusJson(status));
}

void WebServer::Routes::Discs(const WebChanger& changer, const httplib::Request& request,
                              httplib::Response& response) {
    if (request.has_param("q")) {
        WebDiscIndex index;
        if (ReadIndex(changer, &index, response)) {
            ReplyJson(response, 200, FilteredDiscsJson(index, request.get_param_value("q")));
        }
        return;
    }
    std::vector<unsigned char> reply(kRemoteMagazineSize);
    std::string error;
    WebCommand query;
    query.command = REMOTE_MAGAZINE;
    if (!changer.link->Exchange(query, reply.data(), kRemoteMagazineSize, kWebExchangeMs, &error)) {
        ReplyJson(response, 503, ErrorJson(error));
        return;
    }
    std::vector<RemoteSlotRecord> slots;
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        slots.push_back(DecodeRemoteSlot(reply.data() + i * kRemoteSlotSize));
    }
    ReplyJson(response, 200, DiscsJson(slots));
}

void WebServer::Routes::Command(const WebChanger& changer, const httplib::Request& request,
                                httplib::Response& response) {
    WebCommand command;
    std::string error;
    if (!ParseWebCommand(request.body, &command, &error)) {
        ReplyJson(response, 400, ErrorJson(error));
        return;
    }
    Forward(changer, command, response);
}

void WebServer::Routes::Scan(const WebChanger& changer, const httplib::Request& request,
                             httplib::Response& response) {
    WebCommand command;
    std::string error;
    if (!ParseWebScan(request.body, &command, &error)) {
        ReplyJson(response, 400, ErrorJson(error));
        return;
    }
    Forward(changer, command, response);
}

void WebServer::Routes::Names(const WebChanger& changer, const std::string& rest,
                              const httplib::Request& request, httplib::Response& response) {
    NamesRouteMatch match = MatchNamesRoute(request.method, rest);
    switch (match.route) {
        case NamesRoute::kTracks:
            Tracks(changer, match.slot, response);
            return;
        case NamesRoute::kSetDisc:
        case NamesRoute::kSetTrack:
            SetNames(changer, match, request, response);
            return;
        case NamesRoute::kRandom:
            Random(changer, request, response);
            return;
        case NamesRoute::kHistory:
            History(changer, request, response);
            return;
        case NamesRoute::kStyles:
            Styles(changer, response);
            return;
        case NamesRoute::kNone:
            break;
    }
    ReplyJson(response, match.status, ErrorJson(match.error));
}

// One query and its whole reply; false with the answer given (503) when
// the controller could not be asked.
bool WebServer::Routes::Ask(const WebChanger& changer, const WebCommand& query,
                            std::vector<unsigned char>* reply, httplib::Response& response) {
    std::string error;
    int size = RemoteReplySize(query.command);
    reply->assign(size, 0);
    if (!changer.link->Exchange(query, reply->data(), size, kWebExchangeMs, &error)) {
        ReplyJson(response, 503, ErrorJson(error));
        return false;
    }
    return true;
}

void WebServer::Routes::Tracks(const WebChanger& changer, int slot, httplib::Response& response) {
    WebCommand query;
    query.command = REMOTE_TRACKS;
    query.disc = slot;
    std::vector<unsigned char> tracks;
    std::vector<unsigned char> history;
    if (!Ask(changer, query, &tracks, response)) {
        return;
    }
    query = WebCommand();
    query.command = REMOTE_HISTORY;
    if (!Ask(changer, query, &history, response)) {
        return;
    }
    ReplyJson(response, 200,
              TracksJson(DecodeRemoteTracks(tracks.data()), DecodeRemoteHistory(history.data())));
}

void WebServer::Routes::SetNames(const WebChanger& changer, const NamesRouteMatch& match,
                                 const httplib::Request& request, httplib::Response& response) {
    std::vector<WebTextRequest> requests;
    std::string error;
    if (!ParseWebNames(request.body, match.slot, match.track, &requests, &error)) {
        ReplyJson(response, 400, ErrorJson(error));
        return;
    }
    if (match.route == NamesRoute::kSetTrack) {
        // The track must be on the disc now: nothing is sent otherwise.
        WebCommand query;
        query.command = REMOTE_MAGAZINE;
        std::vector<unsigned char> magazine;
        if (!Ask(changer, query, &magazine, response)) {
            return;
        }
        RemoteSlotRecord slot =
            DecodeRemoteSlot(magazine.data() + (match.slot - 1) * kRemoteSlotSize);
        error = CheckTrackOnDisc(match.slot, match.track, slot.present ? slot.firstTrack : 0,
                                 slot.present ? slot.trackCount : 0);
        if (!error.empty()) {
            ReplyJson(response, 400, ErrorJson(error));
            return;
        }
    }
    for (const WebTextRequest& text : requests) {
        WebCommand command;
        command.command = text.command;
        command.disc = text.slot;
        command.track = text.track;
        command.text = text.text;
        std::vector<unsigned char> reply;
        if (!Ask(changer, command, &reply, response)) {
            return;
        }
        CacheOf(changer).Forget(match.slot);
        RemoteAnswerRecord answer = DecodeRemoteAnswer(reply.data());
        int status = NamesAnswerStatus(answer);
        if (status != 200) {
            ReplyJson(
                response, status,
                ErrorJson(answer.message.empty() ? "the controller refused" : answer.message));
            return;
        }
    }
    changer.watch->QuerySoon();
    ReplyJson(response, 200, R"({"ok": true})");
}

void WebServer::Routes::Random(const WebChanger& changer, const httplib::Request& request,
                               httplib::Response& response) {
    std::string style;
    std::string error;
    if (!ParseWebRandom(request.body, &style, &error)) {
        ReplyJson(response, 400, ErrorJson(error));
        return;
    }
    if (style.empty()) {
        WebCommand shuffle;
        shuffle.command = REMOTE_SHUFFLE;
        Forward(changer, shuffle, response);
        return;
    }
    WebCommand command;
    command.command = REMOTE_STYLE_SHUFFLE;
    command.text = style;
    std::vector<unsigned char> reply;
    if (!Ask(changer, command, &reply, response)) {
        return;
    }
    RemoteAnswerRecord answer = DecodeRemoteAnswer(reply.data());
    int status = NamesAnswerStatus(answer);
    if (status != 200) {
        ReplyJson(response, status,
                  ErrorJson(answer.message.empty() ? "the controller refused" : answer.message));
        return;
    }
    if (answer.value == 0) {
        ReplyJson(response, 404,
                  ErrorJson("no track has the style " + style + "; the playlist is as it was"));
        return;
    }
    changer.watch->QuerySoon();
    ReplyJson(response, 200, R"({"ok": true, "tracks": )" + std::to_string(answer.value) + "}");
}

void WebServer::Routes::History(const WebChanger& changer, const httplib::Request& request,
                                httplib::Response& response) {
    int limit = 0;
    std::string error;
    if (!ParseHistoryLimit(request.get_param_value("limit"), &limit, &error)) {
        ReplyJson(response, 400, ErrorJson(error));
        return;
    }
    WebCommand query;
    query.command = REMOTE_HISTORY;
    std::vector<unsigned char> history;
    if (!Ask(changer, query, &history, response)) {
        return;
    }
    ReplyJson(response, 200, HistoryJson(DecodeRemoteHistory(history.data()), limit));
}

void WebServer::Routes::Styles(const WebChanger& changer, httplib::Response& response) {
    WebDiscIndex index;
    if (ReadIndex(changer, &index, response)) {
        ReplyJson(response, 200, StylesJson(index));
    }
}

// The changer's magazine and tracks, refreshed as the filter needs them;
// false with the answer given (503) when the controller could not be asked.
bool WebServer::Routes::ReadIndex(const WebChanger& changer, WebDiscIndex* index,
                                  httplib::Response& response) {
    std::string error;
    WebTrackCache& cache = CacheOf(changer);
    int32_t generation = changer.watch->Current().status.magazineGeneration;
    if (!cache.Refresh(*changer.link, generation, kWebExchangeMs, &error)) {
        ReplyJson(response, 503, ErrorJson(error));
        return false;
    }
    *index = cache.Index();
    return true;
}

// Sends a parsed command on, or refuses it while a scan runs.
void WebServer::Routes::Forward(const WebChanger& changer, const WebCommand& command,
                                httplib::Response& response) {
    std::string error;
    WebStatus now = changer.watch->Current();
    WebCommandAnswer answer =
        AnswerWebCommand(command.command, now.reachable && now.status.scanning != 0);
    if (answer.send) {
        bool sent = changer.commandLink != nullptr
                        ? changer.commandLink->SendAndClose(command, kWebExchangeMs, &error)
                        : changer.link->Exchange(command, nullptr, 0, kWebExchangeMs, &error);
        if (!sent) {
            ReplyJson(response, 503, ErrorJson(error));
            return;
        }
        changer.watch->QuerySoon();
    }
    ReplyJson(response, answer.status, answer.body);
}

// Sleeps up to ms; false when the server stops meanwhile.
bool WebServer::Routes::WaitOrStop(int ms) {
    const Deadline deadline(ms);
    while (!stopping) {
        if (deadline.Passed()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(deadline.LeftMs(), 50)));
    }
    return false;
}

bool WebServer::Routes::AnyWatchStopping() {
    for (const WebChanger& changer : changers) {
        if (changer.watch->Stopping()) {
            return true;
        }
    }
    return false;
}

// One step of an event stream: the first call sends the view at once; later
// ones wait for a change (or send a keep-alive comment), keeping events
// kWebEventSpacingMs apart. False ends the stream.
bool WebServer::Routes::SendEvents(httplib::DataSink& sink, const WebChanger& changer,
                                   int changerField, StreamMark* mark) {
    StatusWatch& watch = *changer.watch;
    if (!mark->first) {
        int64_t waited = 0;
        while (!watch.WaitForChange(mark->sent, kWebStreamCheckMs)) {
            // A client that has gone frees its slot now, not at the next write.
            if (stopping || watch.Stopping() || !sink.is_writable()) {
                return false;
            }
            waited += kWebStreamCheckMs;
            if (waited >= kWebKeepAliveMs) {
                static const char kKeepAlive[] = ": keep-alive\n\n";
                return sink.write(kKeepAlive, sizeof kKeepAlive - 1);
            }
        }
        int64_t since = SteadyClockMs() - mark->sentAt;
        if (since < kWebEventSpacingMs &&
            !WaitOrStop(static_cast<int>(kWebEventSpacingMs - since))) {
            return false;
        }
    }
    mark->first = false;
    if (stopping) {
        return false;
    }
    WebStatus status = watch.Current(&mark->sent);
    std::string event = "data: " + StatusJson(status, changerField) + "\n\n";
    mark->sentAt = SteadyClockMs();
    return sink.write(event.data(), event.size());
}

// Waits at most limitMs until a changer's view differs from what its mark
// last sent. True when one does.
bool WebServer::Routes::WaitForAnyChange(const std::vector<StreamMark>& marks, int limitMs) {
    auto changed = [&] {
        for (size_t i = 0; i < changers.size(); ++i) {
            uint64_t version = 0;
            changers[i].watch->Current(&version);
            if (marks[i].first || version != marks[i].sent) {
                return true;
            }
        }
        return false;
    };
    if (bell == nullptr) {
        // Without a bell only one changer can be waited for closely.
        if (changers.size() == 1) {
            return changers[0].watch->WaitForChange(marks[0].sent, limitMs) || changed();
        }
        return changed() || (WaitOrStop(std::min(limitMs, 50)) && changed());
    }
    uint64_t rings = bell->Rings();
    if (changed()) {
        return true;
    }
    bell->WaitForRing(rings, limitMs);
    return changed();
}

// One step of the stream of all changers: an event for every changer whose
// view changed (each at once the first time), each changer's events
// kWebEventSpacingMs apart; a keep-alive comment when nothing changes.
// False ends the stream.
bool WebServer::Routes::SendAllEvents(httplib::DataSink& sink, std::vector<StreamMark>* marks) {
    int64_t waited = 0;
    while (!WaitForAnyChange(*marks, kWebStreamCheckMs)) {
        if (stopping || AnyWatchStopping() || !sink.is_writable()) {
            return false;
        }
        waited += kWebStreamCheckMs;
        if (waited >= kWebKeepAliveMs) {
            static const char kKeepAlive[] = ": keep-alive\n\n";
            return sink.write(kKeepAlive, sizeof kKeepAlive - 1);
        }
    }
    std::string events;
    int64_t soonestDue = -1;  // ms until a held-back change may go
    int64_t now = SteadyClockMs();
    for (size_t i = 0; i < changers.size(); ++i) {
        StreamMark& mark = (*marks)[i];
        uint64_t version = 0;
        WebStatus status = changers[i].watch->Current(&version);
        if (!mark.first && version == mark.sent) {
            continue;
        }
        int64_t since = now - mark.sentAt;
        if (!mark.first && since < kWebEventSpacingMs) {
            int64_t due = kWebEventSpacingMs - since;
            soonestDue = soonestDue < 0 ? due : std::min(soonestDue, due);
            continue;
        }
        mark.first = false;
        mark.sent = version;
        mark.sentAt = now;
        events += "data: " + StatusJson(status, static_cast<int>(i)) + "\n\n";
    }
    if (stopping) {
        return false;
    }
    if (events.empty()) {
        // Only held-back changes: come back when the first may go.
        return WaitOrStop(static_cast<int>(soonestDue));
    }
    return sink.write(events.data(), events.size());
}

// Counts a new event stream in; false (with the answer given) when there
// are too many.
bool WebServer::Routes::OpenStream(httplib::Response& response) {
    std::lock_guard<std::mutex> lock(streamsMutex);
    if (streams >= kWebMaxEventStreams) {
        ReplyJson(
            response, 503,
            ErrorJson("too many event streams: at most " + std::to_string(kWebMaxEventStreams) +
                      " pages at once; close one and retry"));
        return false;
    }
    ++streams;
    response.set_header("Cache-Control", "no-store");
    return true;
}

void WebServer::Routes::Events(int index, int changerField, httplib::Response& response) {
    if (!OpenStream(response)) {
        return;
    }
    auto mark = std::make_shared<StreamMark>();
    const WebChanger& changer = changers[index];
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, mark, &changer, changerField](size_t, httplib::DataSink& sink) {
            if (!SendEvents(sink, changer, changerField, mark.get())) {
                sink.done();  // ends the stream
            }
            return true;
        },
        [this](bool) {
            std::lock_guard<std::mutex> lock(streamsMutex);
            --streams;
        });
}

void WebServer::Routes::AllEvents(httplib::Response& response) {
    if (!OpenStream(response)) {
        return;
    }
    auto marks = std::make_shared<std::vector<StreamMark>>(changers.size());
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, marks](size_t, httplib::DataSink& sink) {
            if (!SendAllEvents(sink, marks.get())) {
                sink.done();
            }
            return true;
        },
        [this](bool) {
            std::lock_guard<std::mutex> lock(streamsMutex);
            --streams;
        });
}

namespace {

std::vector<WebChanger> OneChanger(ZubLink& link, StatusWatch& watch, ZubLink* commandLink) {
    WebChanger changer;
    changer.name = link.Where();
    changer.host = link.Host();
    changer.port = link.Port();
    changer.link = &link;
    changer.watch = &watch;
    changer.commandLink = commandLink;
    return {changer};
}

}  // namespace

WebServer::WebServer(ZubLink& link, StatusWatch& watch, ZubLink* commandLink)
    : WebServer(OneChanger(link, watch, commandLink), nullptr) {}

WebServer::WebServer(std::vector<WebChanger> changers, ChangeBell* bell)
    : routes_(new Routes(std::move(changers), bell)) {
    routes_->Install();
}

WebServer::~WebServer() {
    Stop();
}

int WebServer::Bind(const std::string& address, uint16_t port) {
    if (port == 0) {
        int bound = routes_->server.bind_to_any_port(address);
        return bound > 0 ? bound : 0;
    }
    return routes_->server.bind_to_port(address, port) ? port : 0;
}

bool WebServer::Run() {
    return routes_->server.listen_after_bind();
}

void WebServer::Stop() {
    routes_->stopping = true;
    routes_->server.stop();
}
