/*
 * faultfs.c - an LD_PRELOAD library that injects file-system faults into the
 * reads and writes of one chosen file, driven by environment variables.
 *
 * Only descriptors opened on a path that ends with FAULTFS_FILE (or on the
 * temporary name tabexp writes that file under) are touched;
 * every other file of the process (the database, the log) is left alone.
 * Counts and offsets refer to that file's calls and bytes only.
 *
 *   FAULTFS_FILE=path           the file to disturb (matched as a path suffix)
 *   FAULTFS_WRITE_ERRNO=ENOSPC  errno of the injected write failures (EIO, ...)
 *   FAULTFS_WRITE_AT_CALL=N     the Nth write call and every later one fail
 *   FAULTFS_WRITE_AT_OFFSET=X   writes reach up to byte X; past it they fail
 *   FAULTFS_READ_ERRNO=EIO      errno of the injected read failures
 *   FAULTFS_READ_AT_CALL=N      the Nth read call and every later one fail
 *   FAULTFS_READ_AT_OFFSET=X    reads deliver bytes up to X; past it they fail
 *   FAULTFS_READ_EOF_AT=X       the file seems to end at byte X
 *   FAULTFS_SHORT=K             no call moves more than K bytes
 *   FAULTFS_EINTR=1             every transfer first fails once with EINTR
 *   FAULTFS_FSYNC_ERRNO=EIO     fsync and fdatasync fail (a write error the
 *                               system reports late)
 *   FAULTFS_CLOSE_ERRNO=EDQUOT  close closes, then fails (as on network file
 *                               systems that write back at close)
 *   FAULTFS_KILL_AT_OFFSET=X    the process kills itself (SIGKILL) when a read
 *                               or write is about to touch byte X or later
 *   FAULTFS_LOG=path            one line per call: "op offset count result"
 *
 * The write calls are write, pwrite, pwrite64; the read calls read, pread,
 * pread64. A write at "offset" X means a transfer whose bytes include X.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#define MAX_FDS 4096

typedef ssize_t (*read_fn)(int, void *, size_t);
typedef ssize_t (*write_fn)(int, const void *, size_t);
typedef ssize_t (*pread_fn)(int, void *, size_t, off_t);
typedef ssize_t (*pwrite_fn)(int, const void *, size_t, off_t);
typedef int (*open_fn)(const char *, int, ...);
typedef int (*openat_fn)(int, const char *, int, ...);
typedef int (*close_fn)(int);
typedef int (*fsync_fn)(int);

static struct {
    int ready;
    const char *file;
    int write_errno, read_errno;
    long long write_at_call, read_at_call;
    long long write_at_offset, read_at_offset, read_eof_at, kill_at_offset;
    long long short_max;
    int eintr;
    int log_fd;
    int fsync_errno, close_errno;
} cfg = {0, NULL, 0, 0, -1, -1, -1, -1, -1, -1, -1, 0, -1, 0, 0};

static unsigned char g_tracked[MAX_FDS];
static long long g_write_calls, g_read_calls;
static int g_eintr_due[MAX_FDS];

static read_fn real_read;
static write_fn real_write;
static pread_fn real_pread, real_pread64;
static pwrite_fn real_pwrite, real_pwrite64;
static open_fn real_open, real_open64;
static openat_fn real_openat, real_openat64;
static close_fn real_close;
static fsync_fn real_fsync, real_fdatasync;

static long long env_num(const char *name)
{
    const char *v = getenv(name);
    return (v && *v) ? atoll(v) : -1;
}

static int env_errno(const char *name)
{
    const char *v = getenv(name);
    if (!v || !*v) return EIO;
    if (strcmp(v, "ENOSPC") == 0) return ENOSPC;
    if (strcmp(v, "EIO") == 0) return EIO;
    if (strcmp(v, "EDQUOT") == 0) return EDQUOT;
    if (strcmp(v, "EFBIG") == 0) return EFBIG;
    if (strcmp(v, "EBADF") == 0) return EBADF;
    return atoi(v) > 0 ? atoi(v) : EIO;
}

static void *next_symbol(const char *name)
{
    return dlsym(RTLD_NEXT, name);
}

static void init(void)
{
    if (cfg.ready) return;
    real_read = (read_fn)next_symbol("read");
    real_write = (write_fn)next_symbol("write");
    real_pread = (pread_fn)next_symbol("pread");
    real_pread64 = (pread_fn)next_symbol("pread64");
    real_pwrite = (pwrite_fn)next_symbol("pwrite");
    real_pwrite64 = (pwrite_fn)next_symbol("pwrite64");
    real_open = (open_fn)next_symbol("open");
    real_open64 = (open_fn)next_symbol("open64");
    real_openat = (openat_fn)next_symbol("openat");
    real_openat64 = (openat_fn)next_symbol("openat64");
    real_close = (close_fn)next_symbol("close");
    real_fsync = (fsync_fn)next_symbol("fsync");
    real_fdatasync = (fsync_fn)next_symbol("fdatasync");

    cfg.file = getenv("FAULTFS_FILE");
    if (cfg.file && !*cfg.file) cfg.file = NULL;
    cfg.write_errno = env_errno("FAULTFS_WRITE_ERRNO");
    cfg.read_errno = env_errno("FAULTFS_READ_ERRNO");
    cfg.write_at_call = env_num("FAULTFS_WRITE_AT_CALL");
    cfg.read_at_call = env_num("FAULTFS_READ_AT_CALL");
    cfg.write_at_offset = env_num("FAULTFS_WRITE_AT_OFFSET");
    cfg.read_at_offset = env_num("FAULTFS_READ_AT_OFFSET");
    cfg.read_eof_at = env_num("FAULTFS_READ_EOF_AT");
    cfg.kill_at_offset = env_num("FAULTFS_KILL_AT_OFFSET");
    cfg.short_max = env_num("FAULTFS_SHORT");
    cfg.eintr = env_num("FAULTFS_EINTR") > 0;
    cfg.fsync_errno = getenv("FAULTFS_FSYNC_ERRNO") ? env_errno("FAULTFS_FSYNC_ERRNO") : 0;
    cfg.close_errno = getenv("FAULTFS_CLOSE_ERRNO") ? env_errno("FAULTFS_CLOSE_ERRNO") : 0;
    const char *log = getenv("FAULTFS_LOG");
    cfg.log_fd = -1;
    cfg.ready = 1;
    if (log && *log && real_open) cfg.log_fd = real_open(log, O_WRONLY | O_CREAT | O_APPEND, 0600);
}

/* Whether path ends with s[0..m). */
static int ends_with(const char *path, size_t n, const char *s, size_t m)
{
    return n >= m && memcmp(path + n - m, s, m) == 0;
}

