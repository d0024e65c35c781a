/*
 * write_trailer.h - the trailer of the dump (write_trailer.c).
 */
#ifndef TAB_EXP_WRITE_TRAILER_H
#define TAB_EXP_WRITE_TRAILER_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the trailer after the last section (the sections' checksums of
 * section_sum.h) and fills the header's extension record. Returns 0 or -1
 * (message printed). */
int write_dump_trailer(EXP_WORKER *w);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_WRITE_TRAILER_H */
