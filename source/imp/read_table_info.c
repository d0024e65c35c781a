/*
 * read_table_info.c - reads the table directory at offset 1024 into its
 * place in the working block, converts it to host order and checks it.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <unistd.h>

#include "imp_local.h"

/* Why an entry cannot be used, or NULL when it can: its section must start
 * inside the data area of the file, its flag and LOB count must agree, it
 * must have columns, and its name must be terminated. */
static const char *entry_fault(const TAB_INFO *t)
{
    uint64_t data_start = DUMP_HEAD_BLOCK + dir_area_size((uint64_t)g_imp.ntab);
    if (t->offset < data_start || t->offset >= g_file_size) return "section offset outside the file";
    if (t->flag & ~(uint32_t)(TAB_HAS_LONG | TAB_HAS_LOB)) return "unknown flag bits";
    if (t->nlob > t->ncol || ((t->flag & TAB_HAS_LOB) != 0) != (t->nlob != 0))
        return "LOB count disagrees with the flag";
    if (t->ncol == 0) return "no columns";
    if (!imp_has_nul(t->tab_name, sizeof(t->tab_name))) return "name not terminated";
    return NULL;
}

int read_table_information(void)
{
    uint8_t *dst = (uint8_t *)g_imp.tabp;
    size_t want = (size_t)g_imp.ntab * sizeof(TAB_INFO);
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

    for (int i = 0; i < g_imp.ntab; i++) {
        TAB_INFO *t = &g_imp.tabp[i];
        uint8_t *raw = (uint8_t *)t;
        t->flag = get_be32(raw + offsetof(TAB_INFO, flag));
        t->ncol = get_be32(raw + offsetof(TAB_INFO, ncol));
        t->nlob = get_be32(raw + offsetof(TAB_INFO, nlob));
        t->nrows = get_be32(raw + offsetof(TAB_INFO, nrows));
        t->offset = get_be64(raw + offsetof(TAB_INFO, offset));
        const char *fault = entry_fault(t);
        if (fault) {
            fprintf(stderr, "Table directory entry %d of %s is damaged: %s.\n", i + 1,
                    g_imp.dump_filename, fault);
            return -1;
        }
    }
    return 0;
}
