// zubweb: the web remote. Serves one page and a JSON API, and talks to the
// controllers over their remote ports (one tab of the page each when
// there are several). Runs until it is ended.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "clients/zubweb/status_watch.h"
#include "clients/zubweb/web_options.h"
#include "clients/zubweb/web_server.h"
#include "clients/zubweb/zub_link.h"
#include "protocol/remote_client_socket.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(WebUsageText(), stdout);
        return 0;
    }
    WebOptions options;
    std::string error;
    if (!ParseWebOptions(args, &options, &error)) {
        std::fprintf(stderr, "zubweb: %s\n%s", error.c_str(), WebUsageText());
        return 2;
    }
    StartClientSockets();
    // Per changer: a connection for the status thread and one for commands,
    // so a command that waits for a scan in the controller never holds up
    // the status queries. Each reconnects on its own.
    struct Changer {
        explicit Changer(const WebRemote& remote, ChangeBell* bell)
            : link(connection, remote.host, remote.port),
              commandLink(commandConnection, remote.host, remote.port),
              watch(link, nullptr, bell) {}
        SocketRemoteConnection connection;
        SocketRemoteConnection commandConnection;
        ZubLink link;
        ZubLink commandLink;
        StatusWatch watch;
    };
    ChangeBell bell;
    std::vector<std::unique_ptr<Changer>> changers;
    std::vector<WebChanger> served;
    std::string where;
    for (const WebRemote& remote : options.remotes) {
        changers.push_back(std::make_unique<Changer>(remote, &bell));
        WebChanger changer;
        changer.name = WebRemoteName(remote);
        changer.host = remote.host;
        changer.port = remote.port;
        changer.link = &changers.back()->link;
        changer.watch = &changers.back()->watch;
        changer.commandLink = &changers.back()->commandLink;
        served.push_back(changer);
        where += (where.empty() ? "" : ", ") + changer.link->Where();
    }
    WebServer server(served, &bell);
    int port = server.Bind(options.listenAddress, options.listenPort);
    if (port == 0) {
        std::fprintf(stderr, "zubweb: cannot listen on %s:%u\n", options.listenAddress.c_str(),
                     static_cast<unsigned>(options.listenPort));
        return 1;
    }
    for (auto& changer : changers) {
        changer->watch.Start();
    }
    const char* noun = changers.size() == 1 ? "the controller" : "the controllers";
    std::printf("zubweb: serving http://%s:%d/ for %s at %s\n", options.listenAddress.c_str(), port,
                noun, where.c_str());
    std::fflush(stdout);
    bool ran = server.Run();
    for (auto& changer : changers) {
        changer->watch.Stop();
    }
    return ran ? 0 : 1;
}
