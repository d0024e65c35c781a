/*
 * read_table_info.c - reads the table directory at offset 1024 into its
 * place in the working block, converts it to host order and checks each
 * entry with the shared reader's rules.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <unistd.h>

#include "imp_local.h"
#include "read_head.h"
#include "read_table_info.h"
#include "verify_section.h"

const char *imp_table_name(int ti)
{
    return dump_table_name(&g_dump, (uint32_t)ti, &g_imp.tabp[ti]);
}

int read_table_information(void)
{
    uint8_t *dst = (uint8_t *)g_imp.tabp;
    int listed = (int)g_dump.head.tab_cnt;
    size_t want = (size_t)listed * sizeof(TAB_INFO);
    size_t got = 0;

    while (got < want) {
        ssize_t n = pread(g_imp.fd, dst + got, want - got, (off_t)(DUMP_HEAD_BLOCK + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            fprintf(stderr, "Read %s: %s\n", g_imp.dump_filename, strerror(errno));
            return -1;
        }
        if (n == 0) {
            fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
            return -1;
        }
        got += (size_t)n;
    }

    for (int i = 0; i < listed; i++) {
        TAB_INFO *t = &g_imp.tabp[i];
        uint8_t *raw = (uint8_t *)t;
        t->flag = get_be32(raw + offsetof(TAB_INFO, flag));
        t->ncol = get_be32(raw + offsetof(TAB_INFO, ncol));
        t->nlob = get_be32(raw + offsetof(TAB_INFO, nlob));
        t->nrows = get_be32(raw + offsetof(TAB_INFO, nrows));
        t->offset = get_be64(raw + offsetof(TAB_INFO, offset));
        const char *fault = dump_entry_fault(&g_dump, t);
        if (fault) {
            fprintf(stderr, "Table directory entry %d of %s is damaged: %s.\n", i + 1,
                    g_imp.dump_filename, fault);
            return -1;
        }
    }
    /* The tables whose names do not fit the directory follow its own, as
     * the reader found them in the trailer. */
    for (int i = listed; i < g_imp.ntab; i++)
        if (dump_entry(&g_dump, (uint32_t)i, &g_imp.tabp[i]) != 0) return imp_dump_fault();
    /* The deferred statements are known now, before any table is created. */
    return g_dump.has_ext ? check_deferred_statements() : 0;
}
