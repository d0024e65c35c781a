/*
 * export.c - tabexp's command line and driver: reads the arguments,
 * allocates the working block, connects, writes the dump file table by
 * table and releases everything on every way out.
 */
#define _POSIX_C_SOURCE 200809L  /* pwrite, strnlen, open */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "exp_local.h"

EXP g_exp;
OCI_ENV g_env;
CONN_ARGS g_args;

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
    "\n"
    "If OWNER is case sensitive, use quotation marks. Suppose one USER\n"
    "named Andy, the input maybe as OWNER='\"Andy\"' or OWNER=\"\\\"Andy\\\"\"\n"
    "\n";

void show_usage(const char *prog_name)
{
    fprintf(stderr, usage_text, prog_name ? prog_name : "tabexp");
}

/* Whether arg starts with the keyword in capitals or in small letters. */
static int keyword(const char *arg, const char *upper, const char *lower)
{
    size_t n = strlen(upper);
    return strncmp(arg, upper, n) == 0 || strncmp(arg, lower, n) == 0;
}

/* The value of FILE, LOG or OWNER: the one character after the keyword is
 * skipped unseen, unless the argument ends there. */
static const char *keyword_value(const char *arg, size_t klen)
{
    return arg[klen] == '\0' ? arg + klen : arg + klen + 1;
}

/* Copies at most max characters of src into dst (max + 1 bytes). */
static void copy_cut(char *dst, const char *src, size_t max)
{
    size_t n = strlen(src);
    if (n > max) n = max;
    memcpy(dst, src, n);
    dst[n] = '\0';
}

/* Splits user/password[@tns]. Returns 0, or -1 with the message printed. */
static int split_userid(const char *v)
{
    const char *slash = strchr(v, '/');
    if (!slash) {
        fprintf(stderr, "USERID parameter format error.\n");
        return -1;
    }
    size_t ulen = (size_t)(slash - v);
    if (ulen > 31) {
        fprintf(stderr, "Argument \"username\" too long.\n");
        return -1;
    }
    memcpy(g_args.username, v, ulen);
    g_args.username[ulen] = '\0';

    const char *pw = slash + 1;
    const char *at = strchr(pw, '@');
    if (at) {
        size_t plen = (size_t)(at - pw);
        if (plen > 31) {
            fprintf(stderr, "Argument \"password\" too long.\n");
            return -1;
        }
        memcpy(g_args.password, pw, plen);
        g_args.password[plen] = '\0';
        copy_cut(g_args.tnsname, at + 1, sizeof(g_args.tnsname) - 1);
    } else {
        copy_cut(g_args.password, pw, sizeof(g_args.password) - 1);
    }
    return 0;
}

/* OWNER: a name in double quotes keeps its case; otherwise a-z become
 * capitals. Returns 0, or -1 with the message printed. */
static int set_owner(const char *v)
{
    char *dst = g_exp.owner_name;
    size_t n;

    if (v[0] == '"') {
        for (n = 0; n < 32; n++) {
            char ch = v[1 + n];
            if (ch == '"') break;
            if (ch == '\0' || n == 31) {
                fprintf(stderr, "Owner argument too large.\n");
                return -1;
            }
        }
        memcpy(dst, v + 1, n);
        dst[n] = '\0';
        return 0;
    }
    n = strlen(v);
    if (n > 31) {
        fprintf(stderr, "Owner argument too large.\n");
        return -1;
    }
    for (size_t i = 0; i < n; i++) dst[i] = (v[i] >= 'a' && v[i] <= 'z') ? (char)(v[i] - 32) : v[i];
    dst[n] = '\0';
    return 0;
}

static int parse_failed(const char *prog)
{
    show_usage(prog);
    return -1;
}

