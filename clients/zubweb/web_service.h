// zubweb put together: the changers it serves, each with its links and
// status watch, and the HTTP server over them. Its main, the tests and the
// benches all build it this way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "clients/zubweb/change_bell.h"
#include "clients/zubweb/status_watch.h"
#include "clients/zubweb/web_options.h"
#include "clients/zubweb/web_server.h"
#include "clients/zubweb/zub_link.h"
#include "protocol/remote_client_socket.h"

class WebService {
public:
    // One changer per remote, named as WebRemoteName says.
    explicit WebService(const std::vector<WebRemote>& remotes);
    // Ends serving (Stop, then waits for Start's thread) and stops the
    // watches.
    ~WebService();
    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    // Binds the server (port 0 picks a free one) and, when it could, starts
    // every changer's status watch. Returns the port, or 0 on failure.
    int Listen(const std::string& address, uint16_t port);

    // Serves until Stop; false when it could not.
    bool Run();
    // Run on a thread of its own.
    void Start();
    void Stop();

    // Every changer's status watch, in the order of the remotes.
    StatusWatch& Watch(size_t index) { return changers_[index]->watch; }
    // "HOST:PORT, HOST:PORT": where the changers are.
    const std::string& Where() const { return where_; }
    size_t Count() const { return changers_.size(); }

private:
    // Per changer: a connection for the status thread and one for commands,
    // so a command that waits for a scan in the controller never holds up
    // the status queries. Each reconnects on its own.
    struct Changer {
        Changer(const WebRemote& remote, ChangeBell* bell)
            : link(connection, remote.host, remote.port),
              commandLink(commandConnection, remote.host, remote.port),
              watch(link, nullptr, bell) {}
        SocketRemoteConnection connection;
        SocketRemoteConnection commandConnection;
        ZubLink link;
        ZubLink commandLink;
        StatusWatch watch;
    };

    ChangeBell bell_;
    std::vector<std::unique_ptr<Changer>> changers_;
    std::string where_;
    std::unique_ptr<WebServer> server_;
    std::thread serving_;
};
