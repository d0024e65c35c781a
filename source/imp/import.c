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
#include <sys/stat.h>
#include <unistd.h>

#include "imp_local.h"

IMP g_imp;
OCI_ENV g_env;
CONN_ARGS g_args;
OCILobLocator *g_empty_lobp;
uint64_t g_file_size;
int g_cur_table = -1;

static const char usage_text[] =
    "%s KEYWORD=value\n\n"
    "USERID must be the first parameter on the command line.\n\n"
    "USERID       username/password@tnsname\n"
    "FILE         input files (EXPDAT.DMP)\n"
    "TOUSER       list of usernames\n"
    "IGNORE       ignore create erros (N)\n"
    "INDEXES      import indexes (Y)\n"
    "CONSTRAINTS  import constraints (Y)\n"
    "LOG          log file of screen output\n\n";

void show_usage(const char *prog_name)
{
    fprintf(stderr, usage_text, prog_name ? prog_name : "tabimp");
}

char *imp_put_quoted(char *dst, const char *name)
{
    *dst++ = '"';
    for (; *name; name++) {
        if (*name == '"') *dst++ = '"';
        *dst++ = *name;
    }
    *dst++ = '"';
    *dst = '\0';
    return dst;
}

int imp_has_nul(const char *field, int size)
{
    return memchr(field, '\0', (size_t)size) != NULL;
}

/* The keyword matches when the argument begins with it in all capitals or
 * all small letters. */
