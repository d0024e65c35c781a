/*
 * read_head.c - opens the dump file's header through the shared reader:
 * every check of the header block and, when the file carries the checksum
 * extension, of the header, directory and trailer checksums, all before
 * anything is connected or created. Prints the reader's faults in tabimp's
 * messages.
 */
#define _POSIX_C_SOURCE 200809L

#include <string.h>

#include "imp_local.h"
#include "read_head.h"
#include "read_table_info.h"

DUMP_READER g_dump;

int imp_dump_fault(void)
{
    const DUMP_FAULT *f = &g_dump.fault;
    switch (f->code) {
    case DUMP_E_IO:
        fprintf(stderr, "Read %s: %s\n", g_imp.dump_filename, strerror(f->err));
        break;
    case DUMP_E_SHORT:
        fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        break;
    case DUMP_E_MAGIC:
        fprintf(stderr, "File is not exported by these utilities.\n");
        break;
    case DUMP_E_HEAD:
        fprintf(stderr, "Header of %s is damaged.\n", g_imp.dump_filename);
        break;
    case DUMP_E_COUNT:
        fprintf(stderr, "Table count %u in %s exceeds the file.\n", g_dump.head.tab_cnt,
                g_imp.dump_filename);
        break;
    default:
        if (f->table >= 0 && g_imp.tabp && f->table < g_imp.ntab && f->code != DUMP_E_ENTRY)
            fprintf(stderr, "Table %s: damaged at offset %llu of %s: %s.\n",
                    imp_table_name(f->table), (unsigned long long)f->ofs,
                    g_imp.dump_filename, f->reason);
        else
            fprintf(stderr, "File %s is damaged at offset %llu: %s.\n", g_imp.dump_filename,
                    (unsigned long long)f->ofs, f->reason);
        break;
    }
    return -1;
}

int read_dump_head(HEAD_INFO *hi)
{
    if (dump_open(&g_dump, g_imp.fd) != 0) return imp_dump_fault();
    g_file_size = g_dump.size;
    if (g_dump.has_ext && dump_check_directory(&g_dump) != 0) return imp_dump_fault();
    *hi = g_dump.head;
    return 0;
}
