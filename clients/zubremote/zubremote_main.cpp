// zubremote: sends one remote-control command to the changer controller and
// prints its reply.
#include <iostream>
#include <string>
#include <vector>

#include "clients/zubremote/program_arguments.h"
#include "clients/zubremote/remote_client.h"
#include "protocol/remote_client_socket.h"
#include "zub_version.h"

int main(int argc, char** argv) {
    std::vector<std::string> args = ProgramArguments(argc, argv);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "zubremote " << ZUB_VERSION << "\n";
        return 0;
    }
    StartClientSockets();
    SocketRemoteConnection connection;
    return RunRemoteClient(args, connection, std::cout, std::cerr);
}
