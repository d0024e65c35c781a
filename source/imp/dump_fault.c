/*
 * dump_fault.c - prints the shared reader's last fault in the messages
 * tabimp has always used for it: of the file as a whole, of a section's
 * front, of its rows.
 */
#include <string.h>

#include "imp_local.h"
#include "dump_fault.h"
#include "table_name.h"

int imp_dump_fault(const IMP_RUN *run, const DUMP_READER *r)
{
    const DUMP_FAULT *f = &r->fault;
    switch (f->code) {
    case DUMP_E_IO:
        fprintf(stderr, "Read %s: %s\n", run->dump_filename, strerror(f->err));
        break;
    case DUMP_E_SHORT:
        fprintf(stderr, "Read %s not completed.\n", run->dump_filename);
        break;
    case DUMP_E_MAGIC:
        fprintf(stderr, "File is not exported by these utilities.\n");
        break;
    case DUMP_E_HEAD:
        fprintf(stderr, "Header of %s is damaged.\n", run->dump_filename);
        break;
    case DUMP_E_COUNT:
        fprintf(stderr, "Table count %u in %s exceeds the file.\n", r->head.tab_cnt,
                run->dump_filename);
        break;
    default:
        if (f->table >= 0 && run->tables && f->table < run->ntab && f->code != DUMP_E_ENTRY)
            fprintf(stderr, "Table %s: damaged at offset %llu of %s: %s.\n",
                    TABLE_NAME(&run->tables[f->table]), (unsigned long long)f->ofs,
                    run->dump_filename, f->reason);
        else
            fprintf(stderr, "File %s is damaged at offset %llu: %s.\n", run->dump_filename,
                    (unsigned long long)f->ofs, f->reason);
        break;
    }
    return -1;
}

int imp_rows_fault(const IMP_RUN *run, const DUMP_READER *r)
{
    if (r->fault.code == DUMP_E_IO || r->fault.code == DUMP_E_SHORT) return imp_dump_fault(run, r);
    fprintf(stderr, "Row data not expected out of range.\n");
    return -1;
}

int imp_front_fault(const IMP_RUN *run, const DUMP_READER *r, const char *table)
{
    if (r->fault.code == DUMP_E_IO || r->fault.code == DUMP_E_SHORT) return imp_dump_fault(run, r);
    fprintf(stderr, "Table %s: %s.\n", table, r->fault.reason);
    return -1;
}
