/*
 * metrics.c - METRICS=Y: each session reads its own round trips from
 * V$MYSTAT (as on an Oracle server) at the start and end of each table and
 * as it ends; the tables' lines get their time and round trips, the run a
 * closing count of every session's.
 *
 * A reading is one execute that brings its row (one round trip, counted
 * in the value it reads), so a table's count is the difference of its two
 * readings less one, and a session's count is its last reading less its
 * readings, plus the two round trips of the logoff that follow it: the
 * figures are those of the same run without METRICS.
 */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "util.h"

static const char reading_sql[] =
    "SELECT m.VALUE FROM V$MYSTAT m, V$STATNAME n"
    " WHERE m.STATISTIC# = n.STATISTIC# AND n.NAME = 'SQL*Net roundtrips to/from client'";

static double now_seconds(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

/* The session's round trips now, the reading's own included: 0 with *value,
 * or -1 when they cannot be read (then never tried again). */
static int read_trips(OCI_ENV *env, long long *value)
{
    TRIP_METER *m = &env->meter;
    if (m->unavailable || !env->svchp || !env->usrhp) return -1;
    if (!m->stmt) {
        OCIDefine *d = NULL;
        if (OCIHandleAlloc(env->envhp, (void **)&m->errhp, OCI_HTYPE_ERROR, 0, NULL) != OCI_SUCCESS ||
            OCIHandleAlloc(env->envhp, (void **)&m->stmt, OCI_HTYPE_STMT, 0, NULL) != OCI_SUCCESS ||
            OCIStmtPrepare(m->stmt, m->errhp, (const OraText *)reading_sql, (ub4)strlen(reading_sql),
                           OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS ||
            OCIDefineByPos(m->stmt, &d, m->errhp, 1, m->value, (sb4)sizeof(m->value), SQLT_STR, &m->ind,
                           NULL, NULL, OCI_DEFAULT) != OCI_SUCCESS) {
            m->unavailable = 1;
            return -1;
        }
    }
    m->ind = -1;
    sword rc = OCIStmtExecute(env->svchp, m->stmt, m->errhp, 1, 0, NULL, NULL, OCI_DEFAULT);
    m->readings++;
    char *end = NULL;
    long long v = rc == OCI_SUCCESS && m->ind == 0 ? strtoll(m->value, &end, 10) : -1;
    if (v < 0 || end == m->value) {
        /* ORA-00942 on a server that granted no V$MYSTAT, or no such statistic */
        m->unavailable = 1;
        return -1;
    }
    *value = v;
    return 0;
}

void metrics_table_begin(OCI_ENV *env)
{
    TRIP_METER *m = &env->meter;
    if (!m->total) return;
    m->table_start = now_seconds();
    if (read_trips(env, &m->at_table) != 0) m->at_table = -1;
}

const char *metrics_table_end(OCI_ENV *env, char *buf, size_t size)
{
    TRIP_METER *m = &env->meter;
    if (size > 0) buf[0] = '\0';
    if (!m->total || size == 0) return buf;
    return metrics_format(buf, size, now_seconds() - m->table_start, metrics_part_trips(env));
}

long long metrics_part_trips(OCI_ENV *env)
{
    TRIP_METER *m = &env->meter;
    long long v = 0;
    if (!m->total || m->at_table < 0 || read_trips(env, &v) != 0) return -1;
    return v - m->at_table - 1;
}

double metrics_part_start(const OCI_ENV *env)
{
    return env->meter.table_start;
}

const char *metrics_format(char *buf, size_t size, double start_to_now, long long trips)
{
    if (start_to_now < 0) start_to_now = now_seconds() + start_to_now;
    if (trips >= 0)
        snprintf(buf, size, "  %.2f s  %lld round trips", start_to_now, trips);
    else
        snprintf(buf, size, "  %.2f s", start_to_now);
    return buf;
}

void metrics_session_end(OCI_ENV *env)
{
    TRIP_METER *m = &env->meter;
    if (!m->total || m->ended || !env->usrhp) return;
    m->ended = 1;
    long long v = 0;
    if (read_trips(env, &v) == 0) {
        __atomic_fetch_add(&m->total->trips, v - m->readings + 2, __ATOMIC_RELAXED);
    } else {
        __atomic_store_n(&m->total->unavailable, 1, __ATOMIC_RELAXED);
    }
    if (m->stmt) OCIHandleFree(m->stmt, OCI_HTYPE_STMT);
    if (m->errhp) OCIHandleFree(m->errhp, OCI_HTYPE_ERROR);
    m->stmt = NULL;
    m->errhp = NULL;
}

void metrics_closing_line(const RUN_OPTIONS *opts)
{
    if (!opts->metrics) return;
    if (opts->trips.unavailable)
        fprintf(stderr, "Round trips to the database: not available\n");
    else
        fprintf(stderr, "Round trips to the database: %lld\n", opts->trips.trips);
}
