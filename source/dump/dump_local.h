/*
 * dump_local.h - what the parts of tabdump share: the open file, the exit
 * statuses and the report of a fault found by the reader.
 */
#ifndef TAB_DUMP_LOCAL_H
#define TAB_DUMP_LOCAL_H

#include <stdio.h>

#include "dump_reader.h"

#define TABDUMP_OK 0
#define TABDUMP_DAMAGED 1
#define TABDUMP_ERROR 2      /* usage, or the file cannot be read */

extern const char *g_dump_file;
extern FILE *g_fault_out;  /* where report_fault writes a damage line */

/* Prints the reader's fault (a read error on stderr, damage on g_fault_out)
 * and returns the status it means. */
int report_fault(DUMP_READER *r);

/* The name of directory entry i, or "?" when it cannot be read. */
void table_name(DUMP_READER *r, uint32_t i, char name[DUMP_NAME_MAX + 1]);

/* A statement that tabimp would refuse, as a reader fault of table i
 * (-1: the deferred list); `where` is STMT_AT_... Returns 0 or -1. */
int check_statement(DUMP_READER *r, int where, int i, const char *table, const char *text,
                    uint32_t len);

/* Hands a GRANT, COMMENT, SYNONYM or SEQUENCE record to fn as the
 * statement tabimp writes for it, without the schema; fn's return, or
 * -1 when memory ran out. */
int record_as_statement(void *ctx, const DUMP_OBJ_RECORD *rec,
                        int (*fn)(void *ctx, const char *text, uint32_t len));

int list_dump(DUMP_READER *r);
int verify_dump(DUMP_READER *r);
int script_dump(DUMP_READER *r);
int json_dump(DUMP_READER *r);

#endif /* TAB_DUMP_LOCAL_H */
