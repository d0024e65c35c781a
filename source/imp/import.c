/*
 * import.c - tabimp: the command line, the checks of the dump header and
 * the driver that connects, reads the directory and imports every table.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "args.h"
#include "imp_local.h"
#include "dump_fault.h"
#include "table_name.h"
#include "verify_section.h"

static const char usage_text[] =
    "%s KEYWORD=value\n\n"
    "USERID must be the first parameter on the command line.\n\n"
    "USERID       username/password@tnsname\n"
    "FILE         input files (EXPDAT.DMP)\n"
    "TOUSER       list of usernames\n"
    "IGNORE       ignore create erros (N)\n"
    "TABLE_EXISTS_ACTION  SKIP, APPEND, TRUNCATE or REPLACE an existing table\n"
    "INDEXES      import indexes (Y)\n"
    "CONSTRAINTS  import constraints (Y)\n"
    "LOG          log file of screen output\n"
    "CHARSET      refuse to lose characters in conversion (STRICT)\n"
    "PARTITION_OPTIONS  MERGE: partitioned tables as one table each (NONE)\n"
    "TABLES       list of table names, %% and _ as in LIKE (all)\n"
    "FEEDBACK     display progress every x rows (0)\n"
    "PARALLEL     number of worker sessions (1)\n"
    "METRICS      time and round trips per table and for the run (N)\n"
    "PARFILE      parameter filename\n\n"
    "Exit status: 0 everything was imported unchanged; 1 the import completed\n"
    "with warnings (a statement failed or was refused, rows were rejected,\n"
    "characters lost in conversion); 255 the import failed or was interrupted.\n\n";

void show_usage(const char *prog_name)
{
    fprintf(stderr, usage_text, prog_name ? prog_name : "tabimp");
}

/* The value of "KEYWORD=value": what follows the keyword and one more
 * character; empty when the argument ends at the keyword. */
static const char *keyword_value(const char *arg, const char *kw)
{
    size_t n = strlen(kw);
    return strlen(arg) > n ? arg + n + 1 : "";
}

