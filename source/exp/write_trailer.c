/*
 * write_trailer.c - checksums each table section as its bytes leave the
 * write cache, then writes the trailer (per table: length, rows, checksum;
 * the deferred statements; the run's warnings when there are any) and
 * the header's extension record.
 */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "dump_reader.h"
#include "exp_local.h"
#include "write_cache.h"
#include "write_head.h"
#include "write_trailer.h"

static XXH3_state_t g_sum;        /* over the bytes of the current part */
static int g_summing;
static uint64_t g_part_start;     /* file offset where the part began */
static DUMP_TRAIL *g_trails;      /* one per table, in directory order */
static int g_ntrails;

void section_hash(const uint8_t *p, size_t n)
{
    if (g_summing) XXH3_64bits_update(&g_sum, p, n);
}

void section_begin(void)
{
    XXH3_64bits_reset(&g_sum);
    g_summing = 1;
    g_part_start = g_exp.data_ofs + (uint64_t)g_exp.ctail;
}

int section_end(int ti)
{
    g_summing = 0;
    if (!g_trails || g_ntrails != g_exp.ntab) {
        free(g_trails);
        g_ntrails = g_exp.ntab;
        g_trails = (DUMP_TRAIL *)calloc((size_t)g_exp.ntab, sizeof(DUMP_TRAIL));
        if (!g_trails) {
            fprintf(stderr, "Allocate memory (%zu) error: %s\n",
                    (size_t)g_exp.ntab * sizeof(DUMP_TRAIL), strerror(errno));
            return -1;
        }
    }
    /* export_table leaves the cache written out at the section's end */
    g_trails[ti].length = g_exp.data_ofs - g_part_start;
    g_trails[ti].rows = (uint64_t)g_exp.nrow;
    g_trails[ti].sum = XXH3_64bits_digest(&g_sum);
    return 0;
}

/* Hashes the directory as write_table_information will write it. */
static void hash_directory(XXH3_state_t *st)
{
    uint8_t raw[sizeof(TAB_INFO)];
    int n = listed_tables();
    for (int i = 0; i < n; i++) {
        const TAB_INFO *t = &g_exp.tabp[i];
        put_be32(raw + offsetof(TAB_INFO, flag), t->flag);
        put_be32(raw + offsetof(TAB_INFO, ncol), t->ncol);
        put_be32(raw + offsetof(TAB_INFO, nlob), t->nlob);
        put_be32(raw + offsetof(TAB_INFO, nrows), t->nrows);
        put_be64(raw + offsetof(TAB_INFO, offset), t->offset);
        memcpy(raw + offsetof(TAB_INFO, tab_name), t->tab_name, sizeof(t->tab_name));
        XXH3_64bits_update(st, raw, sizeof(raw));
    }
    static const uint8_t zero[DUMP_DIR_ALIGN];
    uint64_t pad = dir_area_size((uint64_t)n) - (uint64_t)n * sizeof(TAB_INFO);
    XXH3_64bits_update(st, zero, (size_t)pad);
}

/* Copies len bytes into the cache, writing it out as it fills. */
static int put_bytes(const char *text, size_t len)
{
    while (len > 0) {
        if (g_exp.ctail == g_exp.csz && write_cache() != 0) return -1;
        size_t n = (size_t)(g_exp.csz - g_exp.ctail);
        if (n > len) n = len;
        memcpy(g_exp.cache + g_exp.ctail, text, n);
        g_exp.ctail += (int)n;
        text += n;
        len -= n;
    }
    return 0;
}

/* One text block (2-byte length, text) into the cache. */
static int put_block(const char *text, size_t len)
{
    if (len > DUMP_TEXT_MAX) len = DUMP_TEXT_MAX;
    if (cache_room(2) != 0) return -1;
    cache_put16((uint16_t)len);
    return put_bytes(text, len);
}

/* One typed record (kind, 4-byte length, payload) into the cache. */
static int put_record(uint16_t kind, const char *text, size_t len)
{
    if (cache_room(DUMP_REC_HEAD) != 0) return -1;
    cache_put16(kind);
    put_be32(g_exp.cache + g_exp.ctail, (uint32_t)len);
    g_exp.ctail += 4;
    return put_bytes(text, len);
}

/* The record of table ti, whose name does not fit the directory. */
static int put_table_record(int ti)
{
    uint8_t p[DUMP_REC_TABLE_FIXED + DUMP_NAME_MAX];
    const TAB_INFO *t = &g_exp.tabp[ti];
    const char *name = exp_table_name(ti);
    size_t nlen = strlen(name);
    if (nlen > DUMP_NAME_MAX) nlen = DUMP_NAME_MAX;  /* the dictionary holds no longer name */
    put_be32(p, t->flag);
    put_be32(p + 4, t->ncol);
    put_be32(p + 8, t->nlob);
    put_be32(p + 12, t->nrows);
    put_be64(p + 16, t->offset);
    put_be64(p + 24, g_trails[ti].length);
    put_be64(p + 32, g_trails[ti].rows);
    put_be64(p + 40, g_trails[ti].sum);
    memcpy(p + DUMP_REC_TABLE_FIXED, name, nlen);
    return put_record(DUMP_REC_TABLE, (const char *)p, DUMP_REC_TABLE_FIXED + nlen);
}

