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
#include "table_meta.h"
#include "table_ranges.h"
#include "write_trailer.h"

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
    "PARALLEL number of worker sessions (1)\n"
    "METRICS  time and round trips per table and for the run (N)\n"
    "PARFILE  parameter filename\n"
    "\n"
    "With PARALLEL above 1 the tables are read by that many sessions at\n"
    "once, each from the snapshot of the first; FEEDBACK dots are not shown.\n"
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

/* PARALLEL=n: 1 to EXP_PARALLEL_MAX sessions. */
static int parse_parallel(EXP_RUN *run, const char *value)
{
    if (parse_count(value, 1, EXP_PARALLEL_MAX, &run->parallel) == 0) return 0;
    fprintf(stderr, "PARALLEL must be a number of sessions from 1 to %d: \"%s\".\n",
            EXP_PARALLEL_MAX, value);
    return -1;
}

/* One argument from the second on: tabexp's own keywords here, the ones
 * both programs share in parse_run_option. Returns 0, or -1 with the
 * message printed. */
static int parse_keyword(void *ctx, const char *a)
{
    EXP_RUN *run = ctx;
    if (arg_keyword(a, "OWNER", "owner")) {
        return take_owner(a, keyword_value(a, 5), run->owner_name);
    } else if (arg_keyword(a, "STORAGE=Y", "storage=y")) {
        run->flag |= EXP_STORAGE;
    } else if (arg_keyword(a, "PARALLEL=", "parallel=")) {
        return parse_parallel(run, a + 9);
    } else if (arg_keyword(a, "CONSISTENT=N", "consistent=n")) {
        run->inconsistent = 1;
    } else if (arg_keyword(a, "CONSISTENT=Y", "consistent=y")) {
        run->inconsistent = 0;
    } else {
        return parse_run_option(&run->opts, a);
    }
    return 0;
}

