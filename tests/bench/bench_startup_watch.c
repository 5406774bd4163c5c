/* Host side of the startup benchmark (Linux, Xlib): starts a command and
 * measures the time until a screen point turns the wizard's accent green,
 * i.e. until the program's first frame is on the X display.
 *
 *   bench_startup_watch X Y TIMEOUT_MS -- command [args...]
 *
 * Prints "<milliseconds> <pid>" and leaves the program running (the caller
 * ends it); exits 1 on timeout, 2 when the point is green before the start.
 */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

/* The accent of the large buttons and of the plain window: clearly green. */
static int is_green(Display* dpy, Window root, int x, int y) {
  XImage* img = XGetImage(dpy, root, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!img) return 0;
  unsigned long p = XGetPixel(img, 0, 0);
  XDestroyImage(img);
  int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return g > 120 && g > r + 40 && g > b + 20;
}

int main(int argc, char** argv) {
  if (argc < 6) {
    fprintf(stderr, "usage: %s X Y TIMEOUT_MS -- command...\n", argv[0]);
    return 3;
  }
  int x = atoi(argv[1]), y = atoi(argv[2]);
  double timeout = atof(argv[3]);
  Display* dpy = XOpenDisplay(NULL);
  if (!dpy) {
    fprintf(stderr, "no display\n");
    return 3;
  }
  Window root = DefaultRootWindow(dpy);
  if (is_green(dpy, root, x, y)) return 2;

  double start = now_ms();
  pid_t pid = fork();
  if (pid == 0) {
    /* The caller reads this program's output until the pipe closes: the
     * started program must not hold it. */
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    execvp(argv[5], argv + 5);
    _exit(127);
  }
  for (;;) {
    if (is_green(dpy, root, x, y)) {
      printf("%.1f %d\n", now_ms() - start, (int)pid);
      return 0;
    }
    if (now_ms() - start > timeout) return 1;
    struct timespec pause = {0, 1000000};
    nanosleep(&pause, NULL);
  }
}
