/*
 * dump_reader.c - reads and checks the structure of a dump file through a
 * bounded buffer: header, extension, directory, sections, trailer. Faults
 * are recorded in the reader, never printed.
 */
#define _POSIX_C_SOURCE 200809L

#include "dump_reader.h"

#include <assert.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int fail(DUMP_READER *r, int code, uint64_t ofs, const char *fmt, ...)
{
    va_list ap;
    r->fault.code = code;
    r->fault.ofs = ofs;
    va_start(ap, fmt);
    vsnprintf(r->fault.reason, sizeof(r->fault.reason), fmt, ap);
    va_end(ap);
    return -1;
}

/* Reads len bytes at ofs, continuing short reads. */
static int pread_full(DUMP_READER *r, uint8_t *dst, size_t len, uint64_t ofs)
{
    size_t got = 0;
    while (got < len) {
        ssize_t n = pread(r->fd, dst + got, len - got, (off_t)(ofs + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            r->fault.err = errno;
            return fail(r, DUMP_E_IO, ofs + got, "%s", strerror(errno));
        }
        if (n == 0) return fail(r, DUMP_E_SHORT, ofs + got, "file ends inside a record");
        got += (size_t)n;
    }
    return 0;
}

static int has_nul(const char *field, size_t size)
{
    return memchr(field, '\0', size) != NULL;
}

static int all_zero(const uint8_t *p, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (p[i]) return 0;
    return 1;
}

static int load_long_tables(DUMP_READER *r);

void dump_hash_head(XXH3_state_t *st, const uint8_t *block)
{
    static const uint8_t zero[16];
    XXH3_64bits_update(st, block, DUMP_EXT_SUMS_AT);
    XXH3_64bits_update(st, zero, sizeof(zero));
    XXH3_64bits_update(st, block + DUMP_EXT_SUMS_AT + 16, DUMP_HEAD_BLOCK - DUMP_EXT_SUMS_AT - 16);
}

/* ---- header ------------------------------------------------------------------ */

static int read_extension(DUMP_READER *r, const uint8_t *block)
{
    const uint8_t *e = block + DUMP_EXT_OFFSET;
    if (all_zero(e, DUMP_HEAD_BLOCK - DUMP_EXT_OFFSET)) return 0;
    if (memcmp(e, DUMP_EXT_MAGIC, sizeof(DUMP_EXT_MAGIC)) != 0)
        return fail(r, DUMP_E_DAMAGED, DUMP_EXT_OFFSET, "unknown bytes in the header's reserved area");
    DUMP_EXT *x = &r->ext;
    x->version = get_be32(e + 8);
    x->flags = get_be32(e + 12);
    x->trailer_ofs = get_be64(e + 16);
    x->trailer_len = get_be64(e + 24);
    x->head_sum = get_be64(e + 32);
    x->trailer_sum = get_be64(e + 40);
    if (x->version != DUMP_EXT_VERSION && x->version != DUMP_EXT_VERSION_WARNINGS &&
        x->version != DUMP_EXT_VERSION_RECORDS)
        return fail(r, DUMP_E_DAMAGED, DUMP_EXT_OFFSET + 8, "format version %u not known", x->version);
    if (x->flags & ~DUMP_EXT_LOSSY)
        return fail(r, DUMP_E_DAMAGED, DUMP_EXT_OFFSET + 12, "unknown extension flags");
    if (!all_zero(e + DUMP_EXT_SIZE, DUMP_HEAD_BLOCK - DUMP_EXT_OFFSET - DUMP_EXT_SIZE))
        return fail(r, DUMP_E_DAMAGED, DUMP_EXT_OFFSET + DUMP_EXT_SIZE,
                    "unknown bytes after the extension record");
    uint64_t need = DUMP_TRAILER_HEAD + (uint64_t)r->head.tab_cnt * DUMP_TRAILER_ENTRY +
                    (x->version == DUMP_EXT_VERSION_RECORDS ? DUMP_REC_HEAD
                     : x->version == DUMP_EXT_VERSION_WARNINGS ? 4 : 2);
    if (x->trailer_ofs < r->data_start || x->trailer_len < need ||
        x->trailer_ofs > r->size || x->trailer_len != r->size - x->trailer_ofs)
        return fail(r, DUMP_E_DAMAGED, DUMP_EXT_OFFSET + 16, "trailer place does not fit the file");
    r->has_ext = 1;
    return 0;
}

int dump_open(DUMP_READER *r, int fd)
{
    uint8_t block[DUMP_HEAD_BLOCK];
    memset(r, 0, sizeof(*r));
    r->fd = fd;
    r->fault.table = -1;
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0) {
        r->fault.err = errno;
        return fail(r, DUMP_E_IO, 0, "%s", strerror(errno));
    }
    r->size = (uint64_t)end;
    /* A file shorter than the header block is taken as far as it goes:
     * the base format reads only the first 208 bytes. */
    size_t want = r->size < DUMP_HEAD_BLOCK ? (size_t)r->size : DUMP_HEAD_BLOCK;
    memset(block, 0, sizeof(block));
    if (want < sizeof(HEAD_INFO)) return fail(r, DUMP_E_SHORT, r->size, "file ends inside the header");
    if (pread_full(r, block, want, 0) != 0) return -1;

    HEAD_INFO *h = &r->head;
    memcpy(h->magic, block + offsetof(HEAD_INFO, magic), sizeof(h->magic));
    memcpy(h->owner, block + offsetof(HEAD_INFO, owner), sizeof(h->owner));
    memcpy(h->nls_lang, block + offsetof(HEAD_INFO, nls_lang), sizeof(h->nls_lang));
    h->tab_offset = get_be64(block + offsetof(HEAD_INFO, tab_offset));
    h->tab_cnt = get_be32(block + offsetof(HEAD_INFO, tab_cnt));
    h->rsv = get_be32(block + offsetof(HEAD_INFO, rsv));

    if (memcmp(h->magic, DUMP_MAGIC, sizeof(DUMP_MAGIC)) != 0)
        return fail(r, DUMP_E_MAGIC, 0, "not a dump file");
    if (!has_nul(h->owner, sizeof(h->owner)) || !has_nul(h->nls_lang, sizeof(h->nls_lang)))
        return fail(r, DUMP_E_HEAD, offsetof(HEAD_INFO, owner), "header text not terminated");
    uint64_t n = h->tab_cnt;
    if (n > 0 && DUMP_HEAD_BLOCK + n * sizeof(TAB_INFO) > r->size)
        return fail(r, DUMP_E_COUNT, offsetof(HEAD_INFO, tab_cnt), "table count %u exceeds the file",
                    h->tab_cnt);
    r->data_start = DUMP_HEAD_BLOCK + dir_area_size(n);
    if (want < DUMP_HEAD_BLOCK) return 0;
    if (read_extension(r, block) != 0) return -1;
    if (r->has_ext && r->ext.version == DUMP_EXT_VERSION_RECORDS) return load_long_tables(r);
    return 0;
}

