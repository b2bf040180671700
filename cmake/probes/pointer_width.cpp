// Prints the width of a pointer in bits: run on the build machine to learn whether, and how,
// the programs of this build can run there.
#include <cstdio>

int main() {
    std::printf("%u\n", static_cast<unsigned>(sizeof(void*) * 8));
    return 0;
}
