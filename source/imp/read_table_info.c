/*
 * read_table_info.c - reads the table directory at offset 1024 into the
 * run's table list, converts it to host order and checks each entry with
 * the shared reader's rules.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <unistd.h>

#include "imp_local.h"
#include "dump_fault.h"
#include "verify_section.h"

int read_table_information(IMP_RUN *run)
{
    DUMP_READER *r = run->dump;
    int listed = (int)r->head.tab_cnt;
    uint8_t raw[sizeof(TAB_INFO) * 64];

    /* The directory in blocks of 64 entries. */
    for (int i = 0; i < listed;) {
        int n = listed - i > 64 ? 64 : listed - i;
        size_t want = (size_t)n * sizeof(TAB_INFO), got = 0;
        while (got < want) {
            ssize_t k = pread(run->fd, raw + got, want - got,
                              (off_t)(DUMP_HEAD_BLOCK + (uint64_t)i * sizeof(TAB_INFO) + got));
            if (k < 0) {
                if (errno == EINTR) continue;
                fprintf(stderr, "Read %s: %s\n", run->dump_filename, strerror(errno));
                return -1;
            }
            if (k == 0) {
                fprintf(stderr, "Read %s not completed.\n", run->dump_filename);
                return -1;
            }
            got += (size_t)k;
        }
        for (int j = 0; j < n; j++, i++) {
            IMP_TABLE *it = &run->tables[i];
            TAB_INFO *t = &it->info;
            const uint8_t *e = raw + (size_t)j * sizeof(TAB_INFO);
            t->flag = get_be32(e + offsetof(TAB_INFO, flag));
            t->ncol = get_be32(e + offsetof(TAB_INFO, ncol));
            t->nlob = get_be32(e + offsetof(TAB_INFO, nlob));
            t->nrows = get_be32(e + offsetof(TAB_INFO, nrows));
            t->offset = get_be64(e + offsetof(TAB_INFO, offset));
            memcpy(t->tab_name, e + offsetof(TAB_INFO, tab_name), sizeof(t->tab_name));
            it->index = (uint32_t)i;
            it->name = t->tab_name;
            const char *fault = dump_entry_fault(r, t);
            if (fault) {
                fprintf(stderr, "Table directory entry %d of %s is damaged: %s.\n", i + 1,
                        run->dump_filename, fault);
                return -1;
            }
        }
    }
    /* The tables whose names do not fit the directory follow its own, as
     * the reader found them in the trailer. */
    for (int i = listed; i < run->ntab; i++) {
        IMP_TABLE *it = &run->tables[i];
        if (dump_entry(r, (uint32_t)i, &it->info) != 0) return imp_dump_fault(run, r);
        it->index = (uint32_t)i;
        it->name = dump_table_name(r, (uint32_t)i, &it->info);
    }
    /* The deferred statements are known now, before any table is created. */
    return r->has_ext ? check_deferred_statements(run) : 0;
}
