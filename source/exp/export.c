/*
 * export.c - tabexp's command line and driver: reads the arguments,
 * allocates the working block, connects, writes the dump file table by
 * table under a temporary name and releases everything on every way out.
 */
#define _POSIX_C_SOURCE 200809L  /* fsync */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "args.h"
#include "exp_local.h"
#include "write_trailer.h"

EXP g_exp;
OCI_ENV g_env;
CONN_ARGS g_args;
RUN_OPTIONS g_run_options;

/* CONSISTENT=N: each table read at its own moment instead of all of the
 * export from one snapshot. */
static int g_inconsistent;
/* The temporary file the dump is written to until the run succeeds. */
static DUMP_OUTPUT g_out;

static const char usage_text[] =
    "%s KEYWORD=value\n"
    "\n"
    "USERID must be the first parameter on the command line.\n"
    "\n"
    "USERID   username/password@tnsname\n"
    "FILE     output files (EXPDAT.DMP)\n"
    "OWNER    owner name\n"
    "LOG      log file of screen output\n"
    "STORAGE  export storage clause (Y)\n"
    "CHARSET  refuse to lose characters in conversion (STRICT)\n"
    "TABLES   list of table names, %% and _ as in LIKE (all)\n"
    "FEEDBACK display progress every x rows (0)\n"
    "CONSISTENT read all tables from one snapshot (Y)\n"
    "PARFILE  parameter filename\n"
    "\n"
    "If OWNER is case sensitive, use quotation marks. Suppose one USER\n"
    "named Andy, the input maybe as OWNER='\"Andy\"' or OWNER=\"\\\"Andy\\\"\"\n"
    "\n"
    "Exit status: 0 everything was exported unchanged; 1 the export completed\n"
    "with warnings (an object not exported or changed, characters lost in\n"
    "conversion); 255 the export failed or was interrupted, and an existing\n"
    "FILE was left as it was.\n"
    "\n";

void show_usage(const char *prog_name)
{
    fprintf(stderr, usage_text, prog_name ? prog_name : "tabexp");
}

/* The value of OWNER: the one character after the keyword is skipped
 * unseen, unless the argument ends there. */
static const char *keyword_value(const char *arg, size_t klen)
{
    return arg[klen] == '\0' ? arg + klen : arg + klen + 1;
}

static int parse_failed(const char *prog)
{
    show_usage(prog);
    return -1;
}

/* One argument from the second on: tabexp's own keywords here, the ones
 * both programs share in parse_run_option. Returns 0, or -1 with the
 * message printed. */
static int parse_keyword(const char *a)
{
    if (arg_keyword(a, "OWNER", "owner")) {
        return take_owner(a, keyword_value(a, 5), g_exp.owner_name);
    } else if (arg_keyword(a, "STORAGE=Y", "storage=y")) {
        g_exp.flag |= EXP_STORAGE;
    } else if (arg_keyword(a, "CONSISTENT=N", "consistent=n")) {
        g_inconsistent = 1;
    } else if (arg_keyword(a, "CONSISTENT=Y", "consistent=y")) {
        g_inconsistent = 0;
    } else {
        return parse_run_option(&g_run_options, a);
    }
    return 0;
}

int parse_arguments(int argc, char **argv)
{
    const char *prog = (argc > 0 && argv && argv[0]) ? argv[0] : "tabexp";

    memset(&g_exp, 0, sizeof(g_exp));
    g_inconsistent = 0;

    if (parse_command_line(argc, argv, &g_run_options, &g_args, parse_keyword) != 0)
        return parse_failed(prog);
    memcpy(g_exp.dump_filename, g_run_options.file, sizeof(g_exp.dump_filename));
    memcpy(g_exp.log_filename, g_run_options.log, sizeof(g_exp.log_filename));

    if (g_exp.dump_filename[0] == '\0') {
        fprintf(stderr, "Output file not specified.\n");
        return parse_failed(prog);
    }
    if (g_exp.owner_name[0] == '\0') {
        fprintf(stderr, "Owner not specified.\n");
        return parse_failed(prog);
    }
    return 0;
}

