/*
 * dump_output.c - the dump file of an export under a temporary name beside
 * FILE, renamed over FILE when the run has succeeded and removed when it
 * has not, so that a failed run never leaves a damaged FILE.
 */
#define _GNU_SOURCE  /* realpath, O_CLOEXEC */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "util.h"

/* The name the finished dump takes: the file a symbolic link points to
 * when FILE is one (the link stays), else FILE itself. */
static void final_name(const char *path, char *out, size_t size)
{
    struct stat st;
    char real[PATH_MAX];
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode) && realpath(path, real) != NULL &&
        strlen(real) < size) {
        snprintf(out, size, "%s", real);
        return;
    }
    snprintf(out, size, "%s", path);
}

int open_dump_output(const char *path, DUMP_OUTPUT *out)
{
    struct stat st;
    out->tmp[0] = '\0';
    out->final[0] = '\0';
    /* A pipe or a device (/dev/null) cannot be replaced by a rename: it is
     * written directly. */
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) return open_private_file(path);

    final_name(path, out->final, sizeof(out->final));
    const char *slash = strrchr(out->final, '/');
    const char *base = slash ? slash + 1 : out->final;
    int dlen = slash ? (int)(slash - out->final) + 1 : 0;
    /* A hidden name beside the dump, in the same directory so that the
     * rename stays on one file system; a long name is cut to leave room
     * for the suffix within the limit of one path component. The file is
     * made with O_EXCL and mode 0600: never an existing file, never
     * readable by others. */
    unsigned long seed = (unsigned long)getpid() * 2654435761ul ^ (unsigned long)time(NULL);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
        seed = seed * 6364136223846793005ul + 1442695040888963407ul;
        int n = snprintf(out->tmp, sizeof(out->tmp), "%.*s.%.200s.tmp-%06lx", dlen, out->final,
                         base, (seed >> 20) & 0xFFFFFFul);
        if (n < 0 || (size_t)n >= sizeof(out->tmp)) {
            out->tmp[0] = '\0';
            errno = ENAMETOOLONG;
            return -1;
        }
        fd = open(out->tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        out->tmp[0] = '\0';
        return -1;
    }
    return fd;
}

int finish_dump_output(DUMP_OUTPUT *out)
{
    if (out->tmp[0] == '\0') return 0;
    if (rename(out->tmp, out->final) != 0) {
        int e = errno;
        unlink(out->tmp);
        out->tmp[0] = '\0';
        errno = e;
        return -1;
    }
    out->tmp[0] = '\0';
    /* The new name reaches the disk with its directory. */
    char dir[PATH_MAX];
    const char *slash = strrchr(out->final, '/');
    if (slash == out->final) {
        snprintf(dir, sizeof(dir), "/");
    } else if (slash) {
        snprintf(dir, sizeof(dir), "%.*s", (int)(slash - out->final), out->final);
    } else {
        snprintf(dir, sizeof(dir), ".");
    }
    int dfd = open(dir, O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        (void)fsync(dfd);
        close(dfd);
    }
    return 0;
}

void discard_dump_output(DUMP_OUTPUT *out)
{
    if (out->tmp[0] != '\0') unlink(out->tmp);
    out->tmp[0] = '\0';
}
