/*
 * tabdump.c - looks at a dump file without a database: lists it, verifies
 * every byte of it, or prints its statements as a script or as JSON.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "dump_fault.h"
#include "json_dump.h"
#include "list_dump.h"
#include "script_dump.h"

static const char usage_text[] =
    "Usage: %s [--verify | --sql | --json] FILE\n"
    "\n"
    "  (none)    header and one line per table\n"
    "  --verify  read every byte: structure and checksums\n"
    "  --sql     the statements an import runs, as a script for tabsql\n"
    "  --json    the listing as JSON\n"
    "\n"
    "Status: 0 sound, 1 damaged, 2 usage or read error.\n";

int main(int argc, char **argv)
{
    const char *prog = argc > 0 ? argv[0] : "tabdump";
    int mode = 0;
    int i = 1;
    if (argc == 3) {
        if (strcmp(argv[1], "--verify") == 0)
            mode = 'v';
        else if (strcmp(argv[1], "--sql") == 0)
            mode = 's';
        else if (strcmp(argv[1], "--json") == 0)
            mode = 'j';
        else
            i = argc;
        i = mode ? 2 : argc;
    }
    if (argc < 2 || i != argc - 1 || argv[i][0] == '-') {
        fprintf(stderr, usage_text, prog);
        return TABDUMP_ERROR;
    }
    g_dump_file = argv[i];
    /* --verify reports its verdict, sound or not, where it lists the tables */
    g_fault_out = mode == 'v' ? stdout : stderr;

    int fd = open(g_dump_file, O_RDONLY);
    if (fd < 0) {
        fprintf(stderr, "%s: %s\n", g_dump_file, strerror(errno));
        return TABDUMP_ERROR;
    }
    DUMP_READER r;
    int rc;
    if (dump_open(&r, fd) != 0 || dump_check_directory(&r) != 0)
        rc = report_fault(&r);
    else if (mode == 'v')
        rc = verify_dump(&r);
    else if (mode == 's')
        rc = script_dump(&r);
    else if (mode == 'j')
        rc = json_dump(&r);
    else
        rc = list_dump(&r);
    dump_close(&r);
    close(fd);
    if (fflush(stdout) != 0 && rc == TABDUMP_OK) {
        fprintf(stderr, "%s: %s\n", prog, strerror(errno));
        rc = TABDUMP_ERROR;
    }
    return rc;
}