void dump_share(DUMP_READER *dst, const DUMP_READER *src)
{
    *dst = *src;
    dst->buf = NULL;
    dst->cap = 0;
    dst->len = dst->pos = dst->hpos = 0;
    dst->bofs = 0;
    dst->hashing = 0;
    dst->borrowed = 1;
    memset(&dst->fault, 0, sizeof(dst->fault));
    dst->fault.table = -1;
}

void dump_close(DUMP_READER *r)
{
    free(r->buf);
    r->buf = NULL;
    r->cap = 0;
    if (!r->borrowed) free(r->longs);
    r->longs = NULL;
    r->nlong = 0;
}

uint32_t dump_table_count(const DUMP_READER *r)
{
    return r->head.tab_cnt + r->nlong;
}

const char *dump_table_name(const DUMP_READER *r, uint32_t i, const TAB_INFO *t)
{
    if (i < r->head.tab_cnt) return t ? t->tab_name : "";
    if (i - r->head.tab_cnt < r->nlong) return r->longs[i - r->head.tab_cnt].name;
    return "";
}

/* ---- directory --------------------------------------------------------------- */

const char *dump_entry_fault(const DUMP_READER *r, const TAB_INFO *t)
{
    if (t->offset < r->data_start || t->offset >= r->size) return "section offset outside the file";
    if (t->flag & ~(uint32_t)(TAB_HAS_LONG | TAB_HAS_LOB)) return "unknown flag bits";
    if (t->nlob > t->ncol || ((t->flag & TAB_HAS_LOB) != 0) != (t->nlob != 0))
        return "LOB count disagrees with the flag";
    if (t->ncol == 0) return "no columns";
    if (!has_nul(t->tab_name, sizeof(t->tab_name))) return "name not terminated";
    return NULL;
}

static void decode_entry(const uint8_t *raw, TAB_INFO *t)
{
    t->flag = get_be32(raw + offsetof(TAB_INFO, flag));
    t->ncol = get_be32(raw + offsetof(TAB_INFO, ncol));
    t->nlob = get_be32(raw + offsetof(TAB_INFO, nlob));
    t->nrows = get_be32(raw + offsetof(TAB_INFO, nrows));
    t->offset = get_be64(raw + offsetof(TAB_INFO, offset));
    memcpy(t->tab_name, raw + offsetof(TAB_INFO, tab_name), sizeof(t->tab_name));
}

int dump_entry(DUMP_READER *r, uint32_t i, TAB_INFO *t)
{
    uint8_t raw[sizeof(TAB_INFO)];
    uint64_t ofs = DUMP_HEAD_BLOCK + (uint64_t)i * sizeof(TAB_INFO);
    if (i >= r->head.tab_cnt) {
        /* checked when its record was read */
        if (i - r->head.tab_cnt >= r->nlong) return fail(r, DUMP_E_ENTRY, ofs, "no table %u", i + 1);
        *t = r->longs[i - r->head.tab_cnt].t;
        return 0;
    }
    if (pread_full(r, raw, sizeof(raw), ofs) != 0) return -1;
    decode_entry(raw, t);
    const char *why = dump_entry_fault(r, t);
    if (why) {
        r->fault.table = (int)i;
        return fail(r, DUMP_E_ENTRY, ofs, "directory entry %u: %s", i + 1, why);
    }
    return 0;
}

int dump_trail(DUMP_READER *r, uint32_t i, DUMP_TRAIL *tr)
{
    uint8_t raw[DUMP_TRAILER_ENTRY];
    if (r->has_ext && i >= r->head.tab_cnt && i - r->head.tab_cnt < r->nlong) {
        *tr = r->longs[i - r->head.tab_cnt].tr;
        return 0;
    }
    if (!r->has_ext || i >= r->head.tab_cnt) return fail(r, DUMP_E_DAMAGED, 0, "no trailer entry");
    uint64_t ofs = r->ext.trailer_ofs + DUMP_TRAILER_HEAD + (uint64_t)i * DUMP_TRAILER_ENTRY;
    if (pread_full(r, raw, sizeof(raw), ofs) != 0) return -1;
    tr->length = get_be64(raw);
    tr->rows = get_be64(raw + 8);
    tr->sum = get_be64(raw + 16);
    return 0;
}

/* ---- the bounded buffer ------------------------------------------------------- */

/* The cursor over the read buffer: hashed <= consumed <= loaded bytes, the
 * loaded ones within the buffer, and none loaded past the limit of the
 * range being read. Checked where the cursor moves. */
#define CURSOR_OK(r)                                                        \
    ((r)->hpos <= (r)->pos && (r)->pos <= (r)->len &&                       \
     (r)->len <= (r)->cap && ((r)->len == 0 || (r)->bofs + (r)->len <= (r)->limit))

static uint64_t at(const DUMP_READER *r)
{
    return r->bofs + r->pos;
}

