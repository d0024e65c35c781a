/*
 * read_file.c - fills the worker's read window at the start of a table's
 * section: the reader loads the section's front (DDL text and column
 * block), checks it and stands at the rows. Later refills happen inside
 * the reader as the rows are taken.
 */
#include "imp_local.h"
#include "dump_fault.h"
#include "table_name.h"

int read_file(IMP_WORKER *w, IMP_TABLE *table, DUMP_FRONT *front)
{
    if (dump_rows_begin(w->dump, table->index, w->rows, front) < 0)
        return imp_front_fault(w->run, w->dump, TABLE_NAME(table));
    return 0;
}
