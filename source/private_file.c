/*
 * private_file.c - opens the files a run writes (the dump and the log) so
 * that only their owner may read them: they hold every row of a schema.
 */
#define _POSIX_C_SOURCE 200809L  /* fchmod, ftruncate, fdopen */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util.h"

int open_private_file(const char *path)
{
    struct stat st;
    int fd = open(path, O_WRONLY | O_CREAT, 0600);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0) goto fail;
    /* A pipe or a device (/dev/null) keeps its mode and is not emptied. */
    if (!S_ISREG(st.st_mode)) return fd;
    /* An existing file loses the rights of group and others before a byte
     * of the new content lands in it; when that is not allowed (a file of
     * another owner), the old content is left as it was. */
    if ((st.st_mode & 077) != 0 && fchmod(fd, st.st_mode & 0600) != 0) goto fail;
    if (st.st_size != 0 && ftruncate(fd, 0) != 0) goto fail;
    return fd;

fail:;
    int e = errno;
    close(fd);
    errno = e;
    return -1;
}

FILE *open_log_file(const char *path)
{
    int fd = open_private_file(path);
    if (fd < 0) return NULL;
    FILE *f = fdopen(fd, "w");
    if (!f) {
        close(fd);
        return NULL;
    }
    /* Each line reaches the file before the next is produced: the log of
     * a run that is killed holds every line it printed. */
    setvbuf(f, NULL, _IOLBF, 0);
    return f;
}
