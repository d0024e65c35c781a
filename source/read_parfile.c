/*
 * read_parfile.c - replaces every PARFILE=file argument by the KEYWORD=value
 * lines of its file, so that both programs parse one flat argument list.
 */
#define _POSIX_C_SOURCE 200809L  /* getline */
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "args.h"

int arg_keyword(const char *arg, const char *upper, const char *lower)
{
    size_t n = strlen(upper);
    return strncmp(arg, upper, n) == 0 || strncmp(arg, lower, n) == 0;
}

static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

/* Appends the usable lines of path to text (*len bytes used of *cap), each
 * NUL-terminated, and counts them in *nlines. Returns 0 or -1. */
static int load_file(const char *path, char **text, size_t *len, size_t *cap, int *nlines)
{
    FILE *f = fopen(path, "r");
    if (!f) {
        fprintf(stderr, "Open PARFILE %s: %s\n", path, strerror(errno));
        return -1;
    }
    struct stat st;
    int shared = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0;
    int password = 0;
    char *line = NULL;
    size_t lcap = 0;
    ssize_t got;
    int lineno = 0, rc = 0;
    errno = 0;
    while ((got = getline(&line, &lcap, f)) >= 0) {
        lineno++;
        if (strlen(line) != (size_t)got) {
            fprintf(stderr, "PARFILE %s: line %d holds a NUL byte.\n", path, lineno);
            rc = -1;
            break;
        }
        if (got > PARFILE_LINE_MAX) {
            fprintf(stderr, "PARFILE %s: line %d is longer than %d bytes.\n", path, lineno,
                    PARFILE_LINE_MAX);
            rc = -1;
            break;
        }
        char *s = line, *e = line + got;
        while (s < e && is_blank(*s)) s++;
        while (e > s && is_blank(e[-1])) e--;
        if (s == e || *s == '#') continue;
        *e = '\0';
        if (arg_keyword(s, "PARFILE", "parfile")) {
            fprintf(stderr, "PARFILE %s: line %d: a parameter file cannot name another.\n", path,
                    lineno);
            rc = -1;
            break;
        }
        if (arg_keyword(s, "USERID=", "userid=")) {
            const char *slash = strchr(s, '/'), *at = strchr(s, '@');
            if (slash && !(at && at < slash) && slash[1] != '\0' && slash[1] != '@') password = 1;
        }
        size_t need = (size_t)(e - s) + 1;
        if (*len + need > *cap) {
            size_t ncap = (*cap ? *cap * 2 : 4096) + need;
            char *p = realloc(*text, ncap);
            if (!p) {
                fprintf(stderr, "PARFILE %s: out of memory.\n", path);
                rc = -1;
                break;
            }
            *text = p;
            *cap = ncap;
        }
        memcpy(*text + *len, s, need);
        *len += need;
        (*nlines)++;
        errno = 0;
    }
    if (rc == 0 && ferror(f)) {
        fprintf(stderr, "Read PARFILE %s: %s\n", path, strerror(errno ? errno : EIO));
        rc = -1;
    }
    if (rc == 0 && password && shared)
        fprintf(stderr, "Warning: PARFILE %s holds a password and other users may read it (mode %03o).\n",
                path, (unsigned)(st.st_mode & 0777));
    free(line);
    fclose(f);
    return rc;
}

void free_arg_list(ARG_LIST *list)
{
    free(list->argv);
    free(list->from_file);
    free(list->text);
    memset(list, 0, sizeof(*list));
}

int read_parfiles(int argc, char **argv, ARG_LIST *list)
{
    char *text = NULL;
    size_t len = 0, cap = 0;
    int nlines = 0;

    memset(list, 0, sizeof(*list));
    /* First pass: read every file into one text, remembering how many
     * lines each contributes (files are few; the counts go in order). */
    int nfiles = 0;
    for (int i = 1; i < argc && argv[i]; i++)
        if (arg_keyword(argv[i], "PARFILE=", "parfile=")) nfiles++;
    int *counts = calloc((size_t)nfiles + 1, sizeof(int));
    if (!counts) {
        fprintf(stderr, "PARFILE: out of memory.\n");
        return -1;
    }
    for (int i = 1, k = 0; i < argc && argv[i]; i++) {
        if (!arg_keyword(argv[i], "PARFILE=", "parfile=")) continue;
        int before = nlines;
        if (load_file(argv[i] + 8, &text, &len, &cap, &nlines) < 0) {
            free(counts);
            free(text);
            return -1;
        }
        counts[k++] = nlines - before;
    }

    int total = 1 + nlines;
    for (int i = 1; i < argc && argv[i]; i++)
        if (!arg_keyword(argv[i], "PARFILE=", "parfile=")) total++;
    list->argv = calloc((size_t)total + 1, sizeof(char *));
    list->from_file = calloc((size_t)total + 1, 1);
    if (!list->argv || !list->from_file) {
        fprintf(stderr, "PARFILE: out of memory.\n");
        free(counts);
        free(text);
        free_arg_list(list);
        return -1;
    }
    list->text = text;
    list->argv[0] = (argc > 0 && argv[0]) ? argv[0] : NULL;
    int n = 1;
    const char *next = text;
    for (int i = 1, k = 0; i < argc && argv[i]; i++) {
        if (!arg_keyword(argv[i], "PARFILE=", "parfile=")) {
            list->argv[n++] = argv[i];
            continue;
        }
        for (int j = 0; j < counts[k]; j++) {
            list->from_file[n] = 1;
            list->argv[n++] = (char *)next;
            next += strlen(next) + 1;
        }
        k++;
    }
    list->argc = n;
    free(counts);
    return 0;
}
