// qeinteg: command-line front end of the library.
#include <cstdio>

int main() {
    std::puts("qeinteg");
    return 0;
}
