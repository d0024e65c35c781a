/*
 * list_dump.h - tabdump's listing of a dump and its full verification
 * (list_dump.c); both return a TABDUMP_ status.
 */
#ifndef TAB_LIST_DUMP_H
#define TAB_LIST_DUMP_H

#include "dump_reader.h"

int list_dump(DUMP_READER *r);
int verify_dump(DUMP_READER *r);

#endif /* TAB_LIST_DUMP_H */
