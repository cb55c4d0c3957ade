// SPDX-License-Identifier: MIT
// The floor of a C++ host program: it only prints a line. compare.sh times
// sysmgr-show redundancy against it and against /bin/true.
#include <iostream>

int main() {
    std::cout << "one line\n";
}
