/*
 * section_sum.c - the checksum, length and row count of each table
 * section, taken from its bytes as they leave the write cache.
 */
#include <assert.h>

#include "dump_reader.h"
#include "exp_local.h"
#include "section_sum.h"

/* A section's checksum and length cover its own bytes only, so that a
 * section written elsewhere (a worker's spill file) keeps them when it is
 * copied into the dump; only the directory's offset depends on where it
 * lands. */
void section_hash(EXP_WORKER *w, const uint8_t *p, size_t n)
{
    if (w->summing) XXH3_64bits_update(w->sum, p, n);
}

void section_begin(EXP_WORKER *w)
{
    XXH3_64bits_reset(w->sum);
    w->summing = 1;
    w->part_start = w->data_ofs + (uint64_t)w->ctail;
}

int section_end(EXP_WORKER *w, EXP_TABLE *tab)
{
    w->summing = 0;
    /* export_table leaves the cache written out at the section's end */
    assert(w->ctail == 0 && w->data_ofs >= w->part_start);
    tab->length = w->data_ofs - w->part_start;
    tab->rows = (uint64_t)w->nrow;
    tab->sum = XXH3_64bits_digest(w->sum);
    return 0;
}

