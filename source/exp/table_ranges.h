/*
 * table_ranges.h - tables read in ROWID ranges: the extents of each large
 * table (DBA_EXTENTS), the ranges handed out one after the other in ROWID
 * order, and the predicate the SELECT of a range carries (table_ranges.c).
 */
#ifndef TAB_EXP_TABLE_RANGES_H
#define TAB_EXP_TABLE_RANGES_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of a table's segment from which it is read in ranges, and bytes of
 * dump a range is cut to give (from the bytes per block read so far); the
 * environment variables TABEXP_RANGE_THRESHOLD and TABEXP_RANGE_SIZE set
 * others (tests split small tables with them). */
#define RANGE_THRESHOLD_DEFAULT (1u << 20)
#define RANGE_SIZE_SERIAL (64u << 20)
#define RANGE_SIZE_PARALLEL (4u << 20)
#define ROWID_TEXT 24

/* One extent of a table's segment: its blocks and the ROWIDs of its first
 * and last possible rows, as the server built them. */
typedef struct __exp_extent {
    uint64_t file;
    uint64_t block;
    uint64_t blocks;
    char lo[ROWID_TEXT];
    char hi[ROWID_TEXT];
} EXP_EXTENT;

/* A range handed out: extents e0 .. e1 - 1, which follow each other on
 * disk, read as ROWID BETWEEN lo AND hi. */
typedef struct __exp_range {
    int e0, e1;
    const char *lo, *hi;
    int first;            /* the table's first range: its section starts with it */
    int last;             /* the table's last range: the end of its rows follows */
} EXP_RANGE;

/* What a parallel run's first range of a table hands to the readers of its
 * other ranges: the column block (host order) and the table text that the
 * statements after the rows are checked against. */
typedef struct __exp_split_head {
    int ready;            /* (lock) the fields below are set */
    uint32_t ncol, flag;
    COL_INFO *cols;
    char *table_text;
    size_t table_text_len;
    char identity_col[266];
    char identity_kind[24];
} EXP_SPLIT_HEAD;

/* The ranges of one table. Handing out (next, bytes, blocks) is under the
 * run's lock in a parallel run. */
typedef struct __exp_split {
    int n;                /* extents, in extent order */
    EXP_EXTENT *ext;
    int next;             /* the first extent not handed out */
    uint64_t bytes_read;  /* dump bytes of the ranges read so far */
    uint64_t blocks_read; /* and their blocks */
    int pieces;           /* ranges handed out */
    int pieces_done;      /* of which read */
    uint64_t rows;        /* rows of the ranges read */
    const char *line_fmt; /* the progress line of the table's kind */
    double started;       /* METRICS=Y: when its first range began */
    long long trips;      /* and the round trips of its ranges read */
    int trips_unknown;    /* a range's could not be read */
    EXP_SPLIT_HEAD head;
} EXP_SPLIT;

/* Reads the extents of the owner's tables (DBA_EXTENTS, one query for the
 * schema) and gives every table whose segment reaches the threshold and
 * has more than one extent its ranges. Without the DBA_ views, or with
 * CONSISTENT=N (each table read at one moment), no table is split.
 * Returns 0 or -1 (message printed). */
int read_table_ranges(EXP_WORKER *w);
/* Frees the ranges of every table. */
void free_table_ranges(EXP_RUN *run);

/* Hands out the next range of split table `s`: as many extents, following
 * each other, as make about `target` bytes of dump at the bytes per block
 * read so far (one extent before any was read). Returns 0 when none is
 * left, else 1. */
int next_range(EXP_SPLIT *s, uint64_t target, EXP_RANGE *out);
/* Records a read range and the dump bytes its rows took. */
void range_read(EXP_SPLIT *s, const EXP_RANGE *r, uint64_t bytes);
/* The bytes of dump a range is cut to give in this run. */
uint64_t range_target(const EXP_RUN *run);

/* Called by prepare_to_select with the end of the SELECT text: writes the
 * ROWID predicate of the worker's range (w->range) there, when it has one,
 * and returns the bytes written. */
size_t range_condition(const EXP_WORKER *w, char *dst, size_t cap);
/* Binds the range's two ROWIDs to the prepared SELECT. 0 or -1 (message
 * printed). */
int bind_range(EXP_WORKER *w);

/* Writes, when TABEXP_PARALLEL_STATS names a file, the parts the tables
 * were read in (a whole table or a range each) and the bytes written
 * straight into the dump, queued in memory and spilled (for the
 * benchmarks and tests). */
void write_run_stats(const EXP_RUN *run, uint64_t direct, uint64_t queued, uint64_t spilled);

/* ---- a parallel run's ranges (export_table.c, export_parallel.c) ------ */

/* Writes the part of a table's section that range r of it makes: the
 * section's head before the first range's rows, the end of the rows and
 * the statements after them behind the last range's. Returns 0 or -1
 * (message printed). */
int export_range(EXP_WORKER *w, EXP_TABLE *tab, const EXP_RANGE *r);
/* The first range's reader hands the column block and the table text to
 * the readers of the other ranges; they wait for it. 0 or -1 (out of
 * memory, or the run stopped meanwhile). */
int publish_split_head(EXP_WORKER *w, EXP_TABLE *tab);
int wait_split_head(EXP_WORKER *w, EXP_SPLIT *s);
/* Records range r of tab read (its rows in w->nrow, `bytes` of dump), and
 * writes the table's progress line once its last range is read. */
void range_done(EXP_WORKER *w, EXP_TABLE *tab, const EXP_RANGE *r, uint64_t bytes);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_TABLE_RANGES_H */
