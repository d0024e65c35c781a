/*
 * read_password.c - asks for a password: on the terminal without echo, or
 * as one line of standard input when that is not a terminal.
 */
#define _POSIX_C_SOURCE 200809L  /* sigaction, open */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "outcome.h"
#include "prompt.h"

/* The terminal whose echo is off, and its settings before, for the signal
 * handler that puts them back when the program is stopped at the prompt. */
static volatile sig_atomic_t s_tty_fd = -1;
static struct termios s_saved;

static const int s_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
#define NSIGNALS ((int)(sizeof(s_signals) / sizeof(s_signals[0])))

static void restore_and_raise(int sig)
{
    if (s_tty_fd >= 0) tcsetattr(s_tty_fd, TCSAFLUSH, &s_saved);
    signal(sig, SIG_DFL);
    raise(sig);
}

static void put_text(int fd, const char *s)
{
    size_t left = strlen(s);
    while (left > 0) {
        ssize_t n = write(fd, s, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        s += n;
        left -= (size_t)n;
    }
}

/* Reads one line from fd into buf. Returns its length, -1 at the end of
 * the input before any byte, -2 when it does not fit, -3 on a read error. */
static int read_line(int fd, char *buf, size_t size)
{
    size_t n = 0;
    int too_long = 0, any = 0;
    for (;;) {
        char c;
        ssize_t got = read(fd, &c, 1);
        /* A signal that asks the run to stop ends the wait (errno EINTR). */
        if (got < 0 && errno == EINTR && !stop_requested()) continue;
        if (got < 0) return -3;
        if (got == 0) break;
        any = 1;
        if (c == '\n') break;
        if (n + 1 < size)
            buf[n++] = c;
        else
            too_long = 1;
    }
    if (n > 0 && buf[n - 1] == '\r') n--;
    buf[n] = '\0';
    if (too_long) return -2;
    if (!any) return -1;
    return (int)n;
}

int read_password(char *buf, size_t size)
{
    int in = STDIN_FILENO, out = STDERR_FILENO, opened = -1;
    int rc;

    if (isatty(STDIN_FILENO)) {
        opened = open("/dev/tty", O_RDWR | O_NOCTTY);
        if (opened >= 0) in = out = opened;
    }
    if (isatty(in) && tcgetattr(in, &s_saved) == 0) {
        struct sigaction sa, old[NSIGNALS];
        memset(&sa, 0, sizeof(sa));
        sa.sa_handler = restore_and_raise;
        sigemptyset(&sa.sa_mask);
        struct termios quiet = s_saved;
        quiet.c_lflag &= (tcflag_t) ~(ECHO | ECHOE | ECHOK | ECHONL);
        s_tty_fd = in;
        for (int i = 0; i < NSIGNALS; i++) sigaction(s_signals[i], &sa, &old[i]);
        /* echo off before the prompt shows, so that nothing typed after it
         * is echoed or flushed away */
        tcsetattr(in, TCSAFLUSH, &quiet);
        put_text(out, "Password: ");
        rc = read_line(in, buf, size);
        tcsetattr(in, TCSAFLUSH, &s_saved);
        s_tty_fd = -1;
        for (int i = 0; i < NSIGNALS; i++) sigaction(s_signals[i], &old[i], NULL);
        put_text(out, "\n");
    } else {
        rc = read_line(in, buf, size);
    }
    if (opened >= 0) close(opened);

    if (rc == -2) {
        memset(buf, 0, size);
        fprintf(stderr, "Argument \"password\" too long.\n");
        return -1;
    }
    if (rc == -1) {
        fprintf(stderr, "Password not given: the input ended.\n");
        return -1;
    }
    if (rc == -3) {
        fprintf(stderr, "Read password: %s\n", strerror(errno));
        return -1;
    }
    return 0;
}