/* Starts reading at ofs; nothing is read past limit. */
static int seek_to(DUMP_READER *r, uint64_t ofs, uint64_t limit, int hashing)
{
    if (!r->buf) {
        r->buf = (uint8_t *)malloc(DUMP_READ_BUFFER);
        if (!r->buf) {
            r->fault.err = ENOMEM;
            return fail(r, DUMP_E_IO, ofs, "%s", strerror(ENOMEM));
        }
        r->cap = DUMP_READ_BUFFER;
    }
    r->bofs = ofs;
    r->len = r->pos = r->hpos = 0;
    r->limit = limit;
    r->hashing = hashing;
    if (hashing) XXH3_64bits_reset(&r->hash);
    assert(CURSOR_OK(r));
    return 0;
}

static void hash_consumed(DUMP_READER *r)
{
    if (r->hashing && r->pos > r->hpos) XXH3_64bits_update(&r->hash, r->buf + r->hpos, r->pos - r->hpos);
    r->hpos = r->pos;
    assert(CURSOR_OK(r));
}

/* Grows the buffer to n bytes, keeping what it holds. */
static int reserve(DUMP_READER *r, uint32_t n)
{
    if (n <= r->cap) return 0;
    uint8_t *grown = (uint8_t *)realloc(r->buf, n);
    if (!grown) {
        r->fault.err = ENOMEM;
        return fail(r, DUMP_E_IO, at(r), "%s", strerror(ENOMEM));
    }
    r->buf = grown;
    r->cap = n;
    return 0;
}

/* Makes ahead + n bytes available at the read position by loading the
 * buffer anew from there, grown when they are more than it holds; a fault
 * names the offset ahead bytes on and what. */
static int load_more(DUMP_READER *r, uint32_t ahead, uint32_t n, const char *what)
{
    uint32_t want = ahead + n;
    assert(CURSOR_OK(r));
    if (at(r) + want > r->limit) {
        if (r->limit == r->size)
            return fail(r, DUMP_E_SHORT, at(r) + ahead, "file ends inside %s", what);
        return fail(r, DUMP_E_DAMAGED, at(r) + ahead, "%s runs past the end of the section", what);
    }
    hash_consumed(r);
    if (want > r->cap && reserve(r, want) != 0) return -1;
    /* The unread bytes are read again from the file with the ones after
     * them, as tabimp's read window did, rather than moved in the buffer. */
    r->bofs += r->pos;
    r->pos = r->hpos = r->len = 0;
    uint64_t room = r->cap;
    if (room > r->limit - r->bofs) room = r->limit - r->bofs;
    if (pread_full(r, r->buf, (size_t)room, r->bofs) != 0) return -1;
    r->len = (uint32_t)room;
    assert(CURSOR_OK(r) && r->len - r->pos >= want);
    return 0;
}

/* Makes n bytes available at the read position. Bytes already loaded
 * stay where they are. */
static inline int need(DUMP_READER *r, uint32_t n, const char *what)
{
    if (r->len - r->pos >= n) return 0;
    return load_more(r, 0, n, what);
}

/* As need, for n bytes that follow ahead bytes already checked: a fault
 * names the offset where the n bytes begin. */
static inline int need_ahead(DUMP_READER *r, uint32_t ahead, uint32_t n, const char *what)
{
    if (r->len - r->pos >= ahead + n) return 0;
    return load_more(r, ahead, n, what);
}


static inline int take16(DUMP_READER *r, uint16_t *w, const char *what)
{
    if (need(r, 2, what) != 0) return -1;
    *w = get_be16(r->buf + r->pos);
    r->pos += 2;
    assert(CURSOR_OK(r));
    return 0;
}

static inline int peek16(DUMP_READER *r, uint16_t *w, const char *what)
{
    if (need(r, 2, what) != 0) return -1;
    *w = get_be16(r->buf + r->pos);
    return 0;
}

/* A text block list ended by 0x0000: each block to v->statement. */
static int walk_text_list(DUMP_READER *r, const DUMP_VISIT *v, void *ctx, uint32_t *count)
{
    for (;;) {
        uint16_t len;
        if (take16(r, &len, "the statement list") != 0) return -1;
        if (len == MARK_END) return 0;
        if (need(r, len, "a statement") != 0) return -1;
        if (v && v->statement) {
            int rc = v->statement(ctx, (const char *)r->buf + r->pos, len);
            if (rc != 0) return rc;
        }
        r->pos += len;
        if (count) (*count)++;
    }
}

/* ---- sections ------------------------------------------------------------------ */

const char *dump_columns_fault(const TAB_INFO *t, const uint8_t *raw, char *why, size_t size)
{
    uint32_t nlob = 0, nlong = 0;
    for (uint32_t i = 0; i < t->ncol; i++) {
        const uint8_t *c = raw + (size_t)i * sizeof(COL_INFO);
        uint32_t ctype = get_be32(c + offsetof(COL_INFO, ctype));
        uint32_t clen = get_be32(c + offsetof(COL_INFO, clen));
        if (ctype < CTYPE_CHAR || ctype > CTYPE_BINARY_DOUBLE) {
            snprintf(why, size, "unknown column type %u", ctype);
            return why;
        }
        if (!has_nul((const char *)c + offsetof(COL_INFO, col_name), 32)) {
            snprintf(why, size, "damaged column name");
            return why;
        }
        if (IS_LOB_CTYPE(ctype)) {
            nlob++;
        } else if (IS_LONG_CTYPE(ctype)) {
            nlong++;
        } else if (clen == 0 || clen >= 0xFF00) {
            /* a slot length never has 0xFF as its high byte */
            snprintf(why, size, "column length %u not supported", clen);
            return why;
        }
    }
    uint32_t flag = (nlong ? TAB_HAS_LONG : 0) | (nlob ? TAB_HAS_LOB : 0);
    if (nlong > 1 || flag != t->flag || nlob != t->nlob) {
        snprintf(why, size, "directory entry disagrees with its columns");
        return why;
    }
    return NULL;
}

/* ---- rows and streams: one set of rules for the walk and the importer's pass ---- */

/* The row readers are inlined where they are used, so that the walk,
 * which keeps no values, gets a copy without the stores. */
#if defined(__GNUC__)
#define ROWS_INLINE static inline __attribute__((always_inline))
#else
#define ROWS_INLINE static inline
#endif

