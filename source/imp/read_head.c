/*
 * read_head.c - opens the dump file's header through the shared reader:
 * every check of the header block and, when the file carries the checksum
 * extension, of the header, directory and trailer checksums, all before
 * anything is connected or created.
 */
#define _POSIX_C_SOURCE 200809L

#include "imp_local.h"
#include "dump_fault.h"

int read_dump_head(IMP_RUN *run, HEAD_INFO *hi)
{
    DUMP_READER *r = run->dump;
    if (dump_open(r, run->fd) != 0) return imp_dump_fault(run, r);
    run->file_size = r->size;
    if (r->has_ext && dump_check_directory(r) != 0) return imp_dump_fault(run, r);
    *hi = r->head;
    return 0;
}
