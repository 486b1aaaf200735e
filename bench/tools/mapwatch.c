/* Starts a program and prints, in milliseconds, how long it took until it mapped a top-level
 * window of the given class on the X display, then its peak resident memory in kB one second
 * later. Usage: mapwatch CLASS PROGRAM [ARGS...]. Used by scripts/bench-start. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static int HasClass(Display* d, Window w, const char* wanted) {
    XClassHint hint;
    if (!XGetClassHint(d, w, &hint)) return 0;
    int match = (hint.res_name && !strcmp(hint.res_name, wanted)) ||
                (hint.res_class && !strcmp(hint.res_class, wanted));
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return match;
}

static long PeakKb(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    long kb = -1;
    if (!f) return kb;
    while (fgets(line, sizeof line, f))
        if (!strncmp(line, "VmHWM:", 6)) kb = atol(line + 6);
    fclose(f);
    return kb;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: mapwatch CLASS PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "mapwatch: no display\n");
        return 1;
    }
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);
    const double start = Now();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double mapped = -1;
    while (mapped < 0) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify && HasClass(d, e.xmap.window, argv[1])) {
                mapped = Now() - start;
                break;
            }
        }
        if (mapped >= 0) break;
        if (waitpid(pid, NULL, WNOHANG) == pid) {
            fprintf(stderr, "mapwatch: %s ended without a window\n", argv[2]);
            return 1;
        }
        if (Now() - start > 20000) {
            fprintf(stderr, "mapwatch: no window from %s in 20 s\n", argv[2]);
            kill(pid, SIGKILL);
            return 1;
        }
        const struct timespec pause = {0, 200000};
        nanosleep(&pause, NULL);
    }
    sleep(1); /* the first port refresh and the first paints */
    const long kb = PeakKb(pid);
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    printf("%.1f %ld\n", mapped, kb);
    return 0;
}
