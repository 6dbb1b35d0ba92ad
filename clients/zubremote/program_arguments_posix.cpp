// Natively the arguments are the terminal's bytes, UTF-8 as a rule.
#include "clients/zubremote/program_arguments.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}
