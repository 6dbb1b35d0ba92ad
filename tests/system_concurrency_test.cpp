// The three kinds of thread of the running program at once: the status poll,
// a remote client's session, and the window thread's buttons and painter.
// The locks keep every play unit whole; ThreadSanitizer checks the rest.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "protocol/remote_protocol.h"
#include "remote/remote_server.h"
#include "resources/resource_ids.h"
#include "tests/support/answering_line.h"
#include "tests/support/remote_server_watch.h"
#include "tests/support/remote_test_support.h"
#include "tests/support/reset_state.h"
#include "ui/main_window_logic.h"

namespace {

// Forwarded Pause/Play/Stop run where the remote session sends them; in the
// program that is the window thread, which the session waits for.
void RunForwardedButton(int controlId) {
    if (controlId == IDC_PLAY) {
        PressPlay();
    } else if (controlId == IDC_PAUSE) {
        PressPause();
    } else if (controlId == IDC_STOP) {
        PressStop();
    }
}

TEST(SystemConcurrency, PollRemoteSessionAndButtonsTogether) {
    const int kRounds = 150;
    ResetChangerState();
    ClearPlatformRecord();
    AnsweringLine line;
    g_hCom = &line;
    FillSlot(4, 1, 12);
    FillSlot(9, 1, 3);
    int windowToken = 0;
    g_hWnd = &windowToken;
    SetButtonCommandHandler(RunForwardedButton);

    RemoteServerWatch watch;
    RemoteServerOptions options;
    options.observer = &watch;
    RemoteServer server(PlatformSocketApi(), 0, options);
    server.StartRemoteThread(kNoRemoteSocket);
    uint16_t port = server.WaitUntilListening();
    ASSERT_NE(port, 0);

    std::thread poller([&] {
        for (int i = 0; i < kRounds; ++i) {
            PollStatusOnce();
        }
    });
    std::thread client([&] {
        TestRemoteClient remote(port);
        ASSERT_TRUE(remote.Connected());
        const int32_t commands[] = {REMOTE_NEXT,  REMOTE_PLAY_TRACK, REMOTE_SHUFFLE, REMOTE_PLAY,
                                    REMOTE_PAUSE, REMOTE_PLAY_DISC,  REMOTE_RESTART, REMOTE_STOP};
        for (int i = 0; i < kRounds; ++i) {
            // Requests have no framing: each must be received on its own.
            remote.SendRequest(commands[i % 8], 4, 1 + i % 12);
            ASSERT_TRUE(watch.WaitForRequests(2 * i + 1, kRemoteTestLimit));
            int32_t disc = 0;
            int32_t track = 0;
            ASSERT_TRUE(remote.QueryPosition(&disc, &track));
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        switch (i % 5) {
            case 0:
                PressRandom();
                break;
            case 1:
                PressNext();
                break;
            case 2:
                // Empty slots (row i % 100 is never 3 or 8, slots 4 and 9): the
                // mode stays, so no Play from a stop adds track and play after
                // this load.
                PressLoad(i % 100);
                break;
            default:
                PressPlay();
                break;
        }
        StatusPanelText panel = FormatStatusPanel();
        EXPECT_GE(panel.lineCount, 3);
    }
    client.join();
    poller.join();
    server.Stop();

    // Every play unit went out whole, whoever sent it.
    std::vector<std::string> sent = SentCommands(line.Written());
    for (size_t i = 0; i + 3 < sent.size(); ++i) {
        if (sent[i].compare(0, 2, "01") == 0 && sent[i + 1].compare(0, 2, "04") == 0) {
            EXPECT_EQ(sent[i + 2], "10");
            EXPECT_TRUE(sent[i + 3] == "07" || sent[i + 3] == "08");
        }
    }
    EXPECT_TRUE(RecordedErrorBoxes().empty());

    SetButtonCommandHandler(nullptr);
    g_hWnd = nullptr;
    ResetChangerState();
}

}  // namespace
