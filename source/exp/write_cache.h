/*
 * write_cache.h - the whole-write loop every write to the dump file goes through
 * (write_cache.c), and where a parallel run's workers hand their bytes to.
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

/* A parallel run's worker hands the bytes of its write cache on: straight
 * into the dump when its part is the one being written there and nothing
 * of it waits, else to the part's queue (the cache itself is queued and
 * the worker takes a free one; without one the bytes go to its spill
 * file). The cache is empty afterwards. Returns 0 or -1 (message
 * printed). export_parallel.c. */
int pipe_write(EXP_WORKER *w);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_WRITE_CACHE_H */
