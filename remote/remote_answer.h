// The answer record of the text requests, written into a reply buffer.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/remote_names.h"

// Writes the answer (the message cut between characters to its field) and
// returns its length, kRemoteAnswerSize.
int WriteRemoteAnswer(unsigned char* reply, int32_t result, const std::string& message,
                      int32_t value = 0);

// The request's text; false, with a refusal written to reply, when its
// field holds no NUL. *length receives the refusal's length.
bool TakeRequestText(const unsigned char* buffer, unsigned char* reply, std::string* text,
                     int* length);
