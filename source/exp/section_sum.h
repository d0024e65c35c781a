/*
 * section_sum.h - the sections' checksums, lengths and row counts
 * (section_sum.c).
 */
#ifndef TAB_EXP_SECTION_SUM_H
#define TAB_EXP_SECTION_SUM_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Checksums of the sections, taken from the bytes as the write cache hands
 * them to the file: section_begin starts a table's section, section_hash
 * adds bytes written, section_end records the section's length, rows and
 * checksum in the table record (returns 0). */
void section_begin(EXP_WORKER *w);
void section_hash(EXP_WORKER *w, const uint8_t *p, size_t n);
int section_end(EXP_WORKER *w, EXP_TABLE *tab);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_SECTION_SUM_H */
