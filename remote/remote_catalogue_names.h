// The remote requests that set a disc's artist or title in the catalogue.
#pragma once

#include <cstdint>

// REMOTE_SET_ARTIST or REMOTE_SET_TITLE: checks the slot and the text,
// edits the catalogue file (SetCatalogueNames), asks the window to show
// the slot's row anew and answers done or why not. Returns the answer's
// length.
int AnswerSetCatalogueName(int32_t command, const unsigned char* buffer, unsigned char* reply);