int parse_arguments(int argc, char **argv)
{
    const char *prog = (argc > 0 && argv && argv[0]) ? argv[0] : "tabexp";
    const char *v;

    memset(&g_args, 0, sizeof(g_args));
    memset(&g_exp, 0, sizeof(g_exp));

    if (argc < 2 || argv[1] == NULL) return parse_failed(prog);

    const char *first = argv[1];
    if (keyword(first, "HELP=Y", "help=y")) return parse_failed(prog);
    if (keyword(first, "USERID", "userid")) {
        const char *eq = strchr(first, '=');
        if (!eq) {
            fprintf(stderr, "USERID parameter format error.\n");
            return parse_failed(prog);
        }
        v = eq + 1;
    } else {
        v = first;
    }
    if (split_userid(v) != 0) return parse_failed(prog);

    for (int i = 2; i < argc; i++) {
        const char *a = argv[i];
        if (a == NULL) continue;
        if (keyword(a, "HELP=Y", "help=y")) {
            return parse_failed(prog);
        } else if (keyword(a, "FILE", "file")) {
            copy_cut(g_exp.dump_filename, keyword_value(a, 4), sizeof(g_exp.dump_filename) - 1);
        } else if (keyword(a, "LOG", "log")) {
            copy_cut(g_exp.log_filename, keyword_value(a, 3), sizeof(g_exp.log_filename) - 1);
        } else if (keyword(a, "OWNER", "owner")) {
            if (set_owner(keyword_value(a, 5)) != 0) return parse_failed(prog);
        } else if (keyword(a, "STORAGE=Y", "storage=y")) {
            g_exp.flag |= EXP_STORAGE;
        } else {
            fprintf(stderr, "Invalid parameter \"%s\" specified.\n", a);
            return parse_failed(prog);
        }
    }

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

/* Releases what the run acquired, in the same order on every way out. */
static void release(void)
{
    if (g_exp.ofp && g_exp.ofp != stdout) fclose(g_exp.ofp);
    g_exp.ofp = stdout;
    disconnect_oracle();
    if (g_exp.fd != -1) close(g_exp.fd);
    g_exp.fd = -1;
    free(g_exp.buf);
    g_exp.buf = NULL;
    free(g_exp.tabp);
    g_exp.tabp = NULL;
}

int main(int argc, char **argv)
{
    show_copyright();
    if (parse_arguments(argc, argv) != 0) return -1;
    if (getenv("NLS_LANG") == NULL) {
        fprintf(stderr, "Set env \"NLS_LANG\" first.\n");
        return -1;
    }

    g_exp.ofp = stdout;
    g_exp.fd = -1;
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

    if (connect_oracle(g_args.username, g_args.password, g_args.tnsname) != 0) {
        fprintf(stderr, "Connect to oracle:\n%s\n", get_ora_message());
        goto fail;
    }
    if (export_table_information() != 0) {
        fprintf(stderr, "Export table information error.\n");
        goto fail;
    }

    /* Only now, with the table list read, is the dump file created. */
    g_exp.fd = open(g_exp.dump_filename, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (g_exp.fd < 0) {
        fprintf(stderr, "Open %s: %s\n", g_exp.dump_filename, strerror(errno));
        g_exp.fd = -1;
        goto fail;
    }
    if (g_exp.log_filename[0] != '\0') {
        FILE *f = fopen(g_exp.log_filename, "w");
        if (f)
            g_exp.ofp = f;
        else
            fprintf(stderr, "Open LOG file error, output to screen.\n");
    }

    if (write_dump_head() != 0) {
        fprintf(stderr, "Write dump file head error.\n");
        goto fail;
    }
    for (int ti = 0; ti < g_exp.ntab; ti++)
        if (export_table(ti) != 0) goto fail;
    if (write_dump_trailer() != 0) {
        fprintf(stderr, "Write dump file trailer error.\n");
        goto fail;
    }
    if (write_table_information() != 0) {
        fprintf(stderr, "Write table information to file error.\n");
        goto fail;
    }
    if (sync_dump() != 0) goto fail;

    fprintf(stderr, "\nExport terminated successfully.\n\n");
    release();
    return 0;

fail:
    release();
    return -1;
}
