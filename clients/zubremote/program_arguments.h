// zubremote's arguments as UTF-8, whatever code page the system hands
// them over in: names go to the controller as UTF-8.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name.
std::vector<std::string> ProgramArguments(int argc, char** argv);