/* Slot j of a row, when the caller keeps the values (vals not NULL). */
ROWS_INLINE void put_slot(DUMP_VALUE *vals, uint32_t j, const uint8_t *p, uint32_t len, uint32_t kind)
{
    if (vals) {
        vals[j].p = p;
        vals[j].len = len;
        vals[j].kind = kind;
    }
}

/* A row whose longest form is loaded, checked straight in the buffer with
 * the rules of read_row: 1 when it keeps them all (its slots in vals when
 * given, the read position after it), 0 when it breaks one, and read_row
 * then finds which, and where. */
ROWS_INLINE int scan_row(DUMP_ROWS *rs, DUMP_VALUE *vals)
{
    DUMP_READER *r = rs->r;
    const uint8_t *start = r->buf + r->pos, *p = start;
    const uint8_t *kind = rs->kind;
    const uint32_t *vsz = rs->vsz;
    uint32_t ncol = rs->ncol, nlob = 0;
    int long_value = 0, long_null = 0;
    if (rs->plain) {
        /* only ordinary slots: NULL or a value that fits */
        for (uint32_t j = 0; j < ncol; j++) {
            uint16_t w = get_be16(p);
            p += 2;
            if (w == MARK_NULL) {
                put_slot(vals, j, NULL, 0, DUMP_VAL_NULL);
                continue;
            }
            if (w > vsz[j]) return 0;
            put_slot(vals, j, p, w, DUMP_VAL_VALUE);
            p += w;
        }
        ncol = 0;
    }
    for (uint32_t j = 0; j < ncol; j++) {
        uint16_t w = get_be16(p);
        p += 2;
        if (w == MARK_NULL) {
            long_null |= kind[j] == 2;
            put_slot(vals, j, NULL, 0, DUMP_VAL_NULL);
        } else if (kind[j] == 0) {
            if (w > vsz[j]) return 0;
            put_slot(vals, j, p, w, DUMP_VAL_VALUE);
            p += w;
        } else {
            if (w != (kind[j] == 2 ? MARK_LONG : MARK_LOB)) return 0;
            if (kind[j] == 2)
                long_value = 1;
            else
                nlob++;
            put_slot(vals, j, NULL, 0, kind[j] == 2 ? DUMP_VAL_LONG : DUMP_VAL_LOB);
        }
    }
    if (get_be16(p) != MARK_END) return 0;
    r->pos += (uint32_t)(p + 2 - start);
    rs->long_left = long_value ? 1 : long_null ? 2 : 0;
    rs->lobs_left = nlob;
    rs->in_stream = 0;
    return 1;
}

/* Reads the row record at the read position slot by slot, each rule
 * checked where it applies; vals, when given, receives each slot. Notes
 * the streams that must follow the row. */
static int read_row(DUMP_ROWS *rs, DUMP_VALUE *vals)
{
    DUMP_READER *r = rs->r;
    int long_value = 0, long_null = 0;
    uint32_t nlob = 0;
    for (uint32_t j = 0; j < rs->ncol; j++) {
        if (need(r, 2, "a row") != 0) return -1;
        uint16_t w = get_be16(r->buf + r->pos);
        r->pos += 2;
        uint8_t kind = rs->kind[j];
        if (w == MARK_NULL) {
            if (kind == 2) long_null = 1;
            put_slot(vals, j, NULL, 0, DUMP_VAL_NULL);
            continue;
        }
        if (kind == 0) {
            if (w > rs->vsz[j]) return fail(r, DUMP_E_DAMAGED, at(r) - 2, "value longer than its column");
            if (need(r, w, "a value") != 0) return -1;
            put_slot(vals, j, r->buf + r->pos, w, DUMP_VAL_VALUE);
            r->pos += w;
            continue;
        }
        if (kind == 2) {
            if (w != MARK_LONG) return fail(r, DUMP_E_DAMAGED, at(r) - 2, "LONG slot expected");
            long_value = 1;
        } else {
            if (w != MARK_LOB) return fail(r, DUMP_E_DAMAGED, at(r) - 2, "LOB slot expected");
            nlob++;
        }
        put_slot(vals, j, NULL, 0, kind == 2 ? DUMP_VAL_LONG : DUMP_VAL_LOB);
    }
    uint16_t end;
    if (take16(r, &end, "a row") != 0) return -1;
    if (end != MARK_END) return fail(r, DUMP_E_DAMAGED, at(r) - 2, "end of row expected");
    rs->long_left = long_value ? 1 : long_null ? 2 : 0;
    rs->lobs_left = nlob;
    rs->in_stream = 0;
    return 0;
}

int dump_stream_begin(DUMP_ROWS *rs)
{
    DUMP_READER *r = rs->r;
    uint16_t w;
    if (rs->in_stream) return fail(r, DUMP_E_DAMAGED, at(r), "stream begun inside a stream");
    if (rs->long_left) {
        int optional = rs->long_left == 2;
        rs->long_left = 0;
        if (peek16(r, &w, "the rows") != 0) return -1;
        /* A NULL LONG may come with or without a stream. */
        if (optional && w != MARK_STREAM) return 0;
    } else if (rs->lobs_left) {
        rs->lobs_left--;
    } else {
        return 0;
    }
    if (take16(r, &w, "a stream") != 0) return -1;
    if (w != MARK_STREAM) return fail(r, DUMP_E_DAMAGED, at(r) - 2, "stream start expected");
    rs->in_stream = 1;
    return 1;
}

/* A stream: 0xFFFD, pieces of 1..32768 bytes, 0x0000, and the second zero
 * word some writers add. */
