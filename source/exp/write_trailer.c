/*
 * write_trailer.c - writes the trailer after the last section (per table:
 * length, rows, checksum; the deferred statements; the run's warnings when
 * there are any) and the header's extension record.
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

/* Hashes the directory as write_table_information will write it. */
static void hash_directory(const EXP_RUN *run, XXH3_state_t *st)
{
    uint8_t raw[sizeof(TAB_INFO)];
    int n = listed_tables(run);
    for (int i = 0; i < n; i++) {
        const TAB_INFO *t = &run->tabs[i].info;
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
static int put_bytes(EXP_WORKER *w, const char *text, size_t len)
{
    while (len > 0) {
        if (w->ctail == w->csz && write_cache(w) != 0) return -1;
        size_t n = (size_t)(w->csz - w->ctail);
        if (n > len) n = len;
        memcpy(w->cache + w->ctail, text, n);
        w->ctail += (int)n;
        text += n;
        len -= n;
    }
    return 0;
}

/* One text block (2-byte length, text) into the cache. */
static int put_block(EXP_WORKER *w, const char *text, size_t len)
{
    if (len > DUMP_TEXT_MAX) len = DUMP_TEXT_MAX;
    if (cache_room(w, 2) != 0) return -1;
    cache_put16(w, (uint16_t)len);
    return put_bytes(w, text, len);
}

/* One typed record (kind, 4-byte length, payload) into the cache. */
static int put_record(EXP_WORKER *w, uint16_t kind, const char *text, size_t len)
{
    if (cache_room(w, DUMP_REC_HEAD) != 0) return -1;
    cache_put16(w, kind);
    put_be32(w->cache + w->ctail, (uint32_t)len);
    w->ctail += 4;
    return put_bytes(w, text, len);
}

/* The record of table tab, whose name does not fit the directory. */
static int put_table_record(EXP_WORKER *w, const EXP_TABLE *tab)
{
    uint8_t p[DUMP_REC_TABLE_FIXED + DUMP_NAME_MAX];
    const TAB_INFO *t = &tab->info;
    const char *name = exp_table_name(tab);
    size_t nlen = strlen(name);
    if (nlen > DUMP_NAME_MAX) nlen = DUMP_NAME_MAX;  /* the dictionary holds no longer name */
    put_be32(p, t->flag);
    put_be32(p + 4, t->ncol);
    put_be32(p + 8, t->nlob);
    put_be32(p + 12, t->nrows);
    put_be64(p + 16, t->offset);
    put_be64(p + 24, tab->length);
    put_be64(p + 32, tab->rows);
    put_be64(p + 40, tab->sum);
    memcpy(p + DUMP_REC_TABLE_FIXED, name, nlen);
    return put_record(w, DUMP_REC_TABLE, (const char *)p, DUMP_REC_TABLE_FIXED + nlen);
}

/* The deferred statements, then the warnings: text block lists (formats
 * 1 and 2), or typed records (format 3). */
static int put_lists(EXP_WORKER *w, uint32_t version)
{
    const EXP_RUN *run = w->run;
    const OBJ_STMT *objs = run->objs;
    int end, i = objects_of(run, -1, &end);
    if (version == DUMP_EXT_VERSION_RECORDS) {
        for (; i < end; i++) {
            uint16_t kind = objs[i].rec_kind ? objs[i].rec_kind : DUMP_REC_STATEMENT;
            if (put_record(w, kind, objs[i].text, objs[i].len) != 0) return -1;
        }
        for (int k = 0; k < run->nwarnings; k++) {
            const char *line = run->warnings[k].line;
            if (put_record(w, DUMP_REC_WARNING, line, strlen(line)) != 0) return -1;
        }
        for (int t = listed_tables(run); t < run->ntab; t++)
            if (put_table_record(w, &run->tabs[t]) != 0) return -1;
        return put_record(w, DUMP_REC_END, "", 0);
    }
    for (; i < end; i++)
        if (put_block(w, objs[i].text, objs[i].len) != 0) return -1;
    if (cache_room(w, 2) != 0) return -1;
    cache_put16(w, MARK_END);
    if (version == DUMP_EXT_VERSION_WARNINGS) {
        for (int k = 0; k < run->nwarnings; k++) {
            const char *line = run->warnings[k].line;
            if (put_block(w, line, strlen(line)) != 0) return -1;
        }
        if (cache_room(w, 2) != 0) return -1;
        cache_put16(w, MARK_END);
    }
    return 0;
}

/* The oldest format that holds what this dump carries: files without
 * warnings stay in format 1, which every earlier reader of the extension
 * reads; format 3 only for a statement longer than a text block, a
 * table whose name does not fit the directory, or a grant, comment,
 * synonym or sequence carried as a record. */
static uint32_t trailer_version(const EXP_RUN *run)
{
    if (listed_tables(run) < run->ntab) return DUMP_EXT_VERSION_RECORDS;
    int end, i = objects_of(run, -1, &end);
    for (; i < end; i++)
        if (run->objs[i].len > DUMP_TEXT_MAX || run->objs[i].rec_kind)
            return DUMP_EXT_VERSION_RECORDS;
    return run->nwarnings > 0 ? DUMP_EXT_VERSION_WARNINGS : DUMP_EXT_VERSION;
}

int write_dump_trailer(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    uint64_t start;
    uint8_t block[DUMP_HEAD_BLOCK];

    if (write_cache(w) != 0) return -1;
    /* the warnings in the order a serial run raises them */
    sort_warnings(run);
    start = w->data_ofs;
    XXH3_64bits_reset(w->sum);
    w->summing = 1;
    w->ctail = 0;
    memcpy(w->cache, DUMP_TRAILER_MAGIC, sizeof(DUMP_TRAILER_MAGIC));
    put_be32(w->cache + 8, (uint32_t)listed_tables(run));
    put_be32(w->cache + 12, 0);
    w->ctail = DUMP_TRAILER_HEAD;
    for (int i = 0; i < listed_tables(run); i++) {
        if (cache_room(w, DUMP_TRAILER_ENTRY) != 0) return -1;
        uint8_t *e = w->cache + w->ctail;
        put_be64(e, run->tabs[i].length);
        put_be64(e + 8, run->tabs[i].rows);
        put_be64(e + 16, run->tabs[i].sum);
        w->ctail += DUMP_TRAILER_ENTRY;
    }
    uint32_t version = trailer_version(run);
    if (put_lists(w, version) != 0) return -1;
    if (write_cache(w) != 0) return -1;
    w->summing = 0;
    uint64_t trailer_sum = XXH3_64bits_digest(w->sum);

    build_head_block(run, block);
    uint8_t *x = block + DUMP_EXT_OFFSET;
    memcpy(x, DUMP_EXT_MAGIC, sizeof(DUMP_EXT_MAGIC));
    put_be32(x + 8, version);
    put_be32(x + 12, (run->flag & EXP_LOSSY_CHARSET) ? DUMP_EXT_LOSSY : 0);
    put_be64(x + 16, start);
    put_be64(x + 24, w->data_ofs - start);
    XXH3_state_t head;
    XXH3_64bits_reset(&head);
    dump_hash_head(&head, block);
    hash_directory(run, &head);
    put_be64(x + 32, XXH3_64bits_digest(&head));
    put_be64(x + 40, trailer_sum);
    return pwrite_all(w, x, DUMP_EXT_SIZE, DUMP_EXT_OFFSET);
}
