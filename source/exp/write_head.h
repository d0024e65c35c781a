/*
 * write_head.h - the header block as the export writes it first (write_head.c).
 */
#ifndef TAB_EXP_WRITE_HEAD_H
#define TAB_EXP_WRITE_HEAD_H

#include <stddef.h>
#include <stdint.h>

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills a header block (DUMP_HEAD_BLOCK bytes) as the export writes it
 * first: magic, owner, NLS_LANG, directory offset and table count; the rest
 * zero. */
void build_head_block(const EXP_RUN *run, uint8_t *block);

#ifdef __cplusplus
}
#endif

#endif /* TAB_EXP_WRITE_HEAD_H */