int dump_stream_next(DUMP_ROWS *rs, DUMP_PIECE *pc)
{
    DUMP_READER *r = rs->r;
    uint16_t w;
    if (!rs->in_stream) return 0;
    if (take16(r, &w, "a stream") != 0) return -1;
    if (w == MARK_END) {
        rs->in_stream = 0;
        if (peek16(r, &w, "the rows") != 0) return -1;
        if (w == MARK_END) r->pos += 2;
        return 0;
    }
    if (w > DUMP_PIECE_SIZE) return fail(r, DUMP_E_DAMAGED, at(r) - 2, "stream piece too long");
    if (need(r, w, "a stream piece") != 0) return -1;
    /* the word after the piece says whether it is the last one */
    if (need_ahead(r, w, 2, "a stream") != 0) return -1;
    pc->p = r->buf + r->pos;
    pc->len = w;
    pc->last = get_be16(r->buf + r->pos + w) == MARK_END;
    r->pos += w;
    rs->stream_bytes += w;
    return 1;
}

int dump_streams_skip(DUMP_ROWS *rs)
{
    DUMP_PIECE pc;
    for (;;) {
        int rc;
        while ((rc = dump_stream_next(rs, &pc)) > 0) continue;
        if (rc < 0) return -1;
        if (!rs->long_left && !rs->lobs_left) return 0;
        if (dump_stream_begin(rs) < 0) return -1;
    }
}

/* dump_row_next, inlined into the walk, which keeps no values. */
ROWS_INLINE int row_next(DUMP_ROWS *rs, DUMP_VALUE *vals)
{
    DUMP_READER *r = rs->r;
    if (rs->ended) return 0;
    if ((rs->in_stream | rs->long_left | (rs->lobs_left != 0)) && dump_streams_skip(rs) != 0) return -1;
    /* With keep the longest row the columns allow is loaded before the
     * row is read: none of its slots is moved while the later ones load,
     * and a load that would run past the limit fails without moving. */
    if (rs->keep && r->len - r->pos < rs->max_row) {
        if (rs->max_row > r->cap && reserve(r, rs->max_row) != 0) return -1;
        uint64_t left = rs->limit - at(r);
        if (need(r, (uint32_t)(left < rs->max_row ? left : rs->max_row), "the rows") != 0) return -1;
    }
    uint16_t w;
    if (peek16(r, &w, "the rows") != 0) return -1;
    if (w == MARK_ROWS_END) {
        r->pos += 2;
        rs->ended = 1;
        rs->list_ofs = at(r);
        return 0;
    }
    /* every slot and the end word lie within max_row bytes: a loaded row
     * is checked straight in the buffer, and read slot by slot only when
     * it breaks a rule, to find which and where */
    if (!(r->len - r->pos >= rs->max_row && scan_row(rs, vals)) && read_row(rs, vals) != 0) return -1;
    rs->rows++;
    return 1;
}

int dump_row_next(DUMP_ROWS *rs, DUMP_VALUE *vals)
{
    return row_next(rs, vals);
}

/* The front of a section at the read position: the CREATE TABLE text (to
 * v->ddl), the column block (to v->column, checked against entry t), and
 * the slots of its rows into rs; the front itself into *front when given. */
static int walk_front(DUMP_READER *r, const TAB_INFO *t, const DUMP_VISIT *v, void *ctx,
                      DUMP_ROWS *rs, DUMP_FRONT *front)
{
    uint16_t slen;
    if (take16(r, &slen, "the CREATE TABLE text") != 0) return -1;
    if (slen == 0) return fail(r, DUMP_E_DAMAGED, at(r) - 2, "CREATE TABLE statement missing");
    if (need(r, slen, "the CREATE TABLE text") != 0) return -1;
    if (v && v->ddl) {
        int rc = v->ddl(ctx, (const char *)r->buf + r->pos, slen);
        if (rc != 0) return rc;
    }
    /* the text stays loaded with the block, for *front */
    uint32_t block = t->ncol * (uint32_t)sizeof(COL_INFO);
    uint64_t cofs = at(r) + slen;
    char why[96];
    if (need_ahead(r, slen, block, "the column block") != 0) return -1;
    const uint8_t *raw = r->buf + r->pos + slen;
    if (dump_columns_fault(t, raw, why, sizeof(why)))
        return fail(r, DUMP_E_DAMAGED, cofs, "%s", why);
    if (v && v->column) {
        COL_INFO ci;
        for (uint32_t j = 0; j < t->ncol; j++) {
            const uint8_t *c = raw + (size_t)j * sizeof(COL_INFO);
            ci.ctype = get_be32(c + offsetof(COL_INFO, ctype));
            ci.clen = get_be32(c + offsetof(COL_INFO, clen));
            memcpy(ci.col_name, c + offsetof(COL_INFO, col_name), sizeof(ci.col_name));
            int rc = v->column(ctx, &ci);
            if (rc != 0) return rc;
        }
    }
    /* Row slots stand in select order: the ordinary columns, then the LOB
     * columns, then the LONG column, each in the order of the block. */
    uint32_t k = 0;
    uint64_t max_row = 2;
    for (int pass = 0; pass < 3; pass++) {
        for (uint32_t j = 0; j < t->ncol; j++) {
            uint32_t ctype = get_be32(raw + (size_t)j * sizeof(COL_INFO) + offsetof(COL_INFO, ctype));
            uint32_t clen = get_be32(raw + (size_t)j * sizeof(COL_INFO) + offsetof(COL_INFO, clen));
            int kind = IS_LONG_CTYPE(ctype) ? 2 : IS_LOB_CTYPE(ctype) ? 1 : 0;
            if (kind != pass) continue;
            rs->kind[k] = (uint8_t)kind;
            rs->vsz[k] = kind ? 0 : value_buffer_size(ctype, clen);
            max_row += 2 + (uint64_t)rs->vsz[k];
            k++;
        }
    }
    rs->ncol = t->ncol;
    rs->plain = t->flag == 0;
    rs->max_row = (uint32_t)max_row; /* at most 1000 slots below 0xFF00 * 1.5 bytes each */
    if (front) {
        front->ddl = (const char *)r->buf + r->pos;
        front->ddl_len = slen;
        front->cols = raw;
    }
    r->pos += slen + block;
    return 0;
}

/* Table i's entry and the end of its section: the trailer's length with
 * the extension, the file's end without. */
