/*
 * script_dump.h - tabdump --sql: the statements an import runs, as a script
 * for tabsql (script_dump.c); returns a TABDUMP_ status.
 */
#ifndef TAB_SCRIPT_DUMP_H
#define TAB_SCRIPT_DUMP_H

#include "dump_reader.h"

int script_dump(DUMP_READER *r);

#endif /* TAB_SCRIPT_DUMP_H */