static int keyword(const char *arg, const char *upper, const char *lower)
{
    size_t n = strlen(upper);
    return strncmp(arg, upper, n) == 0 || strncmp(arg, lower, n) == 0;
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

static int parse_userid(const char *prog, const char *cs)
{
    const char *slash = strchr(cs, '/');
    if (!slash) return usage_error(prog, "USERID parameter format error.\n", NULL);
    size_t ulen = (size_t)(slash - cs);
    if (ulen > sizeof(g_args.username) - 1)
        return usage_error(prog, "Argument \"username\" too long.\n", NULL);
    memcpy(g_args.username, cs, ulen);
    g_args.username[ulen] = '\0';

    const char *pw = slash + 1;
    const char *at = strchr(pw, '@');
    if (at) {
        size_t plen = (size_t)(at - pw);
        if (plen > sizeof(g_args.password) - 1)
            return usage_error(prog, "Argument \"password\" too long.\n", NULL);
        memcpy(g_args.password, pw, plen);
        g_args.password[plen] = '\0';
        copy_cut(g_args.tnsname, at + 1, sizeof(g_args.tnsname) - 1);
    } else {
        copy_cut(g_args.password, pw, sizeof(g_args.password) - 1);
    }
    return 0;
}

/* TOUSER: a name in double quotes keeps its case; otherwise the ASCII
 * letters are upper-cased. An empty name leaves the schema to the header. */
static int parse_touser(const char *prog, const char *v)
{
    char name[sizeof(g_imp.owner_name)];
    size_t n = 0;
    if (v[0] == '"') {
        const char *end = strchr(v + 1, '"');
        if (!end || (size_t)(end - v - 1) > sizeof(name) - 1)
            return usage_error(prog, "Owner argument too large.\n", NULL);
        n = (size_t)(end - v - 1);
        memcpy(name, v + 1, n);
    } else {
        n = strlen(v);
        if (n > sizeof(name) - 1) return usage_error(prog, "Owner argument too large.\n", NULL);
        for (size_t i = 0; i < n; i++)
            name[i] = (v[i] >= 'a' && v[i] <= 'z') ? (char)(v[i] - 'a' + 'A') : v[i];
    }
    name[n] = '\0';
    memcpy(g_imp.owner_name, name, n + 1);
    return 0;
}

int parse_arguments(int argc, char **argv)
{
    const char *prog = (argc > 0 && argv[0]) ? argv[0] : "tabimp";
    memset(&g_args, 0, sizeof(g_args));
    memset(&g_imp, 0, sizeof(g_imp));
    g_imp.fd = -1;

    if (argc < 2 || !argv[1]) return usage_error(prog, NULL, NULL);

    const char *first = argv[1];
    if (keyword(first, "HELP=Y", "help=y")) return usage_error(prog, NULL, NULL);
    const char *cs = first;
    if (keyword(first, "USERID", "userid")) {
        const char *eq = strchr(first, '=');
        if (!eq) return usage_error(prog, "USERID parameter format error.\n", NULL);
        cs = eq + 1;
    }
    if (parse_userid(prog, cs) < 0) return -1;

    for (int i = 2; i < argc; i++) {
        const char *a = argv[i];
        if (!a) break;
        if (keyword(a, "HELP=Y", "help=y")) {
            return usage_error(prog, NULL, NULL);
        } else if (keyword(a, "FILE", "file")) {
            copy_cut(g_imp.dump_filename, keyword_value(a, "FILE"), sizeof(g_imp.dump_filename) - 1);
        } else if (keyword(a, "LOG", "log")) {
            copy_cut(g_imp.log_filename, keyword_value(a, "LOG"), sizeof(g_imp.log_filename) - 1);
        } else if (keyword(a, "TOUSER", "touser")) {
            if (parse_touser(prog, keyword_value(a, "TOUSER")) < 0) return -1;
        } else if (keyword(a, "IGNORE=Y", "ignore=y")) {
            g_imp.flag |= IMP_IGNORE;
        } else if (keyword(a, "INDEXES=Y", "indexes=y")) {
            /* indexes are always created */
        } else if (keyword(a, "CONSTRAINTS=Y", "constraints=y")) {
            /* constraints are always created */
        } else {
            return usage_error(prog, "Invalid parameter \"%s\" specified.\n", a);
        }
    }
    if (g_imp.dump_filename[0] == '\0')
        return usage_error(prog, "Output file not specified.\n", NULL);
    return 0;
}

/* The reader has checked the header (read_dump_head); the directory that
 * tab_cnt announces must also keep the working block within what an int
 * can size. */
static int check_dump_head(const HEAD_INFO *hi)
{
    uint64_t n = hi->tab_cnt;
    uint64_t block = dir_area_size(n) + (uint64_t)IMP_WINDOW_SIZE + (uint64_t)IMP_BIND_AREA;
    if (block > (uint64_t)INT_MAX) {
        fprintf(stderr, "Table count %u in %s exceeds the file.\n", hi->tab_cnt,
                g_imp.dump_filename);
        return -1;
    }
    return 0;
}

/* Releases what the run acquired; safe at every stage. */
static void clean_up(void)
{
    if (g_imp.ofp && g_imp.ofp != stdout) fclose(g_imp.ofp);
    if (g_imp.ofp == stdout) fflush(stdout);
    g_imp.ofp = NULL;
    disconnect_oracle();
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

static int run(void)
{
    HEAD_INFO hi;
    struct stat st;

    g_imp.fd = open(g_imp.dump_filename, O_RDONLY);
    if (g_imp.fd < 0) {
        fprintf(stderr, "Open %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    if (g_imp.log_filename[0] != '\0') {
        FILE *f = fopen(g_imp.log_filename, "w");
        if (f)
            g_imp.ofp = f;
        else
            fprintf(stderr, "Open LOG file error, output to screen.\n");
    }
    if (fstat(g_imp.fd, &st) != 0) {
        fprintf(stderr, "Read %s: %s\n", g_imp.dump_filename, strerror(errno));
        return -1;
    }
    g_file_size = (uint64_t)st.st_size;

    if (read_dump_head(&hi) < 0) return -1;
    if (check_dump_head(&hi) < 0) return -1;

    int tsz = (int)dir_area_size(hi.tab_cnt);
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
    g_imp.ntab = (int)hi.tab_cnt;

    if (g_imp.owner_name[0] == '\0') copy_cut(g_imp.owner_name, hi.owner, sizeof(g_imp.owner_name) - 1);

    if (setenv("NLS_LANG", hi.nls_lang, 1) != 0) {
        fprintf(stderr, "Set NSL_LANG environment variable error.\n");
        return -1;
    }
    if (connect_oracle(g_args.username, g_args.password, g_args.tnsname) < 0) {
        fprintf(stderr, "Connect to oracle:\n%s\n", get_ora_message());
        return -1;
    }
    if (read_table_information() < 0) {
        fprintf(stderr, "Read table information error.\n");
        return -1;
    }
    if (set_current_schema() < 0) {
        fprintf(stderr, "Set current SCHEMA error.\n");
        return -1;
    }
    for (int i = 0; i < g_imp.ntab; i++) {
        if (import_table(i) < 0) return -1;
    }
    if (run_deferred_statements() < 0) return -1;
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
    show_copyright();
    g_empty_lobp = NULL;
    g_cur_table = -1;
    if (parse_arguments(argc, argv) < 0) return -1;
    g_imp.ofp = stdout;
    g_imp.fd = -1;
    g_imp.buf = NULL;
    int rc = run();
    if (rc != 0) roll_back_open_work();
    clean_up();
    return rc;
}
