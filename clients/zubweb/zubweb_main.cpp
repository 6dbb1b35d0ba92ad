// zubweb: the web remote. Serves one page and a JSON API, and talks to the
// controller over its remote port. Runs until it is ended.
#include <cstdio>
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
    if (options.remotes.size() > 1) {
        std::fprintf(stderr,
                     "zubweb: one zubweb serves one controller; start one per controller, each "
                     "with its own --remote and --listen\n");
        return 2;
    }

    StartClientSockets();
    SocketRemoteConnection connection;
    ZubLink link(connection, options.remoteHost, options.remotePort);
    // Commands on connections of their own: one that waits for a scan in the
    // controller must not hold up the status queries.
    SocketRemoteConnection commandConnection;
    ZubLink commandLink(commandConnection, options.remoteHost, options.remotePort);
    StatusWatch watch(link);
    WebServer server(link, watch, &commandLink);
    int port = server.Bind(options.listenAddress, options.listenPort);
    if (port == 0) {
        std::fprintf(stderr, "zubweb: cannot listen on %s:%u\n", options.listenAddress.c_str(),
                     static_cast<unsigned>(options.listenPort));
        return 1;
    }
    watch.Start();
    std::printf("zubweb: serving http://%s:%d/ for the controller at %s\n",
                options.listenAddress.c_str(), port, link.Where().c_str());
    std::fflush(stdout);
    bool served = server.Run();
    watch.Stop();
    return served ? 0 : 1;
}
