// A child process for the service tests. "sleep": stands in for the engine's
// process for a minute at most. Anything else (the installer's "/S"): stands
// in for a silent installer that ends at once with exit code 259, the value
// that also means "still active".
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(60000);
        return 7;
    }
    Sleep(200);
    return 259;
}
