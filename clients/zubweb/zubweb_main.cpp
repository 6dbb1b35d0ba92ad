// zubweb: the web remote. Serves one page and a JSON API, and talks to the
// controllers over their remote ports (one tab of the page each when
// there are several). Runs until it is ended.
#include <cstdio>
#include <string>
#include <vector>

#include "clients/zubweb/web_options.h"
#include "clients/zubweb/web_service.h"
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
    WebService service(options.remotes);
    int port = service.Listen(options.listenAddress, options.listenPort);
    if (port == 0) {
        std::fprintf(stderr, "zubweb: cannot listen on %s:%u\n", options.listenAddress.c_str(),
                     static_cast<unsigned>(options.listenPort));
        return 1;
    }
    const char* noun = service.Count() == 1 ? "the controller" : "the controllers";
    std::printf("zubweb: serving http://%s:%d/ for %s at %s\n", options.listenAddress.c_str(), port,
                noun, service.Where().c_str());
    std::fflush(stdout);
    return service.Run() ? 0 : 1;
}
