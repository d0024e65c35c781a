/*
 * dump_reader.h - the one reader of the dump file's structure, shared by
 * tabimp and tabdump: header, extension record, directory, table sections
 * (DDL, column block, rows, streams, statement list) and trailer. It never
 * prints and needs no database: every call returns what it found, or -1
 * with the reason and the file offset in the reader's fault record.
 */
#ifndef TAB_DUMP_READER_H
#define TAB_DUMP_READER_H

#include <stdint.h>

#define XXH_STATIC_LINKING_ONLY  /* XXH3_state_t held inside the records */
#include <xxhash.h>
#if (defined(__x86_64__) || defined(__i386__)) && defined(__has_include)
#if __has_include(<xxh_x86dispatch.h>)
/* The library's XXH3 for the widest vector unit of the machine, chosen at
 * run time: the same values, half the time on AVX2. */
#include <xxh_x86dispatch.h>
#endif
#endif

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- the extension of the format ------------------------------------------
 * Bytes 208..1023 of the header block are zero in a file without it. With
 * it, they begin with this record (big-endian numbers):
 *   208  8  magic "Tabdext" and a zero byte
 *   216  4  format version (DUMP_EXT_VERSION)
 *   220  4  flags (DUMP_EXT_LOSSY)
 *   224  8  trailer offset
 *   232  8  trailer length; the trailer ends the file
 *   240  8  checksum of the header block (bytes 240..255 taken as zero)
 *           followed by the whole directory area
 *   248  8  checksum of the trailer
 *   256..1023 zero
 * The trailer: magic "Tabdtrl" and a zero byte, the table count (4), four
 * zero bytes, then per table its section length, rows written and section
 * checksum (8 each), then the deferred statements as text blocks ended by
 * a 0x0000 word. Checksums are XXH3-64 with seed 0. */
#define DUMP_EXT_OFFSET 208
#define DUMP_EXT_SIZE 48
#define DUMP_EXT_MAGIC "Tabdext"
#define DUMP_EXT_VERSION 1
/* Format 2: the same, and the trailer's deferred statements are followed
 * by the export's warnings (what it could not carry), text blocks ended
 * by a 0x0000 word. Written only by an export that had warnings. */
#define DUMP_EXT_VERSION_WARNINGS 2
/* Format 3: after the per-table entries, the trailer is a list of typed
 * records, so that a statement of any length is one record and other
 * kinds of content can follow later:
 *   2  kind (DUMP_REC_...); the bit DUMP_REC_OPTIONAL marks a record a
 *      reader that does not know its kind may step over; any other
 *      unknown kind is refused
 *   4  length of the payload (at most DUMP_RECORD_MAX)
 *   n  payload
 * ended by a record of kind DUMP_REC_END and length 0, which ends the
 * file. Deferred statements stand in the order they run. Written only
 * when a file needs it (a statement longer than a text block, a table
 * whose name does not fit the directory), so that
 * every other file stays readable by readers of formats 1 and 2, which
 * refuse a version they do not know rather than misread it. */
#define DUMP_EXT_VERSION_RECORDS 3
#define DUMP_REC_END 0
#define DUMP_REC_STATEMENT 1     /* a deferred statement, its text */
#define DUMP_REC_WARNING 2       /* a line of the export's warnings */
/* A table whose name does not fit the 31 bytes of a directory entry. Its
 * section stands in the data area after the sections of the directory's
 * tables (where base readers, which find sections only through the
 * directory, never look); such sections follow each other in the order
 * of their records and end at the trailer. The payload:
 *    0  4  flag, as in a directory entry
 *    4  4  column count
 *    8  4  LOB column count
 *   12  4  rows (low 32 bits, as in a directory entry)
 *   16  8  section offset
 *   24  8  section length
 *   32  8  rows written
 *   40  8  section checksum
 *   48  n  the table's name, 32 to 128 bytes, no NUL */
#define DUMP_REC_TABLE 3
#define DUMP_REC_TABLE_FIXED 48
#define DUMP_NAME_MAX 128
/* An object privilege the owner granted, from which the importer writes
 * the GRANT itself (the target schema and every name quoted by it), so
 * that no text of the file reaches the database. The payload:
 *    0  1  privilege, DUMP_PRIV_... (any other number is damage)
 *    1  1  flags: DUMP_GRANTABLE; other bits zero
 *    2  1  length of the object's name, 1 to 128
 *    3  1  length of the grantee's name, 1 to 128 ("PUBLIC": everyone)
 *    4  n  the object's name, then the grantee's; no NUL, no '"'
 * and nothing after them. */
