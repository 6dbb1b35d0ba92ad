// zubremote: sends one remote-control command to the changer controller and
// prints its reply.
#include <iostream>
#include <string>
#include <vector>

#include "remote/remote_client.h"
#include "remote/remote_client_socket.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    StartClientSockets();
    SocketRemoteConnection connection;
    return RunRemoteClient(args, connection, std::cout, std::cerr);
}