int parse_export_arguments(EXP_RUN *run, int argc, char **argv)
{
    const char *prog = (argc > 0 && argv && argv[0]) ? argv[0] : "tabexp";

    run->flag = 0;
    run->inconsistent = 0;
    run->parallel = 1;
    run->owner_name[0] = run->dump_filename[0] = run->log_filename[0] = '\0';

    int rc = parse_command_line(argc, argv, &run->opts, &run->conn, parse_keyword, run);
    if (rc != 0) return parse_failed(prog);
    memcpy(run->dump_filename, run->opts.file, sizeof(run->dump_filename));
    memcpy(run->log_filename, run->opts.log, sizeof(run->log_filename));

    if (run->dump_filename[0] == '\0') {
        fprintf(stderr, "Output file not specified.\n");
        return parse_failed(prog);
    }
    if (run->owner_name[0] == '\0') {
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
static int sync_dump(EXP_RUN *run)
{
    if (fsync(run->fd) != 0 && errno != EINVAL && errno != EROFS) {
        fprintf(stderr, "Write %s: %s\n", run->dump_filename, strerror(errno));
        return -1;
    }
    int fd = run->fd;
    run->fd = -1;
    run->main.fd = -1;
    if (close(fd) != 0) {
        fprintf(stderr, "Write %s: %s\n", run->dump_filename, strerror(errno));
        return -1;
    }
    return 0;
}

/* Starts the read-only transaction whose snapshot every query of the run
 * reads: a transaction committed during the export is wholly in the dump
 * or wholly absent. Returns 0 or -1 (message printed). */
static int begin_snapshot(EXP_WORKER *w)
{
    static const char sqltxt[] = "SET TRANSACTION READ ONLY";
    sword rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return execute_statement(w, 1);
}

/* Releases what the run acquired, in the same order on every way out. */
static void release(EXP_RUN *run)
{
    report_end();
    if (run->ofp && run->ofp != stdout) fclose(run->ofp);
    run->ofp = stdout;
    fflush(stdout);
    worker_close(&run->main);
    if (run->fd != -1) close(run->fd);
    run->fd = -1;
    discard_dump_output(&run->out);
    free_objects(run);
    free_table_ranges(run);
    free_table_metas(run);
    free(run->tabs);
    run->tabs = NULL;
    run->ntab = 0;
    clear_run_options(&run->opts);
}

/* Whether a signal asked the run to stop; if so, says which and where, on
 * stderr and in the log. */
static int report_stop(const EXP_RUN *run)
{
    int sig = stop_requested();
    if (!sig) return 0;
    report_table(NULL);
    if (run->current_table)
        fprintf(stderr, "Interrupted by %s while exporting table \"%s\".\n", stop_signal_name(sig),
                run->current_table);
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

/* The tables one after another on the coordinator's own session, each
 * section written straight into the dump. */
static int export_serial(EXP_RUN *run)
{
    EXP_WORKER *w = &run->main;
    for (int ti = 0; ti < run->ntab; ti++) {
        EXP_TABLE *tab = &run->tabs[ti];
        /* A stop between tables names the table that is not exported. */
        run->current_table = exp_table_name(tab);
        if (stop_requested()) return -1;
        report_table(exp_table_name(tab));
        if (export_table(w, tab) != 0) return -1;
    }
    w->tab = NULL;
    run->current_table = NULL;
    report_table(NULL);
    return 0;
}

int export_run(EXP_RUN *run, int argc, char **argv)
{
    memset(run, 0, sizeof(*run));
    run->fd = -1;
    run->main.fd = -1;
    run->ofp = stdout;
    show_copyright();
    if (parse_export_arguments(run, argc, argv) != 0) {
        clear_run_options(&run->opts);
        return RUN_STATUS_FAILED;
    }

    install_stop_handlers();
    run_warnings_reset();
    /* Progress lines on stdout keep their place among the messages on
     * stderr when both go to one file. */
    setvbuf(stdout, NULL, _IOLBF, 0);

    /* Nothing is opened for writing before FILE and LOG are known not to
     * name each other or a file of the database. */
    if (check_run_files(run->dump_filename, 0, run->log_filename, run->conn.tnsname) != 0) {
        fprintf(stderr, "\nExport terminated unsuccessfully.\n\n");
        clear_run_options(&run->opts);
        return RUN_STATUS_FAILED;
    }
    /* The log is opened first, so that it holds every message of the run,
     * a failed connect included, and no log of an earlier run is left
     * looking like the log of this one. */
    run->ofp = begin_run_log(run->log_filename);

    EXP_WORKER *w = &run->main;
    /* An empty NLS_LANG would mean US7ASCII to the client: refused like
     * a missing one. */
    const char *nls_lang = getenv("NLS_LANG");
    if (nls_lang == NULL || nls_lang[0] == '\0') {
        fprintf(stderr, "Set env \"NLS_LANG\" first.\n");
        goto fail;
    }
    if (obtain_password(&run->opts, &run->conn) != 0) goto fail;
    if (worker_open(w, run, 0) != 0) goto fail;

    if (connect_oracle(&w->env, run->conn.username, run->conn.password, run->conn.tnsname) != 0)
        STEP_FAILED("Connect to oracle:\n%s\n", get_ora_message(&w->env));
    /* The snapshot comes before the first read of the dictionary. A
     * parallel run takes the number of the newest commit first and reads
     * the dictionary at it in flashback, as every worker reads its tables:
     * a read-only transaction begun before the number was taken could see
     * an older commit than the workers. */
    if (!run->inconsistent && run->parallel > 1) {
        if (take_snapshot_scn(w) != 0) goto fail;
        if (enable_snapshot(w) != 0) STEP_FAILED("Start of the read at the snapshot error.\n");
    } else if (!run->inconsistent && begin_snapshot(w) != 0) {
        STEP_FAILED("Start of the read-only transaction error.\n");
    }
    if (check_owner(w) != 0) goto fail;
    int lossy = check_charsets(&w->env, nls_lang, 0, run->opts.charset_strict);
    if (lossy < 0) goto fail;
    if (lossy) {
        /* Characters the client set cannot hold arrive replaced. */
        run->flag |= EXP_LOSSY_CHARSET;
        run_warning();
    }
    if (export_table_information(w) != 0) STEP_FAILED("Export table information error.\n");
    if (gather_objects(w) != 0) STEP_FAILED("Export schema objects error.\n");
    if (read_table_ranges(w) != 0) STEP_FAILED("Export table extents error.\n");
    if (stop_requested()) goto fail;

    /* Only now, with the table list read, is the dump file created. */
    run->fd = open_dump_output(run->dump_filename, &run->out);
    if (run->fd < 0 && run->out.refused_link[0] != '\0') {
        fprintf(stderr,
                "Open %s: \"%s\" is a symbolic link of another user in a folder everybody may "
                "write; not followed.\n",
                run->dump_filename, run->out.refused_link);
        goto fail;
    }
    if (run->fd < 0) {
        fprintf(stderr, "Open %s: %s\n", run->dump_filename, strerror(errno));
        run->fd = -1;
        goto fail;
    }
    w->fd = run->fd;

    if (write_dump_head(w) != 0) STEP_FAILED("Write dump file head error.\n");
    /* one table may be enough for workers: its ranges */
    if (run->parallel > 1 && (run->ntab > 1 || (run->ntab == 1 && run->tabs[0].split))) {
        if (export_parallel(run) != 0) goto fail;
    } else if (export_serial(run) != 0) {
        goto fail;
    } else {
        write_run_stats(run, w->out_bytes, 0, 0);
    }
    if (write_dump_trailer(w) != 0) STEP_FAILED("Write dump file trailer error.\n");
    if (write_table_information(w) != 0) STEP_FAILED("Write table information to file error.\n");
    if (sync_dump(run) != 0) goto fail;
    /* The last moment a stop can still keep the old FILE. */
    if (stop_requested()) goto fail;
    if (finish_dump_output(&run->out) != 0) {
        fprintf(stderr, "Rename to %s: %s\n", run->dump_filename, strerror(errno));
        goto fail;
    }

    /* Status 1 whenever something was not carried or was changed. */
    int status = run_warning_count() > 0 ? RUN_STATUS_WARNINGS : RUN_STATUS_OK;
    if (run->nwarnings > 0)
        fprintf(stderr, "\n%d object%s not exported (see the warnings).\n", run->nwarnings,
                run->nwarnings == 1 ? "" : "s");
    else
        fputc('\n', stderr);
    metrics_session_end(&run->main.env);
    metrics_closing_line(&run->opts);
    if (status == RUN_STATUS_WARNINGS)
        fprintf(stderr, "Export terminated successfully with warnings.\n\n");
    else
        fprintf(stderr, "Export terminated successfully.\n\n");
    release(run);
    return status;

fail:
    report_stop(run);
    report_table(NULL);
    fputc('\n', stderr);
    metrics_session_end(&run->main.env);
    metrics_closing_line(&run->opts);
    fprintf(stderr, "Export terminated unsuccessfully.\n\n");
    release(run);
    return RUN_STATUS_FAILED;
}

int main(int argc, char **argv)
{
    EXP_RUN *run = (EXP_RUN *)calloc(1, sizeof(EXP_RUN));
    if (!run) {
        fprintf(stderr, "Allocate memory (%zu) error: %s\n", sizeof(EXP_RUN), strerror(errno));
        return RUN_STATUS_FAILED;
    }
    int status = export_run(run, argc, argv);
    free(run);
    return status;
}