#define DUMP_REC_GRANT 4
#define DUMP_REC_GRANT_FIXED 4
#define DUMP_GRANTABLE 1u
/* A comment on a table or view or one of their columns, written by the
 * importer as COMMENT ON with the text as a literal. The payload:
 *    0  1  length of the table's name, 1 to 128
 *    1  1  length of the column's name, 0 (the table's comment) to 128
 *    2  n  the table's name, the column's, then the comment's text up to
 *          DUMP_COMMENT_MAX bytes (the rest of the payload); no NUL in
 *          any of them, no '"' in the names */
#define DUMP_REC_COMMENT 5
#define DUMP_REC_COMMENT_FIXED 2
#define DUMP_COMMENT_MAX 16000
/* A private synonym, written by the importer as CREATE SYNONYM "S" FOR
 * ["OWNER".]"OBJECT". The payload:
 *    0  1  length of the synonym's name, 1 to 128
 *    1  1  length of the schema of the object it stands for, 0 (the
 *          dump's own schema, which becomes the target) to 128
 *    2  1  length of the object's name, 1 to 128
 *    3  n  the three names, no NUL, no '"'; nothing after them */
#define DUMP_REC_SYNONYM 6
#define DUMP_REC_SYNONYM_FIXED 3
/* A sequence, written by the importer as CREATE SEQUENCE "S" MINVALUE m
 * MAXVALUE x INCREMENT BY i START WITH s CACHE c | NOCACHE ORDER | NOORDER
 * CYCLE | NOCYCLE. The payload:
 *    0  1  length of the name, 1 to 128
 *    1  1  flags: DUMP_SEQ_CYCLE, DUMP_SEQ_ORDER; other bits zero
 *    2  5  lengths of the minimum, maximum, increment, start and cache
 *          (the cache's 0 for NOCACHE; the others 1 to DUMP_NUMBER_MAX)
 *    7  n  the name (no NUL, no '"'), then the five numbers, each decimal
 *          digits with an optional leading '-'; nothing after them */
#define DUMP_REC_SEQUENCE 7
#define DUMP_REC_SEQUENCE_FIXED 7
#define DUMP_SEQ_CYCLE 1u
#define DUMP_SEQ_ORDER 2u
#define DUMP_NUMBER_MAX 40
#define DUMP_REC_OPTIONAL 0x8000u
#define DUMP_REC_HEAD 6
#define DUMP_RECORD_MAX (16u * 1024u * 1024u)
#define DUMP_EXT_LOSSY 1u        /* the client character set could not hold the database's */
#define DUMP_EXT_SUMS_AT 240     /* the two checksum fields, zero while hashing the header */
#define DUMP_TRAILER_MAGIC "Tabdtrl"
#define DUMP_TRAILER_HEAD 16
#define DUMP_TRAILER_ENTRY 24

/* Most columns a table can have in the database. */
#define DUMP_MAX_COLUMNS 1000

typedef struct __dump_ext {
    uint32_t version;
    uint32_t flags;
    uint64_t trailer_ofs;
    uint64_t trailer_len;
    uint64_t head_sum;
    uint64_t trailer_sum;
} DUMP_EXT;

typedef struct __dump_trail {
    uint64_t length;  /* bytes of the section */
    uint64_t rows;    /* rows written */
    uint64_t sum;     /* checksum of the section's bytes */
} DUMP_TRAIL;

/* A table carried in a DUMP_REC_TABLE record: its entry as a directory
 * entry would hold it (an empty tab_name), its trailer numbers and name. */
typedef struct __dump_long_table {
    TAB_INFO t;
    DUMP_TRAIL tr;
    char name[DUMP_NAME_MAX + 1];
} DUMP_LONG_TABLE;

/* The privileges a GRANT record may name, numbered from 1 in this order. */
#define DUMP_PRIV_NAMES                                                                  \
    "SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES", "ALTER", "INDEX", "EXECUTE",    \
        "READ", "WRITE", "DEBUG", "FLASHBACK", "UNDER", "QUERY REWRITE", "MERGE VIEW",   \
        "ON COMMIT REFRESH"

