// A peer-id library for unit tests; FAKE_PEER_ANSWER and FAKE_PEER_LENGTH
// choose what it answers.
#include <windows.h>

#include <cstring>

extern "C" int WINAPI get_peer_id(char* buffer, int* length) {
    if (!buffer || !length || *length != 32) {
        return 1;
    }
    const char answer[] = FAKE_PEER_ANSWER;
    memcpy(buffer, answer, sizeof answer - 1 < 32 ? sizeof answer - 1 : 32);
    *length = FAKE_PEER_LENGTH;
    return 0;
}
