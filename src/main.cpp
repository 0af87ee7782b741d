// Entry point of tovmar2.  The script host is not built yet: for now the
// program only says so and exits.
#include <cstdio>

int main(int, char**) {
    std::printf("tovmar2: the script host is not built yet; nothing to run\n");
    return 0;
}