/* The file itself, or the temporary file tabexp writes it under:
 * ".<name>.tmp-XXXXXX" in the same folder. */
static int path_matches(const char *path)
{
    if (!cfg.file || !path) return 0;
    size_t n = strlen(path), m = strlen(cfg.file);
    if (ends_with(path, n, cfg.file, m)) return 1;
    const char *slash = strrchr(cfg.file, '/');
    size_t dlen = slash ? (size_t)(slash - cfg.file) + 1 : 0;
    char tmp[4200];
    int k = snprintf(tmp, sizeof(tmp), "%.*s.%.200s.tmp-", (int)dlen, cfg.file, cfg.file + dlen);
    if (k < 0 || (size_t)k >= sizeof(tmp) || n < 6) return 0;
    return ends_with(path, n - 6, tmp, (size_t)k);
}

static void track(int fd, const char *path)
{
    if (fd >= 0 && fd < MAX_FDS) {
        g_tracked[fd] = (unsigned char)path_matches(path);
        g_eintr_due[fd] = 0;
    }
}

static int tracked(int fd)
{
    return fd >= 0 && fd < MAX_FDS && g_tracked[fd];
}

static void log_call(const char *op, long long ofs, size_t count, long long result, int err)
{
    if (cfg.log_fd < 0) return;
    char line[160];
    int n = snprintf(line, sizeof line, "%s %lld %zu %lld %d\n", op, ofs, count, result,
                     result < 0 ? err : 0);
    if (n > 0) real_write(cfg.log_fd, line, (size_t)n);
}

/* The plan for one transfer of `count` bytes at `ofs` on a tracked fd:
 * returns -1 with errno set when the call must fail, otherwise the number
 * of bytes that may move (possibly fewer than asked: a partial transfer). */
static long long plan(int fd, int is_write, long long ofs, size_t count)
{
    long long allowed = (long long)count;
    long long calls = is_write ? ++g_write_calls : ++g_read_calls;
    long long at_call = is_write ? cfg.write_at_call : cfg.read_at_call;
    long long at_ofs = is_write ? cfg.write_at_offset : cfg.read_at_offset;
    int err = is_write ? cfg.write_errno : cfg.read_errno;

    if (cfg.kill_at_offset >= 0 && count > 0 && ofs + (long long)count > cfg.kill_at_offset)
        raise(SIGKILL);
    if (cfg.eintr && count > 0) {
        g_eintr_due[fd] = !g_eintr_due[fd];
        if (g_eintr_due[fd]) {
            errno = EINTR;
            return -1;
        }
    }
    if (at_call > 0 && calls >= at_call) {
        errno = err;
        return -1;
    }
    if (at_ofs >= 0 && count > 0) {
        if (ofs >= at_ofs) {
            errno = err;
            return -1;
        }
        if (ofs + allowed > at_ofs) allowed = at_ofs - ofs;
    }
    if (!is_write && cfg.read_eof_at >= 0) {
        if (ofs >= cfg.read_eof_at) return 0;
        if (ofs + allowed > cfg.read_eof_at) allowed = cfg.read_eof_at - ofs;
    }
    if (cfg.short_max > 0 && allowed > cfg.short_max) allowed = cfg.short_max;
    return allowed;
}

static long long position(int fd)
{
    off_t p = lseek(fd, 0, SEEK_CUR);
    return p < 0 ? 0 : (long long)p;
}

/* ---- open and close --------------------------------------------------- */

