/*
 * write_trailer.h - the sections' checksums and the trailer of the dump
 * (write_trailer.c).
 */
#ifndef TAB_EXP_WRITE_TRAILER_H
#define TAB_EXP_WRITE_TRAILER_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Checksums of the sections, taken from the bytes as the write cache hands
 * them to the file. section_begin starts a table's section, section_end
 * records its length, rows and checksum; write_dump_trailer writes the
 * trailer after the last section and fills the header's extension record.
 * Each returns 0 or -1 (message printed). */
void section_begin(EXP_WORKER *w);
void section_hash(EXP_WORKER *w, const uint8_t *p, size_t n);
int section_end(EXP_WORKER *w, EXP_TABLE *tab);
int write_dump_trailer(EXP_WORKER *w);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_WRITE_TRAILER_H */
