/*
 * outcome.c - the run's warning count and the stop flag set by signals;
 * see outcome.h.
 */
#define _POSIX_C_SOURCE 200809L  /* sigaction */
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include "outcome.h"

volatile sig_atomic_t g_stop_signal;
/* Counted by the workers of a parallel run too, hence atomic. */
static _Atomic int g_run_warnings;

void run_warning(void) { g_run_warnings++; }
int run_warning_count(void) { return g_run_warnings; }
void run_warnings_reset(void) { g_run_warnings = 0; }

/* Async-signal-safe: sets the flag and nothing else. A second signal of
 * the same kind while the run winds down changes nothing. */
static void on_stop_signal(int sig)
{
    if (g_stop_signal == 0) g_stop_signal = sig;
}

void install_stop_handlers(void)
{
    static const int sigs[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    /* No SA_RESTART: a blocking read or write returns EINTR, and the loop
     * around it looks at the flag before it tries again. */
    sa.sa_flags = 0;
    for (size_t i = 0; i < sizeof(sigs) / sizeof(sigs[0]); i++) sigaction(sigs[i], &sa, NULL);
}

int stop_requested(void) { return (int)g_stop_signal; }

const char *stop_signal_name(int sig)
{
    static char other[24];
    switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGPIPE: return "SIGPIPE";
    default: snprintf(other, sizeof(other), "signal %d", sig); return other;
    }
}