/* The deferred statements, then the warnings: text block lists (formats
 * 1 and 2), or typed records (format 3). */
static int put_lists(uint32_t version)
{
    int end, i = objects_of(-1, &end);
    if (version == DUMP_EXT_VERSION_RECORDS) {
        for (; i < end; i++) {
            uint16_t kind = g_objs[i].rec_kind ? g_objs[i].rec_kind : DUMP_REC_STATEMENT;
            if (put_record(kind, g_objs[i].text, g_objs[i].len) != 0) return -1;
        }
        for (int w = 0; w < g_nwarnings; w++)
            if (put_record(DUMP_REC_WARNING, g_warnings[w], strlen(g_warnings[w])) != 0) return -1;
        for (int t = listed_tables(); t < g_exp.ntab; t++)
            if (put_table_record(t) != 0) return -1;
        return put_record(DUMP_REC_END, "", 0);
    }
    for (; i < end; i++)
        if (put_block(g_objs[i].text, g_objs[i].len) != 0) return -1;
    if (cache_room(2) != 0) return -1;
    cache_put16(MARK_END);
    if (version == DUMP_EXT_VERSION_WARNINGS) {
        for (int w = 0; w < g_nwarnings; w++)
            if (put_block(g_warnings[w], strlen(g_warnings[w])) != 0) return -1;
        if (cache_room(2) != 0) return -1;
        cache_put16(MARK_END);
    }
    return 0;
}

/* The oldest format that holds what this dump carries: files without
 * warnings stay in format 1, which every earlier reader of the extension
 * reads; format 3 only for a statement longer than a text block, a
 * table whose name does not fit the directory, or a grant, comment,
 * synonym or sequence carried as a record. */
static uint32_t trailer_version(void)
{
    if (listed_tables() < g_exp.ntab) return DUMP_EXT_VERSION_RECORDS;
    int end, i = objects_of(-1, &end);
    for (; i < end; i++)
        if (g_objs[i].len > DUMP_TEXT_MAX || g_objs[i].rec_kind) return DUMP_EXT_VERSION_RECORDS;
    return g_nwarnings > 0 ? DUMP_EXT_VERSION_WARNINGS : DUMP_EXT_VERSION;
}

int write_dump_trailer(void)
{
    uint64_t start = g_exp.data_ofs;
    uint8_t block[DUMP_HEAD_BLOCK];

    if (g_exp.ntab > 0 && (!g_trails || g_ntrails != g_exp.ntab)) return -1;
    if (write_cache() != 0) return -1;
    start = g_exp.data_ofs;
    XXH3_64bits_reset(&g_sum);
    g_summing = 1;
    g_exp.ctail = 0;
    memcpy(g_exp.cache, DUMP_TRAILER_MAGIC, sizeof(DUMP_TRAILER_MAGIC));
    put_be32(g_exp.cache + 8, (uint32_t)listed_tables());
    put_be32(g_exp.cache + 12, 0);
    g_exp.ctail = DUMP_TRAILER_HEAD;
    for (int i = 0; i < listed_tables(); i++) {
        if (cache_room(DUMP_TRAILER_ENTRY) != 0) return -1;
        uint8_t *e = g_exp.cache + g_exp.ctail;
        put_be64(e, g_trails[i].length);
        put_be64(e + 8, g_trails[i].rows);
        put_be64(e + 16, g_trails[i].sum);
        g_exp.ctail += DUMP_TRAILER_ENTRY;
    }
    uint32_t version = trailer_version();
    if (put_lists(version) != 0) return -1;
    if (write_cache() != 0) return -1;
    g_summing = 0;
    uint64_t trailer_sum = XXH3_64bits_digest(&g_sum);

    build_head_block(block);
    uint8_t *x = block + DUMP_EXT_OFFSET;
    memcpy(x, DUMP_EXT_MAGIC, sizeof(DUMP_EXT_MAGIC));
    put_be32(x + 8, version);
    put_be32(x + 12, (g_exp.flag & EXP_LOSSY_CHARSET) ? DUMP_EXT_LOSSY : 0);
    put_be64(x + 16, start);
    put_be64(x + 24, g_exp.data_ofs - start);
    XXH3_state_t head;
    XXH3_64bits_reset(&head);
    dump_hash_head(&head, block);
    hash_directory(&head);
    put_be64(x + 32, XXH3_64bits_digest(&head));
    put_be64(x + 40, trailer_sum);
    free(g_trails);
    g_trails = NULL;
    g_ntrails = 0;
    return pwrite_all(x, DUMP_EXT_SIZE, DUMP_EXT_OFFSET);
}
