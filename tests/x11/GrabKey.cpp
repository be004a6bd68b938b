// Holds a key grab on the root window like another program's hotkey would, until killed.
// Usage: quorvel_test_grabkey KEYSYM-NAME   (for example Print)

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <cstdio>
#include <initializer_list>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return 1;
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
    const Window root = DefaultRootWindow(display);
    const unsigned variants[] = {0u, LockMask, Mod2Mask, LockMask | Mod2Mask};
    for (unsigned extra : variants)
        XGrabKey(display, code, extra, root, True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    std::printf("grabbed\n");
    std::fflush(stdout);
    for (;;)
        pause();
}
