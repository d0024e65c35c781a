/*
 * signal_after.c - runs a command and sends it a signal once a file has
 * grown to N bytes or holds N lines, so that tests can interrupt a program
 * at a chosen point of its work.
 *
 *   signal_after [-s INT|TERM|HUP|PIPE] (-b N | -l N) PATH -- COMMAND ARG...
 *
 * -b N: once PATH holds N bytes; a PATH that is a folder counts the bytes
 *       of all regular files in it (a program writing under a temporary
 *       name is caught too).
 * -l N: once PATH holds N line ends.
 * The command inherits the standard streams and the environment. The exit
 * status is the command's; 128 + the signal when a signal ended it; 199
 * when the command ended before the signal was sent; 198 on a usage error.
 */
#define _POSIX_C_SOURCE 200809L
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long bytes_at(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    if (!S_ISDIR(st.st_mode)) return (long long)st.st_size;
    long long total = 0;
    DIR *d = opendir(path);
    if (!d) return 0;
    struct dirent *e;
    char full[4096];
    while ((e = readdir(d)) != NULL) {
        if (snprintf(full, sizeof(full), "%s/%s", path, e->d_name) >= (int)sizeof(full)) continue;
        if (stat(full, &st) == 0 && S_ISREG(st.st_mode)) total += (long long)st.st_size;
    }
    closedir(d);
    return total;
}

static long long lines_at(const char *path)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0) return 0;
    long long n = 0;
    char buf[8192];
    ssize_t got;
    while ((got = read(fd, buf, sizeof(buf))) > 0)
        for (ssize_t i = 0; i < got; i++) n += buf[i] == '\n';
    close(fd);
    return n;
}

static int signal_number(const char *name)
{
    if (strncmp(name, "SIG", 3) == 0) name += 3;
    if (strcmp(name, "INT") == 0) return SIGINT;
    if (strcmp(name, "TERM") == 0) return SIGTERM;
    if (strcmp(name, "HUP") == 0) return SIGHUP;
    if (strcmp(name, "PIPE") == 0) return SIGPIPE;
    return 0;
}

static int usage(void)
{
    fprintf(stderr, "usage: signal_after [-s SIG] (-b N | -l N) PATH -- COMMAND ARG...\n");
    return 198;
}

int main(int argc, char **argv)
{
    int sig = SIGINT, by_lines = -1, i = 1;
    long long limit = 0;
    const char *path = NULL;

    for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if (strcmp(argv[i], "-s") == 0 && i + 1 < argc) {
            sig = signal_number(argv[++i]);
            if (sig == 0) return usage();
        } else if ((strcmp(argv[i], "-b") == 0 || strcmp(argv[i], "-l") == 0) && i + 2 < argc) {
            by_lines = argv[i][1] == 'l';
            limit = atoll(argv[i + 1]);
            path = argv[i + 2];
            i += 2;
        } else {
            return usage();
        }
    }
    if (by_lines < 0 || i + 1 >= argc) return usage();

    pid_t pid = fork();
    if (pid < 0) return 198;
    if (pid == 0) {
        execv(argv[i + 1], argv + i + 1);
        _exit(127);
    }
    int sent = 0, status = 0;
    const struct timespec pause = {0, 500000};  /* half a millisecond */
    for (;;) {
        pid_t w = waitpid(pid, &status, sent ? 0 : WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) return 198;
        if (!sent) {
            long long now = by_lines ? lines_at(path) : bytes_at(path);
            if (now >= limit) {
                kill(pid, sig);
                sent = 1;
                continue;
            }
            nanosleep(&pause, NULL);
        }
    }
    if (!sent) return 199;
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
