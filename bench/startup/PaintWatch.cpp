// startup-paint-watch PID [TIMEOUT_MS]: waits for the first paint of page 1 in the top-level window of
// process PID and prints "@<monotonic ms> painted". Page 1 counts as painted when the middle of the
// window shows the label's white paper (pure white; the margin around it is grey and an unpainted
// window is black on Xvfb). Polls the X server every 2 ms with a 48 x 48 pixel read.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

double NowMs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

long WindowPid(Display *display, Window window, Atom pidAtom)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1 && format == 32)
        pid = static_cast<long>(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

Window FindWindow(Display *display, long pid, Atom pidAtom)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (WindowPid(display, children[i], pidAtom) == pid &&
            XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            attributes.width > 100)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

int IgnoreErrors(Display *, XErrorEvent *)
{
    return 0; // the window may go away between the lookup and the read
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup-paint-watch PID [TIMEOUT_MS]\n");
        return 2;
    }
    const long pid = std::atol(argv[1]);
    const double deadline = NowMs() + (argc > 2 ? std::atof(argv[2]) : 20000.0);
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 2;
    XSetErrorHandler(IgnoreErrors);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    while (NowMs() < deadline) {
        const Window window = FindWindow(display, pid, pidAtom);
        XWindowAttributes attributes;
        if (window && XGetWindowAttributes(display, window, &attributes)) {
            const int size = 48;
            XImage *image = XGetImage(display, window, attributes.width / 2 - size / 2,
                                      attributes.height / 2 - size / 2, size, size, AllPlanes, ZPixmap);
            bool white = false;
            for (int y = 0; image && y < size && !white; ++y) {
                for (int x = 0; x < size && !white; ++x)
                    white = (XGetPixel(image, x, y) & 0xFFFFFF) == 0xFFFFFF;
            }
            if (image)
                XDestroyImage(image);
            if (white) {
                std::printf("@%.3f painted\n", NowMs());
                XCloseDisplay(display);
                return 0;
            }
        }
        usleep(2000);
    }
    XCloseDisplay(display);
    return 1;
}
