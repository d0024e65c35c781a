/*
 * dump_fault.h - the statuses of tabdump and what its views share (dump_fault.c):
 * the open file's name, the report of a fault found by the reader, table
 * names, and the check of a statement against tabimp's allow-list.
 */
#ifndef TAB_DUMP_FAULT_H
#define TAB_DUMP_FAULT_H

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

#endif /* TAB_DUMP_FAULT_H */