/* A GRANT, COMMENT, SYNONYM or SEQUENCE record as the reader found it,
 * every field checked.
 * text lives only during the visit. */
typedef struct __dump_obj_record {
    uint16_t kind;                     /* DUMP_REC_GRANT ... DUMP_REC_SEQUENCE */
    const char *privilege;             /* a grant: one of DUMP_PRIV_NAMES */
    int grantable;                     /* a grant: WITH GRANT OPTION */
    char object[DUMP_NAME_MAX + 1];    /* the table, view or other object; a synonym's name */
    char grantee[DUMP_NAME_MAX + 1];   /* a grant: user, role or PUBLIC */
    char column[DUMP_NAME_MAX + 1];    /* a comment: the column, "" for the object */
    char for_schema[DUMP_NAME_MAX + 1]; /* a synonym: its object's schema, "" for the dump's */
    char for_object[DUMP_NAME_MAX + 1]; /* a synonym: the object it stands for */
    /* a sequence: minimum, maximum, increment, start, cache ("" NOCACHE) */
    char numbers[5][DUMP_NUMBER_MAX + 1];
    int cycle, order;                  /* a sequence: CYCLE, ORDER */
    const char *text;                  /* a comment: its text, not terminated */
    uint32_t text_len;
} DUMP_OBJ_RECORD;

/* The number of privilege name p (1 on), 0 for one not in the list. */
int dump_privilege_number(const char *p);

/* Checks the payload (len bytes at p) of a record of kind DUMP_REC_GRANT,
 * DUMP_REC_COMMENT, DUMP_REC_SYNONYM or DUMP_REC_SEQUENCE into *out;
 * NULL, or why it is damaged. out->text points into p. */
const char *dump_parse_obj_record(uint16_t kind, const uint8_t *p, uint32_t len,
                                  DUMP_OBJ_RECORD *out);

/* The statement a GRANT or COMMENT record stands for, without a schema:
 * GRANT p ON "T" TO "U" [WITH GRANT OPTION], or COMMENT ON TABLE "T" /
 * COMMENT ON COLUMN "T"."C" IS '<text, quotes doubled>', or CREATE SYNONYM
 * "S" FOR ["O".]"X", or CREATE SEQUENCE "S" .... Allocated (the
 * caller frees it) and terminated; *name_at is the offset of the object's
 * quoted name, where a schema qualifier goes. NULL when memory ran out. */
char *dump_record_sql(const DUMP_OBJ_RECORD *rec, uint32_t *len, uint32_t *name_at);

/* What went wrong. The first four are the faults tabimp has always named
 * with their own messages. */
enum {
    DUMP_OK = 0,
    DUMP_E_IO,         /* the system refused a read (errno kept) */
    DUMP_E_SHORT,      /* the file ends before the structure does */
    DUMP_E_MAGIC,      /* not a dump file */
    DUMP_E_HEAD,       /* owner or NLS_LANG not terminated */
    DUMP_E_COUNT,      /* the directory does not fit the file */
    DUMP_E_ENTRY,      /* a directory entry cannot be used */
    DUMP_E_DAMAGED,    /* any other broken rule of the format */
    DUMP_E_SUM         /* a checksum does not match */
};

typedef struct __dump_fault {
    int code;           /* DUMP_E_... */
    int err;            /* errno of DUMP_E_IO */
    int table;          /* index of the table concerned, -1 for none */
    uint64_t ofs;       /* file offset where the fault was found */
    char reason[160];
} DUMP_FAULT;

/* Callbacks of a section walk; any may be NULL. A non-zero return stops
 * the walk, which then returns that value (no fault is recorded). Texts
 * are not terminated and live only during the call. */
typedef struct __dump_visit {
    int (*ddl)(void *ctx, const char *text, uint32_t len);
    int (*column)(void *ctx, const COL_INFO *col);  /* host order */
    int (*statement)(void *ctx, const char *text, uint32_t len);
    /* the deferred list's GRANT, COMMENT, SYNONYM and SEQUENCE records,
     * in their place among the statements; without it they are checked and stepped over */
    int (*record)(void *ctx, const DUMP_OBJ_RECORD *rec);
} DUMP_VISIT;

/* What a walk found in a section. */
typedef struct __dump_section {
    uint64_t offset;
    uint64_t length;
    uint64_t rows;
    uint64_t stream_bytes;  /* bytes of LONG and LOB pieces */
    uint32_t statements;
} DUMP_SECTION;