/* Makes sure the finished dump has reached the disk before success is
 * reported: a write error that the system reports only later (delayed
 * write-back, a full disk or quota on a network file system) would
 * otherwise pass unnoticed. Files that cannot be synced (a pipe, a
 * character device such as /dev/null) are taken as they are. */
static int sync_dump(void)
{
    if (fsync(g_exp.fd) != 0 && errno != EINVAL && errno != EROFS) {
        fprintf(stderr, "Write %s: %s\n", g_exp.dump_filename, strerror(errno));
        return -1;
    }
    int fd = g_exp.fd;
    g_exp.fd = -1;
    if (close(fd) != 0) {
        fprintf(stderr, "Write %s: %s\n", g_exp.dump_filename, strerror(errno));
        return -1;
    }
    return 0;
}

/* Starts the read-only transaction whose snapshot every query of the run
 * reads: a transaction committed during the export is wholly in the dump
 * or wholly absent. Returns 0 or -1 (message printed). */
static int begin_snapshot(void)
{
    static const char sqltxt[] = "SET TRANSACTION READ ONLY";
    sword rc = OCIStmtPrepare(g_env.smthp, g_env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    return execute_statement(1);
}

/* Releases what the run acquired, in the same order on every way out. */
static void release(void)
{
    report_end();
    if (g_exp.ofp && g_exp.ofp != stdout) fclose(g_exp.ofp);
    g_exp.ofp = stdout;
    fflush(stdout);
    disconnect_oracle(&g_env);
    if (g_exp.fd != -1) close(g_exp.fd);
    g_exp.fd = -1;
    discard_dump_output(&g_out);
    free(g_exp.buf);
    g_exp.buf = NULL;
    free(g_exp.tabp);
    g_exp.tabp = NULL;
    free_objects();
}

/* The table being exported when a signal stopped the run, or NULL. */
static const char *g_current_table;

/* Whether a signal asked the run to stop; if so, says which and where, on
 * stderr and in the log. */
static int report_stop(void)
{
    int sig = stop_requested();
    if (!sig) return 0;
    report_table(NULL);
    if (g_current_table)
        fprintf(stderr, "Interrupted by %s while exporting table \"%s\".\n", stop_signal_name(sig),
                g_current_table);
    else
        fprintf(stderr, "Interrupted by %s.\n", stop_signal_name(sig));
    return 1;
}

/* A step's failure message, unless the step ended because of a stop. */
#define STEP_FAILED(...)                                        \
    do {                                                        \
        if (!stop_requested()) fprintf(stderr, __VA_ARGS__);    \
        goto fail;                                              \
    } while (0)

int main(int argc, char **argv)
{
    show_copyright();
    if (parse_arguments(argc, argv) != 0) return RUN_STATUS_FAILED;

    install_stop_handlers();
    run_warnings_reset();
    g_exp.fd = -1;
    g_exp.ofp = stdout;
    g_current_table = NULL;
    memset(&g_out, 0, sizeof(g_out));
    /* Progress lines on stdout keep their place among the messages on
     * stderr when both go to one file. */
    setvbuf(stdout, NULL, _IOLBF, 0);

    /* Nothing is opened for writing before FILE and LOG are known not to
     * name each other or a file of the database. */
    if (check_run_files(g_exp.dump_filename, 0, g_exp.log_filename, g_args.tnsname) != 0) {
        fprintf(stderr, "\nExport terminated unsuccessfully.\n\n");
        return RUN_STATUS_FAILED;
    }
    /* The log is opened first, so that it holds every message of the run,
     * a failed connect included, and no log of an earlier run is left
     * looking like the log of this one. */
    g_exp.ofp = begin_run_log(g_exp.log_filename);

    /* An empty NLS_LANG would mean US7ASCII to the client: refused like
     * a missing one. */
    const char *nls_lang = getenv("NLS_LANG");
    if (nls_lang == NULL || nls_lang[0] == '\0') {
        fprintf(stderr, "Set env \"NLS_LANG\" first.\n");
        goto fail;
    }
    if (obtain_password(&g_run_options, &g_args) != 0) goto fail;

    g_exp.buf_sz = EXP_ROW_AREA + EXP_CACHE_SIZE;
    g_exp.buf = (uint8_t *)malloc((size_t)g_exp.buf_sz);
    if (!g_exp.buf) {
        fprintf(stderr, "Allocate memory (%d) error: %s\n", g_exp.buf_sz, strerror(errno));
        goto fail;
    }
    g_exp.rsz = EXP_ROW_AREA;
    g_exp.rbuf = g_exp.buf;
    g_exp.cache = g_exp.buf + EXP_ROW_AREA;
    g_exp.csz = EXP_CACHE_SIZE;

    if (connect_oracle(&g_env, g_args.username, g_args.password, g_args.tnsname) != 0)
        STEP_FAILED("Connect to oracle:\n%s\n", get_ora_message(&g_env));
    /* The snapshot comes before the first read of the dictionary. */
    if (!g_inconsistent && begin_snapshot() != 0)
        STEP_FAILED("Start of the read-only transaction error.\n");
    if (check_owner() != 0) goto fail;
    int lossy = check_charsets(&g_env, nls_lang, 0, g_run_options.charset_strict);
    if (lossy < 0) goto fail;
    if (lossy) {
        /* Characters the client set cannot hold arrive replaced. */
        g_exp.flag |= EXP_LOSSY_CHARSET;
        run_warning();
    }
    if (export_table_information() != 0) STEP_FAILED("Export table information error.\n");
    if (gather_objects() != 0) STEP_FAILED("Export schema objects error.\n");
    if (stop_requested()) goto fail;

    /* Only now, with the table list read, is the dump file created. */
    g_exp.fd = open_dump_output(g_exp.dump_filename, &g_out);
    if (g_exp.fd < 0) {
        fprintf(stderr, "Open %s: %s\n", g_exp.dump_filename, strerror(errno));
        g_exp.fd = -1;
        goto fail;
    }

    if (write_dump_head() != 0) STEP_FAILED("Write dump file head error.\n");
    for (int ti = 0; ti < g_exp.ntab; ti++) {
        /* A stop between tables names the table that is not exported. */
        g_current_table = exp_table_name(ti);
        if (stop_requested()) goto fail;
        report_table(exp_table_name(ti));
        if (export_table(ti) != 0) goto fail;
    }
    g_current_table = NULL;
    report_table(NULL);
    if (write_dump_trailer() != 0) STEP_FAILED("Write dump file trailer error.\n");
    if (write_table_information() != 0) STEP_FAILED("Write table information to file error.\n");
    if (sync_dump() != 0) goto fail;
    /* The last moment a stop can still keep the old FILE. */
    if (stop_requested()) goto fail;
    if (finish_dump_output(&g_out) != 0) {
        fprintf(stderr, "Rename to %s: %s\n", g_exp.dump_filename, strerror(errno));
        goto fail;
    }

    /* Status 1 whenever something was not carried or was changed. */
    int status = run_warning_count() > 0 ? RUN_STATUS_WARNINGS : RUN_STATUS_OK;
    if (g_nwarnings > 0)
        fprintf(stderr, "\n%d object%s not exported (see the warnings).\n", g_nwarnings,
                g_nwarnings == 1 ? "" : "s");
    else
        fputc('\n', stderr);
    if (status == RUN_STATUS_WARNINGS)
        fprintf(stderr, "Export terminated successfully with warnings.\n\n");
    else
        fprintf(stderr, "Export terminated successfully.\n\n");
    release();
    return status;

fail:
    report_stop();
    report_table(NULL);
    fprintf(stderr, "\nExport terminated unsuccessfully.\n\n");
    release();
    return RUN_STATUS_FAILED;
}