/* Copies at most max characters of src into dst (max + 1 bytes). */
static void copy_cut(char *dst, const char *src, size_t max)
{
    size_t n = strnlen(src, max);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

static int usage_error(const char *prog, const char *msg, const char *arg)
{
    if (msg) fprintf(stderr, msg, arg);
    show_usage(prog);
    return -1;
}

static int parse_exists_action(IMP_RUN *run, const char *v)
{
    static const char *const names[] = {"SKIP", "APPEND", "TRUNCATE", "REPLACE"};
    for (int i = 0; i < 4; i++) {
        if (strcasecmp(v, names[i]) == 0) {
            run->table_exists_action = TEA_SKIP + i;
            return 0;
        }
    }
    fprintf(stderr, "Invalid parameter \"TABLE_EXISTS_ACTION=%s\" specified.\n", v);
    return -1;
}

/* PARALLEL=n: 1 to IMP_PARALLEL_MAX worker sessions, digits only. */
static int parse_parallel(IMP_RUN *run, const char *v)
{
    if (parse_count(v, 1, IMP_PARALLEL_MAX, &run->parallel) == 0) return 0;
    fprintf(stderr, "Invalid parameter \"PARALLEL=%s\" specified (1 to %d).\n", v,
            IMP_PARALLEL_MAX);
    return -1;
}

/* One argument from the second on: tabimp's own keywords here, the ones
 * both programs share in parse_run_option. Returns 0, or -1 with the
 * message printed. */
static int parse_keyword(void *ctx, const char *a)
{
    IMP_RUN *run = ctx;
    if (arg_keyword(a, "TOUSER", "touser")) {
        /* an empty name leaves the schema to the header */
        return take_owner(a, keyword_value(a, "TOUSER"), run->owner_name);
    } else if (arg_keyword(a, "TABLE_EXISTS_ACTION=", "table_exists_action=")) {
        return parse_exists_action(run, a + 20);
    } else if (arg_keyword(a, "IGNORE=Y", "ignore=y")) {
        run->flag |= IMP_IGNORE;
    } else if (arg_keyword(a, "INDEXES=Y", "indexes=y")) {
        /* indexes are always created */
    } else if (arg_keyword(a, "CONSTRAINTS=Y", "constraints=y")) {
        /* constraints are always created */
    } else if (arg_keyword(a, "PARALLEL=", "parallel=")) {
        return parse_parallel(run, a + 9);
    } else if (arg_keyword(a, "PARTITION_OPTIONS=MERGE", "partition_options=merge")) {
        run->partition_merge = 1;
    } else if (arg_keyword(a, "PARTITION_OPTIONS=NONE", "partition_options=none")) {
        run->partition_merge = 0;
    } else {
        return parse_run_option(&run->opts, a);
    }
    return 0;
}

int parse_imp_arguments(IMP_RUN *run, int argc, char **argv)
{
    const char *prog = (argc > 0 && argv[0]) ? argv[0] : "tabimp";
    memset(run, 0, sizeof(*run));
    run->fd = -1;
    run->parallel = 1;
    run->table_exists_action = TEA_NONE;

    int rc = parse_command_line(argc, argv, &run->opts, &run->conn, parse_keyword, run);
    if (rc != 0) return usage_error(prog, NULL, NULL);
    memcpy(run->dump_filename, run->opts.file, sizeof(run->dump_filename));
    memcpy(run->log_filename, run->opts.log, sizeof(run->log_filename));
    if (run->dump_filename[0] == '\0')
        return usage_error(prog, "Output file not specified.\n", NULL);
    return 0;
}

/* The reader has checked the header (read_dump_head); the table list
 * (the directory that tab_cnt announces and the tables of long names the
 * trailer adds) must also keep the working block within what an int can
 * size. */
static int check_dump_head(const IMP_RUN *run, const HEAD_INFO *hi)
{
    uint64_t n = dump_table_count(run->dump);
    uint64_t block = dir_area_size(n) + (uint64_t)IMP_WINDOW_SIZE + (uint64_t)IMP_BIND_AREA;
    /* the table list stands in the file after the head: a count it cannot
     * hold is refused before anything is allocated for it */
    if (block > (uint64_t)INT_MAX ||
        (n > 0 && DUMP_HEAD_BLOCK + n * sizeof(TAB_INFO) > run->file_size)) {
        fprintf(stderr, "Table count %u in %s exceeds the file.\n", hi->tab_cnt,
                run->dump_filename);
        return -1;
    }
    return 0;
}

int imp_worker_begin(IMP_RUN *run, IMP_WORKER *w, DUMP_READER *own)
{
    w->run = run;
    w->table = NULL;
    w->feedback = run->parallel == 1;
    w->env.meter.total = run->opts.metrics ? &run->opts.trips : NULL;
    if (own) {
        dump_share(own, run->dump);
        w->dump = own;
    } else {
        w->dump = run->dump;
        /* the coordinator of a parallel run loads no rows: no window */
        if (run->parallel > 1) return 0;
    }
    /* one block: the pass over the rows, the slots of a row, the column
     * block of a table, then the bind area (each part a multiple of 8) */
    size_t rows_sz = (sizeof(DUMP_ROWS) + 7) / 8 * 8;
    size_t vals_sz = sizeof(DUMP_VALUE) * DUMP_MAX_COLUMNS;
    size_t cols_sz = sizeof(COL_INFO) * DUMP_MAX_COLUMNS;
    size_t sz = rows_sz + vals_sz + cols_sz + IMP_BIND_AREA;
    w->buf = malloc(sz);
    if (!w->buf) {
        fprintf(stderr, "Allocate memory (%zu) error: %s\n", sz, strerror(errno));
        return -1;
    }
    w->rows = (DUMP_ROWS *)w->buf;
    w->vals = (DUMP_VALUE *)(w->buf + rows_sz);
    w->colp = NULL;
    w->asz = IMP_BIND_AREA;
    w->abuf = w->buf + rows_sz + vals_sz + cols_sz;
    return 0;
}

void imp_worker_end(IMP_WORKER *w)
{
    disconnect_oracle(&w->env);
    if (w->dump && w->run && w->dump != w->run->dump) dump_close(w->dump);
    w->dump = NULL;
    free(w->buf);
    w->buf = w->abuf = NULL;
    free(w->lob_gather);
    w->lob_gather = NULL;
    w->rows = NULL;
    w->vals = NULL;
    w->colp = NULL;
    w->bc = NULL;
}

/* Releases what the run acquired; safe at every stage. */
static void clean_up(IMP_RUN *run, IMP_WORKER *w)
{
    report_end();
    if (run->ofp && run->ofp != stdout) fclose(run->ofp);
    if (run->ofp == stdout) fflush(stdout);
    run->ofp = NULL;
    imp_worker_end(w);
    if (run->dump) dump_close(run->dump);
    if (run->fd != -1) close(run->fd);
    run->fd = -1;
    free(run->tables);
    run->tables = NULL;
    run->ntab = 0;
    imp_forget_ours(run);
    imp_forget_mviews(run);
    clear_run_options(&run->opts);
}

/* A stop asked for by a signal while worker w was in a table (w NULL: in
 * the deferred list). */
static int stopped(IMP_RUN *run, IMP_WORKER *w)
{
    imp_report_stop(run, w);
    return -2;
}

/* Repeats a warning the export stored in the dump, so that this run's log
 * says on its own what the dump lacks. */
static int repeat_warning(void *ctx, const char *text, uint32_t len)
{
    (void)ctx;
    fprintf(stderr, "Export warning: %.*s\n", (int)(len > 400 ? 400 : len), text);
    run_warning();
    return 0;
}

/* The name of the run's table i, for check_selection_of. */
static const char *selected_name(void *ctx, int i)
{
    return TABLE_NAME(&((const IMP_RUN *)ctx)->tables[i]);
}

/* The tables one after the other in the coordinator's session. */
int import_serial(IMP_RUN *run, IMP_WORKER *w)
{
    for (int i = 0; i < run->ntab; i++) {
        IMP_TABLE *t = &run->tables[i];
        if (!table_selected(&run->opts.tables, TABLE_NAME(t))) continue;
        if (stop_requested()) {
            /* named as the table the stop came in, nothing of it created */
            w->table = t;
            w->table_created = 0;
            return stopped(run, w);
        }
        report_table(TABLE_NAME(t));
        if (import_table(w, t) < 0) return stop_requested() ? stopped(run, w) : -1;
        t->done = 1;
    }
    report_table(NULL);
    return 0;
}

static int run_import(IMP_RUN *run, IMP_WORKER *w)
{
    HEAD_INFO hi;
    struct stat st;

    /* A LOG that is the dump being read, or a file of the database, is
     * refused before anything is opened for writing. */
    if (check_run_files(run->dump_filename, 1, run->log_filename, run->conn.tnsname) != 0)
        return -1;
    /* The log is opened first, so that it holds every message of the run,
     * a failed connect included, and no log of an earlier run is left
     * looking like the log of this one. */
    run->ofp = begin_run_log(run->log_filename);
    run->fd = open(run->dump_filename, O_RDONLY);
    if (run->fd < 0) {
        fprintf(stderr, "Open %s: %s\n", run->dump_filename, strerror(errno));
        return -1;
    }
    if (fstat(run->fd, &st) != 0) {
        fprintf(stderr, "Read %s: %s\n", run->dump_filename, strerror(errno));
        return -1;
    }
    run->file_size = (uint64_t)st.st_size;

    if (read_dump_head(run, &hi) < 0) return -1;
    if (check_dump_head(run, &hi) < 0) return -1;
    if (run->dump->has_ext) {
        DUMP_VISIT wv = {NULL, NULL, repeat_warning, NULL};
        if (dump_walk_warnings(run->dump, &wv, NULL) < 0) return imp_dump_fault(run, run->dump);
    }

    /* the directory's tables and those only the trailer names */
    run->ntab = (int)dump_table_count(run->dump);
    run->tables = calloc(run->ntab > 0 ? (size_t)run->ntab : 1, sizeof(IMP_TABLE));
    if (!run->tables) {
        fprintf(stderr, "Allocate memory (%zu) error: %s\n",
                (size_t)run->ntab * sizeof(IMP_TABLE), strerror(errno));
        return -1;
    }
    if (imp_worker_begin(run, w, NULL) < 0) return -1;

    if (run->owner_name[0] == '\0') copy_cut(run->owner_name, hi.owner, sizeof(run->owner_name) - 1);

    if (setenv("NLS_LANG", hi.nls_lang, 1) != 0) {
        fprintf(stderr, "Set NSL_LANG environment variable error.\n");
        return -1;
    }
    if (run->parallel > 1) w->env.mode = OCI_THREADED;
    if (connect_oracle(&w->env, run->conn.username, run->conn.password, run->conn.tnsname) < 0) {
        fprintf(stderr, "Connect to oracle:\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    /* The text of the dump is in the character set of its NLS_LANG. */
    if (check_charsets(&w->env, hi.nls_lang, 1, run->opts.charset_strict) < 0) return -1;
    if (read_table_information(run) < 0) {
        fprintf(stderr, "Read table information error.\n");
        return -1;
    }
    int sel = check_selection_of(&run->opts.tables, selected_name, run, run->ntab, run->dump_filename);
    if (sel < 0) return -1;
    if (set_current_schema(w) < 0) {
        fprintf(stderr, "Set current SCHEMA error.\n");
        return -1;
    }
    int rc = run->parallel > 1 ? import_parallel(run, w) : import_serial(run, w);
    if (rc < 0) return rc;
    if (run_deferred_statements(w) < 0) return stop_requested() ? stopped(run, NULL) : -1;
    if (stop_requested()) return stopped(run, NULL);
    fputc('\n', stderr);
    metrics_session_end(&w->env);
    metrics_closing_line(&run->opts);
    if (run_warning_count() > 0) {
        fprintf(stderr, "Import terminated successfully with warnings.\n\n");
        return RUN_STATUS_WARNINGS;
    }
    fprintf(stderr, "Import terminated successfully.\n\n");
    return 0;
}

/* After a failure, rows of the table that was being loaded may be inserted
 * but not committed. They are rolled back here, before the session ends,
 * rather than left to what the client library does with open work at the
 * end of a session (which may commit it). */
static void roll_back_open_work(IMP_WORKER *w)
{
    if (w->env.svchp && w->env.errhp && w->env.usrhp)
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
}

int main(int argc, char **argv)
{
    IMP_RUN run;
    DUMP_READER dump;
    IMP_WORKER coordinator;

    install_stop_handlers();
    run_warnings_reset();
    show_copyright();
    if (parse_imp_arguments(&run, argc, argv) < 0 || obtain_password(&run.opts, &run.conn) < 0) {
        clear_run_options(&run.opts);
        return -1;
    }
    memset(&dump, 0, sizeof(dump));
    memset(&coordinator, 0, sizeof(coordinator));
    run.dump = &dump;
    run.ofp = stdout;
    int rc = run_import(&run, &coordinator);
    if (rc < 0) {
        if (rc == -1) roll_back_open_work(&coordinator);
        report_table(NULL);
        fputc('\n', stderr);
        metrics_session_end(&coordinator.env);
        metrics_closing_line(&run.opts);
        fprintf(stderr, "Import terminated unsuccessfully.\n\n");
        rc = -1; /* exit status 255 */
    }
    clean_up(&run, &coordinator);
    return rc;
}
