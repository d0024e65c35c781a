/*
 * write_table_info.c - writes the finished table directory behind the
 * header block once every table has been exported.
 */
#include <stdio.h>
#include <stdlib.h>

#include "exp_local.h"

/* Writes the directory entries of the listed tables in file byte order;
 * the table list keeps host order. */
int write_table_information(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    int n = listed_tables(run);
    size_t bytes = (size_t)n * sizeof(TAB_INFO);
    if (n <= 0) return 0;
    TAB_INFO *dir = (TAB_INFO *)malloc(bytes);
    if (!dir) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", bytes);
        return -1;
    }
    for (int i = 0; i < n; i++) {
        TAB_INFO *t = &dir[i];
        *t = run->tabs[i].info;
        put_be32((uint8_t *)&t->flag, t->flag);
        put_be32((uint8_t *)&t->ncol, t->ncol);
        put_be32((uint8_t *)&t->nlob, t->nlob);
        put_be32((uint8_t *)&t->nrows, t->nrows);
        put_be64((uint8_t *)&t->offset, t->offset);
    }
    int rc = pwrite_all(w, (const uint8_t *)dir, bytes, DUMP_HEAD_BLOCK);
    free(dir);
    return rc;
}