/* The read buffer: bounded memory whatever the file size. It grows only to
 * hold one structure wider than itself (a statement, a section's front, a
 * row), which the format bounds; test builds make it small so that loads
 * happen within small files. */
#ifndef DUMP_READ_BUFFER
#define DUMP_READ_BUFFER 262144
#endif
/* The buffer of a pass over a section's rows (dump_rows_begin): streams of
 * many pieces move through it seldom. */
#ifndef DUMP_ROWS_BUFFER
#define DUMP_ROWS_BUFFER 2097152
#endif

typedef struct __dump_reader {
    int fd;
    uint64_t size;          /* of the file when it was opened */
    HEAD_INFO head;         /* numbers in host order */
    int has_ext;
    DUMP_EXT ext;
    uint64_t data_start;    /* first byte after the directory area */
    /* Tables of format 3 whose names do not fit the directory: numbered
     * after the directory's, from head.tab_cnt on. */
    DUMP_LONG_TABLE *longs;
    uint32_t nlong;
    int borrowed;           /* longs belongs to the reader this one was made from */
    DUMP_FAULT fault;
    /* the read buffer: buf[0] is the byte at file offset bofs */
    uint8_t *buf;
    uint32_t cap;           /* bytes of buf: DUMP_READ_BUFFER, DUMP_ROWS_BUFFER from a rows pass on, or a wider row */
    uint32_t len, pos, hpos; /* loaded, consumed, hashed */
    uint64_t bofs;
    uint64_t limit;         /* no read goes past this offset */
    int hashing;
    XXH3_state_t hash;
} DUMP_READER;

/* Reads and checks the header block of the file open on fd: magic, text
 * fields, table count against the file size, the extension record. */
int dump_open(DUMP_READER *r, int fd);
void dump_close(DUMP_READER *r);

/* A second cursor over the file src has opened, for another thread: the
 * same header, extension and tables (the long-name list is borrowed and
 * must outlive it), its own buffer, fault and checksum state. */
void dump_share(DUMP_READER *dst, const DUMP_READER *src);

/* The tables of the file: the directory's, then those whose names do
 * not fit it (format 3). Every call below that takes a table number takes
 * both kinds alike. */
uint32_t dump_table_count(const DUMP_READER *r);

/* The name of table i: the directory entry's, or the long name; "" for a
 * number past the tables. */
const char *dump_table_name(const DUMP_READER *r, uint32_t i, const TAB_INFO *t);

/* Directory entry i in host order, checked; no checks beyond the entry. */
int dump_entry(DUMP_READER *r, uint32_t i, TAB_INFO *t);
/* Why the entry cannot be used, or NULL; what tabimp checks in each. */
const char *dump_entry_fault(const DUMP_READER *r, const TAB_INFO *t);

/* Checks the column block (file order at raw) against entry t; returns
 * NULL or the reason, written into why (size bytes). */
const char *dump_columns_fault(const TAB_INFO *t, const uint8_t *raw, char *why, size_t size);

/* With the extension: checks the header and directory checksum, every
 * entry, the sections' places, and the trailer (checksum, entries, and
 * the structure of its statement list). Without it: every entry. */
int dump_check_directory(DUMP_READER *r);

/* The trailer entry of table i (extension only). */
int dump_trail(DUMP_READER *r, uint32_t i, DUMP_TRAIL *tr);

/* Walks the section of table i, reading every byte once: each structural
 * rule, and with the extension its length, row count and checksum. */
int dump_walk_section(DUMP_READER *r, uint32_t i, const DUMP_VISIT *v, void *ctx,
                      DUMP_SECTION *out);

/* ---- the rows of a section, one at a time ---------------------------------
 * The importer's pass over a section it has checked: the front (CREATE
 * TABLE text and column block), then each row's values and the pieces of
 * the LONG and LOB streams that follow it, then the statement list. Every
 * rule of a row and a stream is checked here, with the same code as the
 * walk; pointers point into the reader's buffer and stay valid until the
 * next call on the reader. */

/* What a row's slot holds: NULL, a value of len bytes at p, or the mark
 * of a LONG or LOB value whose stream follows the row. */
