/* Modem lines for pseudo-terminals, for Windows test programs under wine.
 *
 * Loaded with LD_PRELOAD into wine (by run-under-wine), never into a product.
 * Wine 8 asks a serial device for its modem lines (TIOCMGET) before every
 * WaitCommEvent and in GetCommModemStatus, and sets DTR/RTS with
 * TIOCMBIS/TIOCMBIC/TIOCMSET. A pseudo-terminal has no modem lines and
 * answers ENOTTY, which makes every WaitCommEvent end cancelled a few
 * milliseconds after it starts. This library answers those four requests on
 * the slave side of a pseudo-terminal (character major 136-143) from a state
 * of its own, one per device number; every other request, and every other
 * descriptor, goes to the real ioctl.
 *
 * Output lines (DTR, RTS) read back as the program set them; they start on,
 * as a real port's do after open on Linux. Input lines (CTS, DSR, DCD, RI)
 * are off, unless the environment variable WINE_PTY_MODEM_DIR names a folder:
 * then, for /dev/pts/N,
 *   DIR/N     is read at every TIOCMGET: words CTS DSR DCD (or CD, RLSD)
 *             RI (or RING), in any case, separated by anything else; a word
 *             present means the line is on; a missing file means all off;
 *   DIR/N.out is rewritten after every change of the output lines, with the
 *             words of those that are on ("DTR RTS\n", "DTR\n", "\n").
 * A test flips an input line by rewriting DIR/N (write a temporary file and
 * rename it over DIR/N, so a reader never sees half a file).
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static ioctl_fn real_ioctl;
static pthread_once_t real_once = PTHREAD_ONCE_INIT;

static void find_real_ioctl(void)
{
    real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
}

/* Output-line state, one per pseudo-terminal seen. 256 is far more ptys
 * than one test process opens; past that, new ones share the last slot's
 * fate of not being remembered (they answer with the default). */
#define MAX_PTYS 256
#define OUTPUT_LINES (TIOCM_DTR | TIOCM_RTS)
#define INPUT_LINES (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG)

struct pty_lines {
    dev_t dev;
    int lines; /* output lines only */
};

static struct pty_lines ptys[MAX_PTYS];
static int pty_count;
static pthread_mutex_t ptys_lock = PTHREAD_MUTEX_INITIALIZER;

static int is_pty_slave(int fd, dev_t* dev)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    unsigned int maj = major(st.st_rdev);
    if (maj < 136 || maj > 143)
        return 0;
    *dev = st.st_rdev;
    return 1;
}

/* The N of /dev/pts/N: the Unix98 pty majors count on from 136 in blocks
 * of 256 minors (more are dynamic, but then they also show as 136+). */
static unsigned int pty_number(dev_t dev)
{
    return (major(dev) - 136) * 256u + minor(dev);
}

/* Called with ptys_lock held. */
static struct pty_lines* slot_for(dev_t dev)
{
    for (int i = 0; i < pty_count; ++i)
        if (ptys[i].dev == dev)
            return &ptys[i];
    if (pty_count < MAX_PTYS) {
        ptys[pty_count].dev = dev;
        ptys[pty_count].lines = OUTPUT_LINES;
        return &ptys[pty_count++];
    }
    return NULL;
}

static int read_input_lines(dev_t dev)
{
    const char* dir = getenv("WINE_PTY_MODEM_DIR");
    if (!dir || !*dir)
        return 0;
    char path[4096];
    snprintf(path, sizeof path, "%s/%u", dir, pty_number(dev));
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[256];
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return 0;
    text[n] = '\0';

    int lines = 0;
    char* rest = text;
    char* word;
    while ((word = strsep(&rest, " \t\r\n,;:|")) != NULL) {
        if (!strcasecmp(word, "CTS"))
            lines |= TIOCM_CTS;
        else if (!strcasecmp(word, "DSR"))
            lines |= TIOCM_DSR;
        else if (!strcasecmp(word, "DCD") || !strcasecmp(word, "CD") || !strcasecmp(word, "RLSD"))
            lines |= TIOCM_CAR;
        else if (!strcasecmp(word, "RI") || !strcasecmp(word, "RING"))
            lines |= TIOCM_RNG;
    }
    return lines;
}

/* Called with ptys_lock held, so two writers do not interleave. */
static void publish_output_lines(dev_t dev, int lines)
{
    const char* dir = getenv("WINE_PTY_MODEM_DIR");
    if (!dir || !*dir)
        return;
    char path[4096], temp[4200];
    snprintf(path, sizeof path, "%s/%u.out", dir, pty_number(dev));
    snprintf(temp, sizeof temp, "%s.%ld", path, (long)getpid());
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char text[16];
    int n = snprintf(text, sizeof text, "%s%s%s\n", (lines & TIOCM_DTR) ? "DTR" : "",
                     (lines & TIOCM_DTR) && (lines & TIOCM_RTS) ? " " : "",
                     (lines & TIOCM_RTS) ? "RTS" : "");
    ssize_t written = write(fd, text, (size_t)n);
    close(fd);
    if (written == n)
        rename(temp, path);
    else
        unlink(temp);
}

static int modem_request(dev_t dev, unsigned long request, int* arg)
{
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    int saved_errno = errno;
    pthread_mutex_lock(&ptys_lock);
    struct pty_lines* slot = slot_for(dev);
    int lines = slot ? slot->lines : OUTPUT_LINES;
    int before = lines;
    switch (request) {
    case TIOCMGET:
        break;
    case TIOCMSET:
        lines = *arg & OUTPUT_LINES;
        break;
    case TIOCMBIS:
        lines |= *arg & OUTPUT_LINES;
        break;
    case TIOCMBIC:
        lines &= ~(*arg & OUTPUT_LINES);
        break;
    }
    if (slot)
        slot->lines = lines;
    if (lines != before)
        publish_output_lines(dev, lines);
    pthread_mutex_unlock(&ptys_lock);

    if (request == TIOCMGET)
        *arg = lines | read_input_lines(dev);
    errno = saved_errno;
    return 0;
}

/* glibc declares ioctl(int, unsigned long, ...); every request takes at
 * most one argument, a word or a pointer, so one va_arg of a pointer carries
 * whatever the caller passed on x86-64 and the other ABIs glibc runs on. */
int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);

    pthread_once(&real_once, find_real_ioctl);

    if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) {
        dev_t dev;
        int saved_errno = errno;
        if (is_pty_slave(fd, &dev))
            return modem_request(dev, request, (int*)arg);
        errno = saved_errno;
    }
    if (!real_ioctl) {
        errno = ENOSYS;
        return -1;
    }
    return real_ioctl(fd, request, arg);
}
