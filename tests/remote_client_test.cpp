// zubremote's command line, reply texts and runs against a loopback server.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/window_hooks_posix.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "remote/remote_client.h"
#include "remote/remote_client_socket.h"
#include "remote/remote_server.h"
#include "tests/support/remote_test_support.h"
#include "tests/support/reset_state.h"

namespace {

using Args = std::vector<std::string>;

bool Parse(const Args& args, RemoteClientOptions* options, std::string* error = nullptr) {
    std::string ignored;
    return ParseRemoteCommandLine(args, options, error ? error : &ignored);
}

TEST(RemoteCommandLine, CommandsAndOptions) {
    RemoteClientOptions options;
    ASSERT_TRUE(
        Parse({"--host", "changer-host", "--port", "5000", "--json", "track", "3", "5"}, &options));
    EXPECT_EQ(options.host, "changer-host");
    EXPECT_EQ(options.port, 5000);
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.command, REMOTE_PLAY_TRACK);
    EXPECT_EQ(options.disc, 3);
    EXPECT_EQ(options.track, 5);

    unsigned char request[kRemoteFullRequestSize];
    BuildRemoteRequest(options, request);
    const unsigned char expected[12] = {'2', 0, 0, 0, 3, 0, 0, 0, 5, 0, 0, 0};
    EXPECT_EQ(std::memcmp(request, expected, sizeof expected), 0);

    const std::pair<const char*, int32_t> simple[] = {
        {"next", ','},    {"pause", '-'},   {"play", '.'},     {"stop", '/'},
        {"restart", '0'}, {"shuffle", '3'}, {"position", '4'}, {"info", '5'}};
    for (const auto& entry : simple) {
        RemoteClientOptions parsed;
        ASSERT_TRUE(Parse({entry.first}, &parsed)) << entry.first;
        EXPECT_EQ(parsed.command, entry.second) << entry.first;
        EXPECT_EQ(parsed.host, "127.0.0.1");
        EXPECT_EQ(parsed.port, kRemotePort);
    }
    RemoteClientOptions disc;
    ASSERT_TRUE(Parse({"disc", "-7"}, &disc));  // the server decides what is out of range
    EXPECT_EQ(disc.command, REMOTE_PLAY_DISC);
    EXPECT_EQ(disc.disc, -7);
}

TEST(RemoteCommandLine, Rejections) {
    const Args bad[] = {{},
                        {"dance"},
                        {"disc"},
                        {"disc", "x"},
                        {"disc", "3", "4"},
                        {"track", "3"},
                        {"track", "3", "99999999999"},
                        {"position", "1"},
                        {"--port", "0", "info"},
                        {"--port", "65536", "info"},
                        {"--port"},
                        {"--host", "", "info"},
                        {"--colour", "info"}};
    for (const Args& args : bad) {
        RemoteClientOptions options;
        std::string error;
        EXPECT_FALSE(Parse(args, &options, &error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
}

TEST(RemoteReplyText, PositionAndInfo) {
    unsigned char reply[kRemoteInfoSize] = {};
    WriteRemoteInt(reply, 12);
    WriteRemoteInt(reply + 4, 3);
    EXPECT_EQ(FormatRemoteReply(REMOTE_POSITION, reply, false), "disc 12 track 3\n");
    EXPECT_EQ(FormatRemoteReply(REMOTE_POSITION, reply, true), "{\"disc\": 12, \"track\": 3}\n");

    std::memcpy(reply + kRemoteArtistOffset, "A \"B\"\\\t\xE9", 8);
    std::memcpy(reply + kRemoteTitleOffset, "Title", 5);
    EXPECT_EQ(FormatRemoteReply(REMOTE_INFO, reply, false),
              "disc 12 track 3\nartist: A \"B\"\\\t\xE9\ntitle: Title\n");
    EXPECT_EQ(FormatRemoteReply(REMOTE_INFO, reply, true),
              "{\"disc\": 12, \"track\": 3, \"artist\": \"A \\\"B\\\"\\\\\\u0009\\u00e9\", "
              "\"title\": \"Title\"}\n");

    // A field without terminator stops at its end.
    std::memset(reply + kRemoteArtistOffset, 'x', kRemoteTextSize);
    std::memset(reply + kRemoteTitleOffset, 0, kRemoteTextSize);
    EXPECT_EQ(FormatRemoteReply(REMOTE_INFO, reply, false),
              "disc 12 track 3\nartist: " + std::string(kRemoteTextSize, 'x') + "\ntitle: \n");
}

class RemoteClientRun : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        ClearPlatformRecord();
        g_hCom = &line_;
        server_ = std::make_unique<RemoteServer>(PlatformSocketApi(), 0);
        server_->StartRemoteThread(kNoRemoteSocket);
        port_ = std::to_string(server_->WaitUntilListening());
    }
    void TearDown() override {
        server_->Stop();
        g_hCom = nullptr;
        ResetChangerState();
        ClearPlatformRecord();
    }

    int Run(const Args& args) {
        out_.str("");
        err_.str("");
        SocketRemoteConnection connection;
        return RunRemoteClient(args, connection, out_, err_);
    }

    WatchedLine line_;
    std::unique_ptr<RemoteServer> server_;
    std::string port_;
    std::ostringstream out_, err_;
};

TEST_F(RemoteClientRun, QueriesAndPlays) {
    ScratchWorkingDir dir;
    dir.WriteFile("zub.txt", "Artist One\tTitle One\r\nArtist Two\tTitle Two\r\n");
    g_nDisc = 2;
    g_nTrack = 7;
    EXPECT_EQ(Run({"--port", port_, "position"}), RemoteClientOk);
    EXPECT_EQ(out_.str(), "disc 2 track 7\n");
    EXPECT_EQ(Run({"--port", port_, "--json", "info"}), RemoteClientOk);
    EXPECT_EQ(
        out_.str(),
        "{\"disc\": 2, \"track\": 7, \"artist\": \"Artist Two\", \"title\": \"Title Two\"}\n");

    FillSlot(4, 1, 9);
    EXPECT_EQ(Run({"--port", port_, "track", "4", "9"}), RemoteClientOk);
    EXPECT_EQ(out_.str(), "");
    ASSERT_TRUE(line_.WaitForFrames(4));
    EXPECT_EQ(SentCommands(line_.Written()),
              (std::vector<std::string>{"01A04", "04A09", "10", "07"}));
}

TEST_F(RemoteClientRun, NoServerIsAClearFailure) {
    // A port that was free a moment ago and has nobody listening.
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);

    EXPECT_EQ(Run({"--port", std::to_string(ntohs(address.sin_port)), "position"}),
              RemoteClientNoServer);
    EXPECT_NE(err_.str().find("cannot connect to 127.0.0.1:"), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");
}

TEST_F(RemoteClientRun, SilentServerIsAClearFailure) {
    // Listening but never accepting: the request is queued, no reply comes.
    int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 1), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);

    EXPECT_EQ(Run({"--port", std::to_string(ntohs(address.sin_port)), "--timeout", "50", "info"}),
              RemoteClientNoReply);
    EXPECT_NE(err_.str().find("no reply"), std::string::npos) << err_.str();
    ::close(silent);
}

TEST_F(RemoteClientRun, UsageErrors) {
    EXPECT_EQ(Run({"--port", port_}), RemoteClientUsage);
    EXPECT_NE(err_.str().find("usage: zubremote"), std::string::npos);
    EXPECT_EQ(Run({"--help"}), RemoteClientOk);
    EXPECT_NE(out_.str().find("track D T"), std::string::npos);
}

}  // namespace