static mode_t open_mode(int flags, va_list ap)
{
    if (flags & (O_CREAT | O_TMPFILE)) return (mode_t)va_arg(ap, int);
    return 0;
}

int open(const char *path, int flags, ...)
{
    va_list ap;
    init();
    va_start(ap, flags);
    mode_t mode = open_mode(flags, ap);
    va_end(ap);
    int fd = real_open(path, flags, mode);
    track(fd, path);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    va_list ap;
    init();
    va_start(ap, flags);
    mode_t mode = open_mode(flags, ap);
    va_end(ap);
    int fd = (real_open64 ? real_open64 : real_open)(path, flags, mode);
    track(fd, path);
    return fd;
}

int openat(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    init();
    va_start(ap, flags);
    mode_t mode = open_mode(flags, ap);
    va_end(ap);
    int fd = real_openat(dirfd, path, flags, mode);
    track(fd, path);
    return fd;
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    init();
    va_start(ap, flags);
    mode_t mode = open_mode(flags, ap);
    va_end(ap);
    int fd = (real_openat64 ? real_openat64 : real_openat)(dirfd, path, flags, mode);
    track(fd, path);
    return fd;
}

int close(int fd)
{
    init();
    int was_tracked = tracked(fd);
    if (fd >= 0 && fd < MAX_FDS) g_tracked[fd] = 0;
    int r = real_close(fd);
    if (r == 0 && was_tracked && cfg.close_errno) {
        log_call("close", 0, 0, -1, cfg.close_errno);
        errno = cfg.close_errno;
        return -1;
    }
    return r;
}

int fsync(int fd)
{
    init();
    if (tracked(fd) && cfg.fsync_errno) {
        log_call("fsync", 0, 0, -1, cfg.fsync_errno);
        errno = cfg.fsync_errno;
        return -1;
    }
    return real_fsync(fd);
}

int fdatasync(int fd)
{
    init();
    if (tracked(fd) && cfg.fsync_errno) {
        errno = cfg.fsync_errno;
        return -1;
    }
    return real_fdatasync(fd);
}

/* ---- transfers -------------------------------------------------------- */

static ssize_t do_write(const char *op, pwrite_fn positional, int fd, const void *buf,
                        size_t count, off_t ofs, int has_ofs)
{
    long long at = has_ofs ? (long long)ofs : position(fd);
    long long allowed = plan(fd, 1, at, count);
    ssize_t r;
    if (allowed < 0) {
        int e = errno;
        log_call(op, at, count, -1, e);
        errno = e;
        return -1;
    }
    r = has_ofs ? positional(fd, buf, (size_t)allowed, ofs) : real_write(fd, buf, (size_t)allowed);
    int e = errno;
    log_call(op, at, count, r, e);
    errno = e;
    return r;
}

static ssize_t do_read(const char *op, pread_fn positional, int fd, void *buf, size_t count,
                       off_t ofs, int has_ofs)
{
    long long at = has_ofs ? (long long)ofs : position(fd);
    long long allowed = plan(fd, 0, at, count);
    ssize_t r;
    if (allowed < 0) {
        int e = errno;
        log_call(op, at, count, -1, e);
        errno = e;
        return -1;
    }
    if (allowed == 0 && count > 0) {
        log_call(op, at, count, 0, 0);
        return 0;
    }
    r = has_ofs ? positional(fd, buf, (size_t)allowed, ofs) : real_read(fd, buf, (size_t)allowed);
    int e = errno;
    log_call(op, at, count, r, e);
    errno = e;
    return r;
}

ssize_t write(int fd, const void *buf, size_t count)
{
    init();
    if (!tracked(fd)) return real_write(fd, buf, count);
    return do_write("write", NULL, fd, buf, count, 0, 0);
}

ssize_t pwrite(int fd, const void *buf, size_t count, off_t ofs)
{
    init();
    if (!tracked(fd)) return real_pwrite(fd, buf, count, ofs);
    return do_write("pwrite", real_pwrite, fd, buf, count, ofs, 1);
}

ssize_t pwrite64(int fd, const void *buf, size_t count, off_t ofs)
{
    init();
    pwrite_fn f = real_pwrite64 ? real_pwrite64 : real_pwrite;
    if (!tracked(fd)) return f(fd, buf, count, ofs);
    return do_write("pwrite", f, fd, buf, count, ofs, 1);
}

ssize_t read(int fd, void *buf, size_t count)
{
    init();
    if (!tracked(fd)) return real_read(fd, buf, count);
    return do_read("read", NULL, fd, buf, count, 0, 0);
}

ssize_t pread(int fd, void *buf, size_t count, off_t ofs)
{
    init();
    if (!tracked(fd)) return real_pread(fd, buf, count, ofs);
    return do_read("pread", real_pread, fd, buf, count, ofs, 1);
}

ssize_t pread64(int fd, void *buf, size_t count, off_t ofs)
{
    init();
    pread_fn f = real_pread64 ? real_pread64 : real_pread;
    if (!tracked(fd)) return f(fd, buf, count, ofs);
    return do_read("pread", f, fd, buf, count, ofs, 1);
}
