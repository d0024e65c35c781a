/*
 * record_text.h - the statement tabimp writes for a record of the dump's trailer
 * (record_text.c).
 */
#ifndef TAB_RECORD_TEXT_H
#define TAB_RECORD_TEXT_H

#include "dump_reader.h"

/* Hands a GRANT, COMMENT, SYNONYM or SEQUENCE record to fn as the
 * statement tabimp writes for it, without the schema; fn's return, or
 * -1 when memory ran out. */
int record_as_statement(void *ctx, const DUMP_OBJ_RECORD *rec,
                        int (*fn)(void *ctx, const char *text, uint32_t len));

#endif /* TAB_RECORD_TEXT_H */