static int section_place(DUMP_READER *r, uint32_t i, TAB_INFO *t, DUMP_TRAIL *tr, uint64_t *limit)
{
    if (dump_entry(r, i, t) != 0) return -1;
    r->fault.table = (int)i;
    if (t->ncol > DUMP_MAX_COLUMNS)
        return fail(r, DUMP_E_ENTRY, DUMP_HEAD_BLOCK + (uint64_t)i * sizeof(TAB_INFO),
                    "more than %d columns", DUMP_MAX_COLUMNS);
    *limit = r->size;
    if (r->has_ext) {
        if (dump_trail(r, i, tr) != 0) return -1;
        if (tr->length > r->ext.trailer_ofs - t->offset || t->offset > r->ext.trailer_ofs)
            return fail(r, DUMP_E_DAMAGED, t->offset, "section length outside the file");
        *limit = t->offset + tr->length;
    }
    return 0;
}

static void rows_init(DUMP_ROWS *rs, DUMP_READER *r, uint64_t limit)
{
    rs->r = r;
    rs->ncol = rs->max_row = 0;
    rs->rows = rs->stream_bytes = rs->list_ofs = 0;
    rs->limit = limit;
    rs->ended = rs->keep = rs->plain = 0;
    rs->long_left = 0;
    rs->lobs_left = 0;
    rs->in_stream = 0;
}

int dump_rows_begin(DUMP_READER *r, uint32_t i, DUMP_ROWS *rs, DUMP_FRONT *front)
{
    TAB_INFO t;
    DUMP_TRAIL tr = {0, 0, 0};
    uint64_t limit = 0;
    if (section_place(r, i, &t, &tr, &limit) != 0) return -1;
    if (seek_to(r, t.offset, limit, 0) != 0) return -1;
    if (reserve(r, DUMP_ROWS_BUFFER) != 0) return -1;
    rows_init(rs, r, limit);
    rs->keep = 1;
    return walk_front(r, &t, NULL, NULL, rs, front);
}

int dump_rows_statements(DUMP_ROWS *rs, const DUMP_VISIT *v, void *ctx)
{
    DUMP_READER *r = rs->r;
    if (!rs->ended) return fail(r, DUMP_E_DAMAGED, at(r), "statement list asked for before the rows' end");
    if (seek_to(r, rs->list_ofs, rs->limit, 0) != 0) return -1;
    return walk_text_list(r, v, ctx, NULL);
}

int dump_walk_section(DUMP_READER *r, uint32_t i, const DUMP_VISIT *v, void *ctx,
                      DUMP_SECTION *out)
{
    TAB_INFO t;
    DUMP_TRAIL tr = {0, 0, 0};
    DUMP_SECTION s;
    DUMP_ROWS rs;
    uint64_t limit = 0;
    memset(&s, 0, sizeof(s));
    if (out) memset(out, 0, sizeof(*out));
    if (section_place(r, i, &t, &tr, &limit) != 0) return -1;
    if (seek_to(r, t.offset, limit, r->has_ext) != 0) return -1;
    s.offset = t.offset;
    rows_init(&rs, r, limit);
    int rc = walk_front(r, &t, v, ctx, &rs, NULL);
    if (rc != 0) return rc;
    /* rows that fit the buffer are loaded whole, as the importer's pass
     * loads them; wider ones (only possible for a file the importer
     * refuses) are read slot by slot */
    rs.keep = rs.max_row <= r->cap;
    while ((rc = row_next(&rs, NULL)) > 0) continue;
    if (rc < 0) return -1;
    s.rows = rs.rows;
    s.stream_bytes = rs.stream_bytes;
    rc = walk_text_list(r, v, ctx, &s.statements);
    if (rc != 0) return rc;
    s.length = at(r) - t.offset;
    if (out) *out = s;
    if (r->has_ext) {
        if (at(r) != limit)
            return fail(r, DUMP_E_DAMAGED, at(r), "section ends %llu bytes before its recorded end",
                        (unsigned long long)(limit - at(r)));
        hash_consumed(r);
        if (XXH3_64bits_digest(&r->hash) != tr.sum)
            return fail(r, DUMP_E_SUM, t.offset, "section checksum does not match");
        if (s.rows != tr.rows || (uint64_t)t.nrows != (tr.rows & 0xFFFFFFFFu))
            return fail(r, DUMP_E_DAMAGED, t.offset, "row count disagrees with the trailer");
    }
    r->fault.table = -1;
    return 0;
}

/* ---- directory and trailer as a whole ------------------------------------------- */

/* Hands a record's payload of len bytes at the read position to v, and
 * steps over it. A payload wider than the buffer is read into memory of
 * its own, bounded by DUMP_RECORD_MAX. */
static int visit_record(DUMP_READER *r, const DUMP_VISIT *v, void *ctx, uint32_t len)
{
    if (!v || !v->statement) {
        if (len <= DUMP_READ_BUFFER) {
            if (need(r, len, "a trailer record") != 0) return -1;
            r->pos += len;
            return 0;
        }
        return seek_to(r, at(r) + len, r->size, 0);
    }
    if (len <= DUMP_READ_BUFFER) {
        if (need(r, len, "a trailer record") != 0) return -1;
        int rc = v->statement(ctx, (const char *)r->buf + r->pos, len);
        r->pos += len;
        return rc;
    }
    uint64_t ofs = at(r);
    char *text = (char *)malloc(len);
    if (!text) {
        r->fault.err = ENOMEM;
        return fail(r, DUMP_E_IO, ofs, "%s", strerror(ENOMEM));
    }
    int rc = pread_full(r, (uint8_t *)text, len, ofs);
    if (rc == 0) rc = v->statement(ctx, text, len);
    free(text);
    if (rc != 0) return rc;
    return seek_to(r, ofs + len, r->size, 0);
}

/* The typed records of a format 3 trailer, from the read position to the
 * end record, which must end the file. */
static int take_long_table(DUMP_READER *r, uint64_t rec, uint32_t len);

