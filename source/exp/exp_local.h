/*
 * exp_local.h - helpers shared by the operations of tabexp only: quoting of
 * names inside SQL, byte appends into the write cache, whole writes to the
 * dump file, and the DDL rewrites that drop the owner's qualifier.
 */
#ifndef TAB_EXP_LOCAL_H
#define TAB_EXP_LOCAL_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A name of at most 31 bytes with every quote doubled, plus its NUL. */
#define ESC_NAME_SIZE 64

/* Bytes that must be free in the cache before a stream piece: the length
 * word, one piece and the word after it. */
#define EXP_PIECE_ROOM (2 + DUMP_PIECE_SIZE + 2)

/* The names of the current table's columns in select order (32 bytes
 * each), kept in the row area by prepare_to_select for messages about a
 * column while its rows are exported. */
extern char (*g_select_names)[32];

/* The LONG column of the row being exported, and the cache offset of its
 * value slot while that slot is still in the cache (-1 otherwise): a NULL
 * that the client reports only with the first piece is put into the slot
 * there. Set by export_single_row, used by fetch_long_piece. */
extern DEFINE_COLUMN *g_long_dc;
extern int g_long_slot;

/* Fails the table when the last fetch cut a value of row `row` to fit its
 * buffer (return code 1406 with a length indicator), so that nothing cut
 * is ever written as if whole. Returns 0 or -1 (message printed). */
int check_cut_values(int ti, ub4 row);


/* Writes len bytes at file offset ofs of the dump file, continuing after
 * partial writes and repeating writes interrupted by a signal. Any other
 * failure prints "Write <file>: <reason>" and returns -1. */
int pwrite_all(const uint8_t *src, size_t len, uint64_t ofs);

/* Fills a header block (DUMP_HEAD_BLOCK bytes) as the export writes it
 * first: magic, owner, NLS_LANG, directory offset and table count; the rest
 * zero. */
void build_head_block(uint8_t *block);

/* Checksums of the sections, taken from the bytes as the write cache hands
 * them to the file. section_begin starts a table's section, section_end
 * records its length, rows and checksum; write_dump_trailer writes the
 * trailer after the last section and fills the header's extension record.
 * Each returns 0 or -1 (message printed). */
void section_begin(void);
void section_hash(const uint8_t *p, size_t n);
int section_end(int ti);
int write_dump_trailer(void);

/* Rewrites a DDL text fetched at cache + 2 into a schema-free text block at
 * the start of the cache: sets the length word and ctail. `kind` is
 * 'T' (CREATE TABLE), 'I' (CREATE INDEX) or 'C' (ALTER TABLE ... for a
 * constraint). Returns 0, or -1 after printing the operation's message. */
int rewrite_ddl(int kind, int ti);

/* Runs a DBMS_METADATA set-up block whose one %s takes TRUE or FALSE
 * according to STORAGE=Y. Returns 0 or -1 (message printed). */
int run_transform_block(const char *fmt);

/* Prepares the query in sqltxt and defines its one column as text at
 * cache + 2, then executes it. Returns 0 or -1 (message printed). */
int open_ddl_query(const char *sqltxt, ub2 *alen);

/* Executes the prepared statement iters times (0 for a query). A warning
 * is printed and the run goes on; a failure prints "OCIStmtExecute()" and
 * the Oracle message. Returns 0 or -1. */
int execute_statement(ub4 iters);

/* Fetches up to nrows rows and stores in *got how many arrived, never more
 * than nrows. Returns check_error's result for the fetch (0, 1, 99 or 100),
 * or -1 with the message printed. */
int fetch_rows(ub4 nrows, ub4 *got);

/* Copies src into dst (dsz bytes) with every `quote` character doubled, so
 * that the result may stand between two such quotes in SQL. Returns the
 * length written, or -1 (dst holds an empty string) if it does not fit. */
static inline int sql_escape(char *dst, size_t dsz, const char *src, char quote)
{
    size_t n = 0;
    for (; *src; src++) {
        size_t need = (*src == quote) ? 2 : 1;
        if (n + need >= dsz) {
            if (dsz > 0) dst[0] = '\0';
            return -1;
        }
        dst[n++] = *src;
        if (*src == quote) dst[n++] = quote;
    }
    if (dsz == 0) return -1;
    dst[n] = '\0';
    return (int)n;
}

/* Rounds a pointer up to the next multiple of 8. */
static inline uint8_t *align8(uint8_t *p)
{
    return (uint8_t *)(((uintptr_t)p + 7u) & ~(uintptr_t)7u);
}

/* Appends one big-endian word at the cache's end. The caller has made room. */
static inline void cache_put16(uint16_t v)
{
    put_be16(g_exp.cache + g_exp.ctail, v);
    g_exp.ctail += 2;
}

/* Makes room for n bytes in the cache, writing it out when they would not
 * fit. Returns 0 or -1 (message printed by write_cache). */
static inline int cache_room(int n)
{
    if (g_exp.ctail + n > g_exp.csz) return write_cache();
    return 0;
}

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_LOCAL_H */
