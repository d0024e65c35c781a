/*
 * json_dump.h - tabdump --json: the listing as JSON (json_dump.c); returns a
 * TABDUMP_ status.
 */
#ifndef TAB_JSON_DUMP_H
#define TAB_JSON_DUMP_H

#include "dump_reader.h"

int json_dump(DUMP_READER *r);

#endif /* TAB_JSON_DUMP_H */
