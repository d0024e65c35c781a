/*
 * report.c - the standard error of a run: every line written to it is also
 * written to the LOG file, and the first line about a table is preceded by
 * a line naming the table. The operations keep printing to stderr; this
 * module puts a stream in its place for the time of the run.
 */
#define _GNU_SOURCE  /* fopencookie */
#include <stdio.h>
#include <string.h>
#include <sys/types.h>

#include "show_text.h"
#include "util.h"

static FILE *g_screen;   /* the standard error the run began with */
static FILE *g_copy;     /* the log, or NULL */
static _Thread_local char g_table[32]; /* per thread: the table to name before its next line; "" none */

/* Writes n bytes to the screen and the log with their control characters
 * escaped (line ends and tabs kept), so that a message quoting a name or a
 * statement from a dump or a database cannot drive the terminal. */
static void write_shown(FILE *fp, const char *buf, size_t n)
{
    size_t from = 0;
    while (from < n) {
        size_t k = from;
        while (k < n && (buf[k] == '\n' || buf[k] == '\t' ||
                         ((unsigned char)buf[k] >= 0x20 && (unsigned char)buf[k] != 0x7F &&
                          !((unsigned char)buf[k] == 0xC2 && k + 1 < n &&
                            (unsigned char)buf[k + 1] >= 0x80 && (unsigned char)buf[k + 1] <= 0x9F))))
            k++;
        fwrite(buf + from, 1, k - from, fp);
        if (k >= n) break;
        /* one control byte, or a C1 control's two bytes */
        size_t len = (unsigned char)buf[k] == 0xC2 ? 2 : 1;
        char shown[16];
        fputs(show_bytes(buf + k, len, shown, sizeof(shown)), fp);
        from = k + len;
    }
}

/* Writes one name line and then the text, to the screen and to the log. */
static ssize_t write_both(void *cookie, const char *buf, size_t n)
{
    (void)cookie;
    if (g_table[0] != '\0') {
        fprintf(g_screen, "Table \"%s\":\n", show(g_table));
        if (g_copy) fprintf(g_copy, "Table \"%s\":\n", show(g_table));
        g_table[0] = '\0';
    }
    write_shown(g_screen, buf, n);
    if (g_copy) {
        write_shown(g_copy, buf, n);
        fflush(g_copy);  /* a log read while the run hangs, or after a kill, is complete */
    }
    return (ssize_t)n;
}

int report_begin(FILE *log)
{
    cookie_io_functions_t io = {NULL, write_both, NULL, NULL};
    report_end();
    FILE *s = fopencookie(NULL, "w", io);
    if (!s) return -1;
    setvbuf(s, NULL, _IONBF, 0);  /* each message reaches the screen at once, whole */
    g_screen = stderr;
    g_copy = log;
    g_table[0] = '\0';
    stderr = s;
    return 0;
}

void report_table(const char *name)
{
    if (!name) {
        g_table[0] = '\0';
        return;
    }
    size_t n = strnlen(name, sizeof(g_table) - 1);
    memcpy(g_table, name, n);
    g_table[n] = '\0';
}

void report_end(void)
{
    if (!g_screen) return;
    FILE *s = stderr;
    stderr = g_screen;
    g_screen = NULL;
    g_copy = NULL;
    g_table[0] = '\0';
    fclose(s);
}

FILE *begin_run_log(const char *path)
{
    FILE *log = NULL;
    if (path[0] != '\0') {
        log = open_log_file(path);
        if (!log) fprintf(stderr, "Open LOG file error, output to screen.\n");
    }
    report_begin(log);
    return log ? log : stdout;
}