#define DUMP_VAL_NULL 0
#define DUMP_VAL_VALUE 1
#define DUMP_VAL_LONG 2
#define DUMP_VAL_LOB 3

typedef struct __dump_value {
    const uint8_t *p;
    uint32_t len;
    uint32_t kind;  /* DUMP_VAL_... */
} DUMP_VALUE;

/* One piece of a stream: 1 to DUMP_PIECE_SIZE bytes; last when the
 * stream's end word follows it. */
typedef struct __dump_piece {
    const uint8_t *p;
    uint32_t len;
    int last;
} DUMP_PIECE;

/* The front of a section: its CREATE TABLE text and its column block
 * (ncol records of COL_INFO in file order), both in the reader's buffer. */
typedef struct __dump_front {
    const char *ddl;
    uint32_t ddl_len;
    const uint8_t *cols;
} DUMP_FRONT;

/* The state of a pass over the rows of one section. Slots stand in select
 * order: the ordinary columns, the LOB columns, then the LONG column. */
typedef struct __dump_rows {
    DUMP_READER *r;
    uint32_t ncol;
    uint32_t max_row;        /* bytes of the longest row record the columns allow */
    uint64_t rows;           /* rows read */
    uint64_t stream_bytes;   /* bytes of the stream pieces read */
    uint64_t list_ofs;       /* where the statement list begins, once the rows ended */
    uint64_t limit;          /* end of the section (of the file without the extension) */
    int ended;               /* the rows' end mark was read */
    int keep;                /* the whole row stays loaded while it is used */
    int plain;               /* no LONG or LOB column */
    /* the streams still to come after the current row */
    int long_left;           /* 0 none, 1 the LONG value's, 2 a NULL LONG's if one stands there */
    uint32_t lobs_left;      /* one per LOB value */
    int in_stream;           /* a stream was begun and its end word not yet read */
    uint8_t kind[DUMP_MAX_COLUMNS];  /* per slot: 0 ordinary, 1 LOB, 2 LONG */
    uint32_t vsz[DUMP_MAX_COLUMNS];  /* per ordinary slot: the longest value */
} DUMP_ROWS;

/* Positions r at the front of table i's section and checks it (the
 * section's extent with the extension, but not its checksum, which the
 * walk has checked): the CREATE TABLE text and the column block in *front,
 * valid until the next call on r. *rs is then ready for dump_row_next. */
int dump_rows_begin(DUMP_READER *r, uint32_t i, DUMP_ROWS *rs, DUMP_FRONT *front);

/* The next row: 1 with its ncol slots in vals, 0 after the rows' end mark,
 * -1 on a fault. Streams of the row before that were not read are stepped
 * over first. */
int dump_row_next(DUMP_ROWS *rs, DUMP_VALUE *vals);

/* Begins the next stream of the current row, in file order: the LONG
 * value's, then one per LOB value. 1 when one begins; 0 when none is left,
 * or when the row's NULL LONG comes without one (a NULL LONG may come with
 * or without a stream); -1 on a fault. */
int dump_stream_begin(DUMP_ROWS *rs);

/* The next piece of the stream begun: 1 with *pc, 0 once its end word
 * (and the second end word some writers add) has been read, -1. */
int dump_stream_next(DUMP_ROWS *rs, DUMP_PIECE *pc);

/* Steps over what is left of the current row's streams. 0 or -1. */
int dump_streams_skip(DUMP_ROWS *rs);

/* After the rows' end: hands each block of the section's statement list
 * to v->statement, from the list's start on every call. 0, -1 on a fault,
 * or what a visit returned to stop. */
int dump_rows_statements(DUMP_ROWS *rs, const DUMP_VISIT *v, void *ctx);

/* Hands each deferred statement of the trailer to v->statement, in order. */
int dump_walk_deferred(DUMP_READER *r, const DUMP_VISIT *v, void *ctx);

/* Hands each warning line of the export (format 2) to v->statement, in
 * order; none in other files. */
int dump_walk_warnings(DUMP_READER *r, const DUMP_VISIT *v, void *ctx);

/* XXH3-64 of a header block (DUMP_HEAD_BLOCK bytes) with its checksum
 * fields taken as zero, continued in st; the writer and the reader agree
 * through this. */
void dump_hash_head(XXH3_state_t *st, const uint8_t *block);

#ifdef __cplusplus
}
#endif

#endif /* TAB_DUMP_READER_H */
