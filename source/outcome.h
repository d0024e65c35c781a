/*
 * outcome.h - how a run ends. A run that carried everything unchanged ends
 * with status 0; one that completed but left something out or changed it
 * (an object not carried, a lossy character conversion, a statement that
 * failed, rows refused) ends "with warnings", status 1; a failure ends with
 * status 255. A signal asks the run to stop at the next safe point.
 */
#ifndef TAB_OUTCOME_H
#define TAB_OUTCOME_H

#include <signal.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Exit statuses of tabexp and tabimp. */
#define RUN_STATUS_OK 0
#define RUN_STATUS_WARNINGS 1
#define RUN_STATUS_FAILED 255

/* Counts one thing the run did not carry or carried changed. The message
 * itself is printed by the caller, where it knows the object. */
void run_warning(void);
int run_warning_count(void);
void run_warnings_reset(void);

/* The signal that asked the run to stop (SIGINT, SIGTERM, SIGHUP or
 * SIGPIPE), or 0. The handler only sets it; the programs look at it
 * between batches and inside piece loops. This is the one piece of state
 * that is truly process-wide. */
extern volatile sig_atomic_t g_stop_signal;

/* Installs the handler for the four signals. */
void install_stop_handlers(void);

/* The signal that asked the run to stop, or 0. */
int stop_requested(void);

/* "SIGINT", "SIGTERM", "SIGHUP", "SIGPIPE", or "signal N" (into a static
 * buffer) for any other. */
const char *stop_signal_name(int sig);

#ifdef __cplusplus
}
#endif

#endif /* TAB_OUTCOME_H */
