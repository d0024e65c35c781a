/*
 * table_meta.h - the dictionary rows and DDL texts of a table section read
 * for a batch of tables at once (table_meta.c), kept with each table until
 * its section is written.
 */
#ifndef TAB_TABLE_META_H
#define TAB_TABLE_META_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Tables read by one batch: the statements stay well below the server's
 * limits (1 000 items in an IN list) and the texts in a few megabytes. */
#define META_BATCH 64
/* Width of a DDL text read in a batch, its NUL included; a longer one is
 * read alone, as before. */
#define META_TEXT_WIDTH 16384u

/* EXP_TABLE.meta_state */
enum { TABLE_META_NONE, TABLE_META_READING, TABLE_META_READY };

/* NUL-terminated strings one after the other; `ok` once the piece's query
 * ran through for the table (else the per-table query reads it). */
typedef struct __meta_list {
    char *buf;
    size_t len, cap;
    uint32_t n;
    int ok;
} META_LIST;

typedef struct __table_meta {
    META_LIST table;  /* its GET_DDL('TABLE') text */
    META_LIST cols;   /* name, data type, data length of each column, in COLUMN_ID order */
    META_LIST index;  /* GET_DDL('INDEX') of each ordinary, function-based or bitmap index */
    META_LIST key;    /* GET_DDL('CONSTRAINT') of its primary key (none for an IOT) */
} TABLE_META;

/* The table's pieces: read with its batch (its run of META_BATCH tables
 * in the order tables are handed out) the first time one of them is asked
 * for; a worker asking while another reads the batch waits for it.
 * Returns 0 with *out (NULL when the batch could not be held: the
 * per-table queries then read every piece), or -1 (message printed). */
int table_meta(EXP_WORKER *w, EXP_TABLE *tab, TABLE_META **out);

/* The string after offset *at of the list (*at moves past it); NULL at
 * the end. */
const char *meta_next(const META_LIST *l, size_t *at);

/* Frees the table's pieces once its section is written; at the run's end
 * what is left. */
void drop_table_meta(EXP_RUN *run, EXP_TABLE *tab);
void free_table_metas(EXP_RUN *run);

/* The DBMS_METADATA set-up block of table texts (format of
 * run_transform_block). */
const char *table_transforms(void);

#ifdef __cplusplus
}
#endif

#endif /* TAB_TABLE_META_H */