static int walk_records(DUMP_READER *r, const DUMP_VISIT *deferred, const DUMP_VISIT *warnings,
                        void *ctx, int collect)
{
    for (;;) {
        uint64_t rec = at(r);
        if (need(r, DUMP_REC_HEAD, "a trailer record") != 0) return -1;
        uint16_t kind = get_be16(r->buf + r->pos);
        uint32_t len = get_be32(r->buf + r->pos + 2);
        r->pos += DUMP_REC_HEAD;
        if (len > r->size - at(r))
            return fail(r, DUMP_E_DAMAGED, rec, "trailer record of %u bytes runs past the file", len);
        if (kind == DUMP_REC_END) {
            if (len != 0) return fail(r, DUMP_E_DAMAGED, rec, "end record with a payload");
            return 0;
        }
        if (len > DUMP_RECORD_MAX)
            return fail(r, DUMP_E_DAMAGED, rec, "trailer record of %u bytes is longer than %u", len,
                        DUMP_RECORD_MAX);
        const DUMP_VISIT *v = NULL;
        if (kind == DUMP_REC_STATEMENT) {
            if (len == 0) return fail(r, DUMP_E_DAMAGED, rec, "empty statement record");
            v = deferred;
        } else if (kind == DUMP_REC_WARNING) {
            v = warnings;
        } else if (kind == DUMP_REC_TABLE) {
            if (len < DUMP_REC_TABLE_FIXED + sizeof(((TAB_INFO *)0)->tab_name) ||
                len > DUMP_REC_TABLE_FIXED + DUMP_NAME_MAX)
                return fail(r, DUMP_E_DAMAGED, rec, "table record of %u bytes", len);
            if (collect) {
                if (take_long_table(r, rec, len) != 0) return -1;
                continue;
            }
        } else if (kind == DUMP_REC_GRANT || kind == DUMP_REC_COMMENT || kind == DUMP_REC_SYNONYM ||
                   kind == DUMP_REC_SEQUENCE) {
            /* checked on every walk, so that the walk at open refuses a
             * damaged one before anything is done */
            if (len > DUMP_REC_COMMENT_FIXED + 2 * DUMP_NAME_MAX + DUMP_COMMENT_MAX)
                return fail(r, DUMP_E_DAMAGED, rec, "%s record of %u bytes",
                            kind == DUMP_REC_GRANT     ? "grant"
                            : kind == DUMP_REC_COMMENT ? "comment"
                            : kind == DUMP_REC_SYNONYM ? "synonym"
                                                       : "sequence",
                            len);
            if (need(r, len, "a trailer record") != 0) return -1;
            DUMP_OBJ_RECORD o;
            const char *why = dump_parse_obj_record(kind, r->buf + r->pos, len, &o);
            if (why) return fail(r, DUMP_E_DAMAGED, rec, "%s", why);
            int rc = deferred && deferred->record ? deferred->record(ctx, &o) : 0;
            r->pos += len;
            if (rc != 0) return rc;
            continue;
        } else if (!(kind & DUMP_REC_OPTIONAL)) {
            return fail(r, DUMP_E_DAMAGED, rec, "trailer record kind %u not known", kind);
        }
        int rc = visit_record(r, v, ctx, len);
        if (rc != 0) return rc;
    }
}

/* The trailer's lists: the deferred statements to `deferred`, the
 * warnings (formats 2 and 3) to `warnings`; either may be NULL. */
static int walk_trailer_lists(DUMP_READER *r, const DUMP_VISIT *deferred,
                              const DUMP_VISIT *warnings, void *ctx)
{
    if (!r->has_ext) return 0;
    uint64_t list = r->ext.trailer_ofs + DUMP_TRAILER_HEAD + (uint64_t)r->head.tab_cnt * DUMP_TRAILER_ENTRY;
    if (seek_to(r, list, r->size, 0) != 0) return -1;
    r->fault.table = -1;
    if (r->ext.version == DUMP_EXT_VERSION_RECORDS) {
        int rc = walk_records(r, deferred, warnings, ctx, 0);
        if (rc != 0) return rc;
        if (at(r) != r->size) return fail(r, DUMP_E_DAMAGED, at(r), "bytes after the trailer");
        return 0;
    }
    int rc = walk_text_list(r, deferred, ctx, NULL);
    if (rc != 0) return rc;
    if (r->ext.version == DUMP_EXT_VERSION_WARNINGS) {
        rc = walk_text_list(r, warnings, ctx, NULL);
        if (rc != 0) return rc;
    }
    if (at(r) != r->size) return fail(r, DUMP_E_DAMAGED, at(r), "bytes after the trailer");
    return 0;
}

int dump_walk_deferred(DUMP_READER *r, const DUMP_VISIT *v, void *ctx)
{
    return walk_trailer_lists(r, v, NULL, ctx);
}

int dump_walk_warnings(DUMP_READER *r, const DUMP_VISIT *v, void *ctx)
{
    return walk_trailer_lists(r, NULL, v, ctx);
}

/* Hashes len bytes at ofs through the buffer. */
static int hash_range(DUMP_READER *r, uint64_t ofs, uint64_t len)
{
    while (len > 0) {
        size_t n = len > DUMP_READ_BUFFER ? DUMP_READ_BUFFER : (size_t)len;
        if (pread_full(r, r->buf, n, ofs) != 0) return -1;
        XXH3_64bits_update(&r->hash, r->buf, n);
        ofs += n;
        len -= n;
    }
    return 0;
}

