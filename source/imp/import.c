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
#include "read_head.h"
#include "read_table_info.h"
#include "verify_section.h"

IMP g_imp;
OCI_ENV g_env;
CONN_ARGS g_args;
RUN_OPTIONS g_run_options;
OCILobLocator *g_empty_lobp;
uint64_t g_file_size;
int g_cur_table = -1;
int g_table_exists_action = TEA_NONE;
int g_table_created;
int g_rows_rejected;

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
    "PARFILE      parameter filename\n\n"
    "Exit status: 0 everything was imported unchanged; 1 the import completed\n"
    "with warnings (a statement failed or was refused, rows were rejected,\n"
    "characters lost in conversion); 255 the import failed or was interrupted.\n\n";

void show_usage(const char *prog_name)
{
    fprintf(stderr, usage_text, prog_name ? prog_name : "tabimp");
}

int imp_has_nul(const char *field, int size)
{
    return memchr(field, '\0', (size_t)size) != NULL;
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

static int parse_exists_action(const char *v)
{
    static const char *const names[] = {"SKIP", "APPEND", "TRUNCATE", "REPLACE"};
    for (int i = 0; i < 4; i++) {
        if (strcasecmp(v, names[i]) == 0) {
            g_table_exists_action = TEA_SKIP + i;
            return 0;
        }
    }
    fprintf(stderr, "Invalid parameter \"TABLE_EXISTS_ACTION=%s\" specified.\n", v);
    return -1;
}

/* One argument from the second on: tabimp's own keywords here, the ones
 * both programs share in parse_run_option. Returns 0, or -1 with the
 * message printed. */
static int parse_keyword(const char *a)
{
    if (arg_keyword(a, "TOUSER", "touser")) {
        /* an empty name leaves the schema to the header */
        return take_owner(a, keyword_value(a, "TOUSER"), g_imp.owner_name);
    } else if (arg_keyword(a, "TABLE_EXISTS_ACTION=", "table_exists_action=")) {
        return parse_exists_action(a + 20);
    } else if (arg_keyword(a, "IGNORE=Y", "ignore=y")) {
        g_imp.flag |= IMP_IGNORE;
    } else if (arg_keyword(a, "INDEXES=Y", "indexes=y")) {
        /* indexes are always created */
    } else if (arg_keyword(a, "CONSTRAINTS=Y", "constraints=y")) {
        /* constraints are always created */
    } else if (arg_keyword(a, "PARTITION_OPTIONS=MERGE", "partition_options=merge")) {
        g_partition_merge = 1;
    } else if (arg_keyword(a, "PARTITION_OPTIONS=NONE", "partition_options=none")) {
        g_partition_merge = 0;
    } else {
        return parse_run_option(&g_run_options, a);
    }
    return 0;
}

int parse_arguments(int argc, char **argv)
{
    const char *prog = (argc > 0 && argv[0]) ? argv[0] : "tabimp";
    memset(&g_imp, 0, sizeof(g_imp));
    g_imp.fd = -1;
    g_table_exists_action = TEA_NONE;
    g_partition_merge = 0;

    if (parse_command_line(argc, argv, &g_run_options, &g_args, parse_keyword) != 0)
        return usage_error(prog, NULL, NULL);
    memcpy(g_imp.dump_filename, g_run_options.file, sizeof(g_imp.dump_filename));
    memcpy(g_imp.log_filename, g_run_options.log, sizeof(g_imp.log_filename));
    if (g_imp.dump_filename[0] == '\0')
        return usage_error(prog, "Output file not specified.\n", NULL);
    return 0;
}

/* The reader has checked the header (read_dump_head); the table list
 * (the directory that tab_cnt announces and the tables of long names the
 * trailer adds) must also keep the working block within what an int can
 * size. */
static int check_dump_head(const HEAD_INFO *hi)
{
    uint64_t n = dump_table_count(&g_dump);
    uint64_t block = dir_area_size(n) + (uint64_t)IMP_WINDOW_SIZE + (uint64_t)IMP_BIND_AREA;
    /* the table list stands in the file after the head: a count it cannot
     * hold is refused before anything is allocated for it */
    if (block > (uint64_t)INT_MAX || (n > 0 && DUMP_HEAD_BLOCK + n * sizeof(TAB_INFO) > g_file_size)) {
        fprintf(stderr, "Table count %u in %s exceeds the file.\n", hi->tab_cnt,
                g_imp.dump_filename);
        return -1;
    }
    return 0;
}

/* Releases what the run acquired; safe at every stage. */
static void clean_up(void)
{
    report_end();
    if (g_imp.ofp && g_imp.ofp != stdout) fclose(g_imp.ofp);
    if (g_imp.ofp == stdout) fflush(stdout);
    g_imp.ofp = NULL;
    disconnect_oracle(&g_env);
    dump_close(&g_dump);
    if (g_imp.fd != -1) close(g_imp.fd);
    g_imp.fd = -1;
    free(g_imp.buf);
    g_imp.buf = NULL;
    g_imp.rbuf = g_imp.abuf = NULL;
    g_imp.tabp = NULL;
    g_imp.colp = NULL;
    g_imp.bc = NULL;
}

/* A stop asked for by a signal while table ti (-1: the deferred list) was
 * being imported. */
static int stopped(int ti)
{
    imp_report_stop(ti);
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

static int run(void)
{
    HEAD_INFO hi;
    struct stat st;

    /* A LOG that is the dump being read, or a file of the database, is
     * refused before anything is opened for writing. */
    if (check_run_files(g_imp.dump_filename, 1, g_imp.log_filename, g_args.tnsname) != 0)
        return -1;
    /* The log is opened first, so that it holds every message of the run,
     * a failed connect included, and no log of an earlier run is left
     * looking like the log of this one. */
    g_imp.ofp = begin_run_log(g_imp.log_filename);
    g_imp.fd = open(g_imp.dump_filename, O_RDONLY);
    if (g_imp.fd < 0) {
        fprintf(stderr, "Open %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    if (fstat(g_imp.fd, &st) != 0) {
        fprintf(stderr, "Read %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    g_file_size = (uint64_t)st.st_size;

    if (read_dump_head(&hi) < 0) return -1;
    if (check_dump_head(&hi) < 0) return -1;
    if (g_dump.has_ext) {
        DUMP_VISIT wv = {NULL, NULL, repeat_warning, NULL};
        if (dump_walk_warnings(&g_dump, &wv, NULL) < 0) return imp_dump_fault();
    }

    /* room for the directory's tables and those only the trailer names */
    int tsz = (int)dir_area_size(dump_table_count(&g_dump));
    g_imp.buf_sz = tsz + IMP_WINDOW_SIZE + IMP_BIND_AREA;
    g_imp.buf = malloc((size_t)g_imp.buf_sz);
    if (!g_imp.buf) {
        fprintf(stderr, "Allocate memory (%d) error: %s\n", g_imp.buf_sz, strerror(errno));
        return -1;
    }
    g_imp.rsz = IMP_WINDOW_SIZE;
    g_imp.asz = IMP_BIND_AREA;
    g_imp.rbuf = g_imp.buf + tsz;
    g_imp.abuf = g_imp.rbuf + g_imp.rsz;
    g_imp.tabp = (TAB_INFO *)g_imp.buf;
    g_imp.ntab = (int)dump_table_count(&g_dump);

    if (g_imp.owner_name[0] == '\0') copy_cut(g_imp.owner_name, hi.owner, sizeof(g_imp.owner_name) - 1);

    if (setenv("NLS_LANG", hi.nls_lang, 1) != 0) {
        fprintf(stderr, "Set NSL_LANG environment variable error.\n");
        return -1;
    }
    if (connect_oracle(&g_env, g_args.username, g_args.password, g_args.tnsname) < 0) {
        fprintf(stderr, "Connect to oracle:\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    /* The text of the dump is in the character set of its NLS_LANG. */
    if (check_charsets(&g_env, hi.nls_lang, 1, g_run_options.charset_strict) < 0) return -1;
    if (read_table_information() < 0) {
        fprintf(stderr, "Read table information error.\n");
        return -1;
    }
    if (check_selection_of(&g_run_options.tables, imp_table_name, g_imp.ntab, g_imp.dump_filename) < 0) return -1;
    if (set_current_schema() < 0) {
        fprintf(stderr, "Set current SCHEMA error.\n");
        return -1;
    }
    for (int i = 0; i < g_imp.ntab; i++) {
        if (!table_selected(&g_run_options.tables, imp_table_name(i))) continue;
        if (stop_requested()) return stopped(i);
        report_table(imp_table_name(i));
        if (import_table(i) < 0) return stop_requested() ? stopped(i) : -1;
    }
    report_table(NULL);
    if (run_deferred_statements() < 0) return stop_requested() ? stopped(-1) : -1;
    if (stop_requested()) return stopped(-1);
    if (run_warning_count() > 0) {
        fprintf(stderr, "\nImport terminated successfully with warnings.\n\n");
        return RUN_STATUS_WARNINGS;
    }
    fprintf(stderr, "\nImport terminated successfully.\n\n");
    return 0;
}

/* After a failure, rows of the table that was being loaded may be inserted
 * but not committed. They are rolled back here, before the session ends,
 * rather than left to what the client library does with open work at the
 * end of a session (which may commit it). */
static void roll_back_open_work(void)
{
    if (g_env.svchp && g_env.errhp && g_env.usrhp)
        OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT);
}

int main(int argc, char **argv)
{
    install_stop_handlers();
    run_warnings_reset();
    show_copyright();
    g_empty_lobp = NULL;
    g_cur_table = -1;
    if (parse_arguments(argc, argv) < 0) return -1;
    if (obtain_password(&g_run_options, &g_args) < 0) return -1;
    g_imp.ofp = stdout;
    g_imp.fd = -1;
    g_imp.buf = NULL;
    int rc = run();
    if (rc < 0) {
        if (rc == -1) roll_back_open_work();
        report_table(NULL);
        fprintf(stderr, "\nImport terminated unsuccessfully.\n\n");
        rc = -1; /* exit status 255 */
    }
    clean_up();
    imp_forget_ours();
    return rc;
}
