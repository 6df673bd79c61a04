#include <iostream>
#include <string>
#include <vector>

#include "orderd/CommandLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return orderd::CommandLine::run(args, std::cin, std::cout, std::cerr);
}
