/*
 * write_table_info.c - writes the finished table directory behind the
 * header block once every table has been exported.
 */
#include "exp_local.h"
#include "write_cache.h"

/* Converts the table list to file byte order in place; it is not used in
 * host order afterwards. */
int write_table_information(void)
{
    int n = listed_tables();
    for (int i = 0; i < g_exp.ntab; i++) {
        TAB_INFO *t = &g_exp.tabp[i];
        put_be32((uint8_t *)&t->flag, t->flag);
        put_be32((uint8_t *)&t->ncol, t->ncol);
        put_be32((uint8_t *)&t->nlob, t->nlob);
        put_be32((uint8_t *)&t->nrows, t->nrows);
        put_be64((uint8_t *)&t->offset, t->offset);
    }
    if (n <= 0) return 0;
    return pwrite_all((const uint8_t *)g_exp.tabp, (size_t)n * sizeof(TAB_INFO),
                      DUMP_HEAD_BLOCK);
}