static int check_extension(DUMP_READER *r)
{
    uint8_t block[DUMP_HEAD_BLOCK];
    uint32_t n = r->head.tab_cnt;

    if (seek_to(r, 0, r->size, 0) != 0) return -1;
    if (pread_full(r, block, sizeof(block), 0) != 0) return -1;
    XXH3_64bits_reset(&r->hash);
    dump_hash_head(&r->hash, block);
    if (hash_range(r, DUMP_HEAD_BLOCK, r->data_start - DUMP_HEAD_BLOCK) != 0) return -1;
    if (XXH3_64bits_digest(&r->hash) != r->ext.head_sum)
        return fail(r, DUMP_E_SUM, 0, "header or directory checksum does not match");

    XXH3_64bits_reset(&r->hash);
    if (hash_range(r, r->ext.trailer_ofs, r->ext.trailer_len) != 0) return -1;
    if (XXH3_64bits_digest(&r->hash) != r->ext.trailer_sum)
        return fail(r, DUMP_E_SUM, r->ext.trailer_ofs, "trailer checksum does not match");

    uint8_t th[DUMP_TRAILER_HEAD];
    if (pread_full(r, th, sizeof(th), r->ext.trailer_ofs) != 0) return -1;
    if (memcmp(th, DUMP_TRAILER_MAGIC, sizeof(DUMP_TRAILER_MAGIC)) != 0 || get_be32(th + 8) != n ||
        get_be32(th + 12) != 0)
        return fail(r, DUMP_E_DAMAGED, r->ext.trailer_ofs, "trailer head damaged");

    /* The sections follow each other from the data area to the trailer. */
    uint64_t next = r->data_start;
    for (uint32_t i = 0; i < n; i++) {
        TAB_INFO t;
        DUMP_TRAIL tr;
        if (dump_entry(r, i, &t) != 0 || dump_trail(r, i, &tr) != 0) return -1;
        if (t.offset != next || tr.length > r->ext.trailer_ofs - next) {
            r->fault.table = (int)i;
            return fail(r, DUMP_E_DAMAGED, DUMP_HEAD_BLOCK + (uint64_t)i * sizeof(TAB_INFO),
                        "section place disagrees with the trailer");
        }
        next += tr.length;
    }
    /* then the sections of the tables whose names do not fit the
     * directory, in the order of their records */
    for (uint32_t k = 0; k < r->nlong; k++) {
        const DUMP_LONG_TABLE *l = &r->longs[k];
        if (l->t.offset != next || l->tr.length > r->ext.trailer_ofs - next) {
            r->fault.table = (int)(n + k);
            return fail(r, DUMP_E_DAMAGED, r->ext.trailer_ofs,
                        "section place of table \"%.40s\" disagrees with the sections before it",
                        l->name);
        }
        next += l->tr.length;
    }
    if (next != r->ext.trailer_ofs)
        return fail(r, DUMP_E_DAMAGED, r->ext.trailer_ofs, "sections do not end at the trailer");
    return dump_walk_deferred(r, NULL, NULL);
}

int dump_check_directory(DUMP_READER *r)
{
    if (r->has_ext) return check_extension(r);
    for (uint32_t i = 0; i < r->head.tab_cnt; i++) {
        TAB_INFO t;
        if (dump_entry(r, i, &t) != 0) return -1;
    }
    return 0;
}

/* ---- tables whose names do not fit the directory -------------------------------- */

/* Reads the table record of len bytes at the read position (head at rec)
 * into the reader's list. */
static int take_long_table(DUMP_READER *r, uint64_t rec, uint32_t len)
{
    if (need(r, len, "a table record") != 0) return -1;
    const uint8_t *p = r->buf + r->pos;
    DUMP_LONG_TABLE l;
    memset(&l, 0, sizeof(l));
    l.t.flag = get_be32(p);
    l.t.ncol = get_be32(p + 4);
    l.t.nlob = get_be32(p + 8);
    l.t.nrows = get_be32(p + 12);
    l.t.offset = get_be64(p + 16);
    l.tr.length = get_be64(p + 24);
    l.tr.rows = get_be64(p + 32);
    l.tr.sum = get_be64(p + 40);
    uint32_t nlen = len - DUMP_REC_TABLE_FIXED;
    if (memchr(p + DUMP_REC_TABLE_FIXED, '\0', nlen))
        return fail(r, DUMP_E_DAMAGED, rec, "table record: name with a zero byte");
    memcpy(l.name, p + DUMP_REC_TABLE_FIXED, nlen);
    r->pos += len;
    const char *why = dump_entry_fault(r, &l.t);
    if (why) {
        r->fault.table = (int)(r->head.tab_cnt + r->nlong);
        return fail(r, DUMP_E_ENTRY, rec, "table record \"%.40s\": %s", l.name, why);
    }
    /* the tables a file may hold are bounded by its size like the directory */
    if ((uint64_t)r->nlong + 1 > r->size / DUMP_REC_TABLE_FIXED)
        return fail(r, DUMP_E_DAMAGED, rec, "too many table records");
    /* the list doubles as it grows: each record costs the same */
    if (r->nlong == 0 || (r->nlong >= 4 && (r->nlong & (r->nlong - 1)) == 0)) {
        size_t cap = r->nlong ? (size_t)r->nlong * 2 : 4;
        DUMP_LONG_TABLE *grown = (DUMP_LONG_TABLE *)realloc(r->longs, sizeof(DUMP_LONG_TABLE) * cap);
        if (!grown) {
            r->fault.err = ENOMEM;
            return fail(r, DUMP_E_IO, rec, "%s", strerror(ENOMEM));
        }
        r->longs = grown;
    }
    r->longs[r->nlong++] = l;
    return 0;
}

/* Format 3: the trailer's checksum, then its table records into the
 * reader's list, so that every later call sees those tables. */
static int load_long_tables(DUMP_READER *r)
{
    if (seek_to(r, r->ext.trailer_ofs, r->size, 0) != 0) return -1;
    XXH3_64bits_reset(&r->hash);
    if (hash_range(r, r->ext.trailer_ofs, r->ext.trailer_len) != 0) return -1;
    if (XXH3_64bits_digest(&r->hash) != r->ext.trailer_sum)
        return fail(r, DUMP_E_SUM, r->ext.trailer_ofs, "trailer checksum does not match");
    uint64_t list = r->ext.trailer_ofs + DUMP_TRAILER_HEAD + (uint64_t)r->head.tab_cnt * DUMP_TRAILER_ENTRY;
    if (seek_to(r, list, r->size, 0) != 0) return -1;
    int rc = walk_records(r, NULL, NULL, NULL, 1);
    r->fault.table = rc == 0 ? -1 : r->fault.table;
    return rc;
}
