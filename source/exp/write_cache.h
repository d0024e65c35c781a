/*
 * write_cache.h - the whole-write loop every write to the dump file goes through
 * (write_cache.c).
 */
#ifndef TAB_EXP_WRITE_CACHE_H
#define TAB_EXP_WRITE_CACHE_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes len bytes at file offset ofs of the dump file, continuing after
 * partial writes and repeating writes interrupted by a signal. Any other
 * failure prints "Write <file>: <reason>" and returns -1. */
int pwrite_all(EXP_WORKER *w, const uint8_t *src, size_t len, uint64_t ofs);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_WRITE_CACHE_H */
