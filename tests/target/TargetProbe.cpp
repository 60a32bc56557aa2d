// Started by tests as a target program: writes the data layout it runs
// with, the variable OVIX_PROBE and then its standard input, and exits with
// the status given as its argument.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "Layout.h"

int main(int argc, char** argv) {
    const char* probe = std::getenv("OVIX_PROBE");
    std::cout << DataLayout() << "\nenv=" << (probe != nullptr ? probe : "(unset)") << "\n";
    std::cout << std::cin.rdbuf();
    std::cout.flush();
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
