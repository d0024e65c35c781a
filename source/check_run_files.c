/*
 * check_run_files.c - refuses a FILE or LOG that names a file the run must
 * not write: the other one of the two, the database or one of its files, or
 * the dump being imported. Runs before anything is opened for writing.
 */
#define _GNU_SOURCE  /* realpath */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "util.h"

/* What a name stands for: the file's device and inode when it exists, and
 * its resolved path (the real path of its directory and its last part)
 * otherwise. */
typedef struct __file_id {
    int exists;
    int device;  /* a character device such as /dev/null: shared harmlessly */
    dev_t dev;
    ino_t ino;
    char path[PATH_MAX];
} FILE_ID;

/* The real path of the directory of `name` with the last part appended;
 * the name as given when the directory cannot be resolved (the open that
 * follows fails then anyway). */
static void resolve_path(const char *name, char *out, size_t size)
{
    char dir[PATH_MAX];
    char real[PATH_MAX];
    const char *slash = strrchr(name, '/');
    const char *base = slash ? slash + 1 : name;
    size_t dlen = slash ? (size_t)(slash - name) : 1;

    if (!slash) {
        dir[0] = '.';
    } else if (dlen == 0) {
        dir[0] = '/';
        dlen = 1;
    } else if (dlen >= sizeof(dir)) {
        snprintf(out, size, "%s", name);
        return;
    } else {
        memcpy(dir, name, dlen);
    }
    dir[dlen] = '\0';
    if (realpath(dir, real) == NULL ||
        snprintf(out, size, "%s%s%s", real, strcmp(real, "/") == 0 ? "" : "/", base) >= (int)size)
        snprintf(out, size, "%s", name);
}

static void identify(const char *name, FILE_ID *id)
{
    struct stat st;
    memset(id, 0, sizeof(*id));
    if (stat(name, &st) == 0) {
        id->exists = 1;
        id->device = S_ISCHR(st.st_mode);
        id->dev = st.st_dev;
        id->ino = st.st_ino;
    }
    resolve_path(name, id->path, sizeof(id->path));
}

static int same_file(const FILE_ID *a, const FILE_ID *b)
{
    if (a->exists && b->exists) return a->dev == b->dev && a->ino == b->ino;
    if (a->exists != b->exists) return 0;
    return strcmp(a->path, b->path) == 0;
}

/* Suffixes of the files that belong to a database besides the file itself:
 * SQLite's rollback journal, write-ahead log and its shared-memory index,
 * and the session registry of the embedded database. */
static const char *const g_db_companions[] = {"-journal", "-wal", "-shm", "-users"};

const char *run_database_path(const char *tnsname)
{
    if (tnsname && tnsname[0] != '\0') return tnsname;
    const char *two_task = getenv("TWO_TASK");
    if (two_task && two_task[0] != '\0') return two_task;
    return "tabdb.db";
}

/* Whether the connect identifier may name a file: it names one that
 * exists, or it looks like a path (a '/' or a name ending in ".db"). A
 * network service name of an Oracle server is neither and is not compared. */
static int names_a_file(const char *cid)
{
    struct stat st;
    size_t n = strlen(cid);
    if (stat(cid, &st) == 0) return 1;
    if (strchr(cid, '/')) return 1;
    return n > 3 && strcmp(cid + n - 3, ".db") == 0;
}

/* Refuses `name` (the value of keyword `what`) when it is the database file
 * or one of its companions. Returns 0 or -1 (message printed). */
static int check_database(const char *what, const char *name, const FILE_ID *id, const char *db)
{
    FILE_ID other;
    char path[PATH_MAX + 16];

    identify(db, &other);
    if (same_file(id, &other)) {
        fprintf(stderr, "%s \"%s\" is the database file \"%s\"; refused.\n", what, name, db);
        return -1;
    }
    for (size_t i = 0; i < sizeof(g_db_companions) / sizeof(g_db_companions[0]); i++) {
        if (snprintf(path, sizeof(path), "%s%s", db, g_db_companions[i]) >= (int)sizeof(path))
            continue;
        identify(path, &other);
        if (same_file(id, &other)) {
            fprintf(stderr, "%s \"%s\" is the file \"%s\" of the database; refused.\n", what,
                    name, path);
            return -1;
        }
    }
    return 0;
}

int check_run_files(const char *dump, int dump_is_input, const char *log, const char *tnsname)
{
    FILE_ID dump_id, log_id;
    const char *db = run_database_path(tnsname);
    int check_db = names_a_file(db);
    int has_log = log && log[0] != '\0';
    int rc = 0;

    identify(dump, &dump_id);
    if (has_log) {
        identify(log, &log_id);
        if (same_file(&dump_id, &log_id) && !log_id.device) {
            if (dump_is_input)
                fprintf(stderr, "LOG \"%s\" is the dump file being imported; refused.\n", log);
            else
                fprintf(stderr, "FILE \"%s\" and LOG \"%s\" are the same file; refused.\n", dump,
                        log);
            return -1;
        }
    }
    if (!check_db) return 0;
    /* The dump being imported is only read: the database file itself given
     * as FILE fails as a damaged dump, and harms nothing. */
    if (!dump_is_input && check_database("FILE", dump, &dump_id, db) != 0) rc = -1;
    if (has_log && check_database("LOG", log, &log_id, db) != 0) rc = -1;
    return rc;
}
