// zubweb's routes.
#include "clients/zubweb/web_server.h"

#include <httplib.h>

#include <chrono>
#include <thread>
#include <vector>

#include "base/deadline.h"
#include "clients/zubweb/web_page.h"

namespace {

const char kJson[] = "application/json";

void ReplyJson(httplib::Response& response, int status, const std::string& body) {
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(body, kJson);
}

}  // namespace

struct WebServer::Routes {
    Routes(ZubLink& link, StatusWatch& watch, ZubLink* commandLink)
        : link(link), watch(watch), commandLink(commandLink) {}

    void Install();
    void Status(httplib::Response& response);
    void Discs(httplib::Response& response);
    void Command(const httplib::Request& request, httplib::Response& response);
    void Scan(const httplib::Request& request, httplib::Response& response);
    void Forward(const WebCommand& command, httplib::Response& response);
    void Events(httplib::Response& response);
    bool SendEvents(httplib::DataSink& sink, uint64_t* sent, int64_t* sentAt, bool first);
    bool WaitOrStop(int ms);

    ZubLink& link;
    StatusWatch& watch;
    ZubLink* commandLink;
    httplib::Server server;
    std::atomic<bool> stopping{false};
    std::mutex streamsMutex;
    int streams = 0;
};

void WebServer::Routes::Install() {
    server.new_task_queue = [] { return new httplib::ThreadPool(kWebThreads); };
    server.set_payload_max_length(kWebCommandMaxBody);
    // Slow clients hold a thread no longer than these.
    server.set_read_timeout(kWebReadTimeoutSeconds, 0);
    server.set_keep_alive_timeout(kWebKeepAliveSeconds);
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(WebPageHtml(), "text/html; charset=utf-8");
    });
    server.Get("/api/status",
               [this](const httplib::Request&, httplib::Response& response) { Status(response); });
    server.Get("/api/discs",
               [this](const httplib::Request&, httplib::Response& response) { Discs(response); });
    server.Post("/api/command",
                [this](const httplib::Request& request, httplib::Response& response) {
                    Command(request, response);
                });
    server.Post("/api/scan", [this](const httplib::Request& request, httplib::Response& response) {
        Scan(request, response);
    });
    server.Get("/api/events",
               [this](const httplib::Request&, httplib::Response& response) { Events(response); });
}

void WebServer::Routes::Status(httplib::Response& response) {
    WebStatus status = watch.Current();
    ReplyJson(response, status.reachable ? 200 : 503, StatusJson(status));
}

void WebServer::Routes::Discs(httplib::Response& response) {
    std::vector<unsigned char> reply(kRemoteMagazineSize);
    std::string error;
    WebCommand query;
    query.command = REMOTE_MAGAZINE;
    if (!link.Exchange(query, reply.data(), kRemoteMagazineSize, kWebExchangeMs, &error)) {
        ReplyJson(response, 503, ErrorJson(error));
        return;
    }
    std::vector<RemoteSlotRecord> slots;
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        slots.push_back(DecodeRemoteSlot(reply.data() + i * kRemoteSlotSize));
    }
    ReplyJson(response, 200, DiscsJson(slots));
}

void WebServer::Routes::Command(const httplib::Request& request, httplib::Response& response) {
    WebCommand command;
    std::string error;
    if (!ParseWebCommand(request.body, &command, &error)) {
        ReplyJson(response, 400, ErrorJson(error));
        return;
    }
    Forward(command, response);
}

void WebServer::Routes::Scan(const httplib::Request& request, httplib::Response& response) {
    WebCommand command;
    std::string error;
    if (!ParseWebScan(request.body, &command, &error)) {
        ReplyJson(response, 400, ErrorJson(error));
        return;
    }
    Forward(command, response);
}

// Sends a parsed command on, or refuses it while a scan runs.
void WebServer::Routes::Forward(const WebCommand& command, httplib::Response& response) {
    std::string error;
    WebStatus now = watch.Current();
    WebCommandAnswer answer =
        AnswerWebCommand(command.command, now.reachable && now.status.scanning != 0);
    if (answer.send) {
        bool sent = commandLink != nullptr
                        ? commandLink->SendAndClose(command, kWebExchangeMs, &error)
                        : link.Exchange(command, nullptr, 0, kWebExchangeMs, &error);
        if (!sent) {
            ReplyJson(response, 503, ErrorJson(error));
            return;
        }
        watch.QuerySoon();
    }
    ReplyJson(response, answer.status, answer.body);
}

// Sleeps up to ms; false when the server stops meanwhile.
bool WebServer::Routes::WaitOrStop(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping) {
        auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(50)));
    }
    return false;
}

// One step of an event stream: the first call sends the view at once; later
// ones wait for a change (or send a keep-alive comment), keeping events
// kWebEventSpacingMs apart. False ends the stream.
bool WebServer::Routes::SendEvents(httplib::DataSink& sink, uint64_t* sent, int64_t* sentAt,
                                   bool first) {
    if (!first) {
        int64_t waited = 0;
        while (!watch.WaitForChange(*sent, kWebStreamCheckMs)) {
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
        int64_t since = SteadyClockMs() - *sentAt;
        if (since < kWebEventSpacingMs &&
            !WaitOrStop(static_cast<int>(kWebEventSpacingMs - since))) {
            return false;
        }
    }
    if (stopping) {
        return false;
    }
    WebStatus status = watch.Current(sent);
    std::string event = "data: " + StatusJson(status) + "\n\n";
    *sentAt = SteadyClockMs();
    return sink.write(event.data(), event.size());
}

void WebServer::Routes::Events(httplib::Response& response) {
    {
        std::lock_guard<std::mutex> lock(streamsMutex);
        if (streams >= kWebMaxEventStreams) {
            ReplyJson(
                response, 503,
                ErrorJson("too many event streams: at most " + std::to_string(kWebMaxEventStreams) +
                          " pages at once; close one and retry"));
            return;
        }
        ++streams;
    }
    response.set_header("Cache-Control", "no-store");
    struct Stream {
        uint64_t sent = 0;
        int64_t sentAt = 0;
        bool first = true;
    };
    auto stream = std::make_shared<Stream>();
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, stream](size_t, httplib::DataSink& sink) {
            bool more = SendEvents(sink, &stream->sent, &stream->sentAt, stream->first);
            stream->first = false;
            if (!more) {
                sink.done();  // ends the stream
            }
            return true;
        },
        [this](bool) {
            std::lock_guard<std::mutex> lock(streamsMutex);
            --streams;
        });
}

WebServer::WebServer(ZubLink& link, StatusWatch& watch, ZubLink* commandLink)
    : routes_(new Routes(link, watch, commandLink)) {
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
