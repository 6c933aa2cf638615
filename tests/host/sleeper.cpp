// Sleeps for a minute at most, so that a test that dies leaves nothing behind
// for long.
#include <windows.h>

int main() {
    Sleep(60000);
    return 7;
}
