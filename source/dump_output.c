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
#include <sys/random.h>
#include <sys/stat.h>
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

/* The kernel's rule for symbolic links in a folder that everybody may
 * write and that has the sticky bit (/tmp): such a link is followed only
 * when it belongs to the user who follows it or to the folder's owner
 * (fs.protected_symlinks), so that nobody can point a name in a shared
 * folder at another user's file. The program resolves FILE itself to
 * rename over its target, so it applies the rule itself: to every link on
 * the way to path and on the way to each link's target. 0 when every link
 * may be followed, else -1 with the refused link in bad. */
static int link_refused(const char *path, char *bad, size_t size, int depth)
{
    char prefix[PATH_MAX];
    size_t n = 0;
    const char *p = path;
    if (*p == '/') prefix[n++] = '/';
    prefix[n] = '\0';
    while (*p) {
        while (*p == '/') p++;
        if (*p == '\0') break;
        const char *e = strchr(p, '/');
        size_t len = e ? (size_t)(e - p) : strlen(p);
        size_t at = n; /* where the component starts */
        if (n > 0 && prefix[n - 1] != '/') prefix[n++] = '/';
        if (n + len >= sizeof(prefix)) return 0; /* too long to open anyway */
        memcpy(prefix + n, p, len);
        n += len;
        prefix[n] = '\0';
        p += len;
        struct stat ls, ds;
        if (lstat(prefix, &ls) != 0) return 0; /* nothing further exists */
        if (!S_ISLNK(ls.st_mode)) continue;
        char parent[PATH_MAX];
        if (at == 0)
            snprintf(parent, sizeof(parent), "%s", prefix[0] == '/' ? "/" : ".");
        else
            snprintf(parent, sizeof(parent), "%.*s", (int)at, prefix);
        if (stat(parent, &ds) == 0 && (ds.st_mode & S_ISVTX) && (ds.st_mode & S_IWOTH) &&
            ls.st_uid != geteuid() && ls.st_uid != ds.st_uid) {
            snprintf(bad, size, "%s", prefix);
            return -1;
        }
        /* past the kernel's own limit of links the open fails anyway */
        if (depth >= 40) return 0;
        char target[PATH_MAX];
        ssize_t t = readlink(prefix, target, sizeof(target) - 1);
        if (t < 0) return 0;
        target[t] = '\0';
        char next[2 * PATH_MAX];
        snprintf(next, sizeof(next), "%s%s%s", target[0] == '/' ? "" : parent,
                 target[0] == '/' ? "" : "/", target);
        if (link_refused(next, bad, size, depth + 1) != 0) return -1;
    }
    return 0;
}

/* Six letters and digits from the system's random source, as mkstemp
 * takes them, so that nobody can plant the names an export will try.
 * 0, or -1 with errno set when there is no random source. */
static int random_suffix(char *at)
{
    static const char set[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    size_t got = 0;
    while (got < sizeof(bytes)) {
        ssize_t r = getrandom(bytes + got, sizeof(bytes) - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        got += (size_t)r;
    }
    for (size_t i = 0; i < sizeof(bytes); i++) at[i] = set[bytes[i] % (sizeof(set) - 1)];
    return 0;
}

int open_dump_output(const char *path, DUMP_OUTPUT *out)
{
    struct stat st;
    out->tmp[0] = '\0';
    out->final[0] = '\0';
    out->refused_link[0] = '\0';
    if (link_refused(path, out->refused_link, sizeof(out->refused_link), 0) != 0) {
        errno = EACCES;
        return -1;
    }
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
    int n = snprintf(out->tmp, sizeof(out->tmp), "%.*s.%.200s.tmp-XXXXXX", dlen, out->final, base);
    if (n < 0 || (size_t)n >= sizeof(out->tmp)) {
        out->tmp[0] = '\0';
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
        if (random_suffix(out->tmp + n - 6) != 0) break;
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
