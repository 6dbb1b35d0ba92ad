// Answers of the text requests.
#include "remote/remote_answer.h"

#include "base/display_text.h"

int WriteRemoteAnswer(unsigned char* reply, int32_t result, const std::string& message,
                      int32_t value) {
    RemoteAnswerRecord answer;
    answer.result = result;
    answer.value = value;
    answer.message = CutTextAtCharacter(message, kRemoteAnswerMessageSize - 1);
    EncodeRemoteAnswer(answer, reply);
    return kRemoteAnswerSize;
}

bool TakeRequestText(const unsigned char* buffer, unsigned char* reply, std::string* text,
                     int* length) {
    if (DecodeRemoteRequestText(buffer, text)) {
        return true;
    }
    *length = WriteRemoteAnswer(reply, RemoteAnswerRefused,
                                "the text has no end within the request's " +
                                    std::to_string(kRemoteRequestSize) + " bytes");
    return false;
}
