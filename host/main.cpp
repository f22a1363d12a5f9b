// zelpost: loads CFD results and runs sessions on them (see host/CommandLine.h).
#include "host/CommandLine.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return zel::host::runZelpost(args, std::cout, std::cerr);
}
