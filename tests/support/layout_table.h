// The main window's layout as it must stand in the program, and checks of a
// walked template against it.
#pragma once

#include <vector>

#include "ui/dialog_template.h"

void ExpectLayoutHeader(const DialogHeader& header);
void ExpectLayoutItems(const std::vector<DialogItem>& items);
