/*
 * write_head.c - writes the dump file's header block and reserves the
 * table directory area behind it as zero bytes.
 */
#define _POSIX_C_SOURCE 200809L  /* pwrite, strnlen, open */
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

void build_head_block(const EXP_RUN *run, uint8_t *block)
{
    HEAD_INFO *hi = (HEAD_INFO *)block;
    const char *nls = getenv("NLS_LANG");

    memset(block, 0, DUMP_HEAD_BLOCK);
    memcpy(hi->magic, DUMP_MAGIC, strlen(DUMP_MAGIC));
    memcpy(hi->owner, run->owner_name, strnlen(run->owner_name, sizeof(hi->owner) - 1));
    /* NLS_LANG is kept to 127 characters; byte 191 of the block stays 0. */
    if (nls) memcpy(hi->nls_lang, nls, strnlen(nls, sizeof(hi->nls_lang) - 1));
    put_be64((uint8_t *)&hi->tab_offset, DUMP_HEAD_BLOCK);
    put_be32((uint8_t *)&hi->tab_cnt, (uint32_t)listed_tables(run));
}

/* The header and the directory area are written from the cache in pieces
 * of at most the cache's size, so any number of tables fits. The bytes
 * after HEAD_INFO stay zero until the export has ended well. */
int write_dump_head(EXP_WORKER *w)
{
    uint64_t total = DUMP_HEAD_BLOCK + dir_area_size((uint64_t)listed_tables(w->run));
    size_t chunk = total < (uint64_t)w->csz ? (size_t)total : (size_t)w->csz;
    uint64_t ofs = 0;

    memset(w->cache, 0, chunk);
    build_head_block(w->run, w->cache);

    if (pwrite_all(w, w->cache, chunk, ofs) != 0) return -1;
    ofs += chunk;
    if (ofs < total) {
        memset(w->cache, 0, DUMP_HEAD_BLOCK);  /* the rest is all zeros */
        while (ofs < total) {
            uint64_t left = total - ofs;
            size_t n = left < chunk ? (size_t)left : chunk;
            if (pwrite_all(w, w->cache, n, ofs) != 0) return -1;
            ofs += n;
        }
    }
    w->data_ofs = total;
    w->ctail = 0;
    EXP_ASSERT_CACHE(w);
    return 0;
}
