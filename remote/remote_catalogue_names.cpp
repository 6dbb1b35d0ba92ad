// Naming a disc in the catalogue from a remote session.
#include "remote/remote_catalogue_names.h"

#include <string>

#include "catalogue/catalogue_write.h"
#include "changer/magazine_copy.h"
#include "platform/window_hooks.h"
#include "protocol/remote_name_check.h"
#include "remote/remote_answer.h"

int AnswerSetCatalogueName(int32_t command, const unsigned char* buffer, unsigned char* reply) {
    int32_t slot = ReadRemoteInt(buffer + kRemoteDiscOffset);
    std::string text;
    int length = 0;
    if (!TakeRequestText(buffer, reply, &text, &length)) {
        return length;
    }
    bool artist = command == REMOTE_SET_ARTIST;
    std::string problem = CheckRemoteSlot(slot);
    if (problem.empty()) {
        problem = CheckRemoteName(artist ? NameArtist : NameDiscTitle, text);
    }
    if (!problem.empty()) {
        return WriteRemoteAnswer(reply, RemoteAnswerRefused, problem);
    }
    // The remote replies read the file afresh, and the new generation tells
    // clients to read the magazine again; the disc list shows the row again
    // from the file.
    problem = SetCatalogueNames(kCatalogueFileName, slot, artist ? &text : nullptr,
                                artist ? nullptr : &text);
    if (!problem.empty()) {
        return WriteRemoteAnswer(reply, RemoteAnswerFailed, problem);
    }
    MarkMagazineNamesChanged();
    RequestSlotRowRefresh(g_hWnd.load(), slot);
    return WriteRemoteAnswer(reply, RemoteAnswerDone, "");
}
