// Clicks a point of a window or asks it to close, as Windows does for a user:
// what the zip's test does to the unzipped taperly.exe under Wine.
// Usage: window_message TITLE click X Y   (client coordinates)
//        window_message TITLE close
// Exits with 1 when no window has that title, 2 on a wrong call.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char* argv[]) {
    const bool click = argc == 5 && std::strcmp(argv[2], "click") == 0;
    const bool close = argc == 3 && std::strcmp(argv[2], "close") == 0;
    if (!click && !close) {
        std::fprintf(stderr, "usage: %s TITLE click X Y | TITLE close\n", argv[0]);
        return 2;
    }
    HWND window = ::FindWindowA(nullptr, argv[1]);
    if (window == nullptr) {
        std::fprintf(stderr, "%s: no window titled %s\n", argv[0], argv[1]);
        return 1;
    }
    if (close) {
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    const LPARAM at = MAKELPARAM(std::atoi(argv[3]), std::atoi(argv[4]));
    ::PostMessageA(window, WM_MOUSEMOVE, 0, at);
    ::PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageA(window, WM_LBUTTONUP, 0, at);
    return 0;
}
