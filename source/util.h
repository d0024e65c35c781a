/*
 * util.h - the chief header of tabexp and tabimp.
 *
 * Declares the records both programs share (the Oracle handles, the dump
 * file's header, directory entry and column record), each program's column
 * descriptor and state record, the byte-order helpers every reader and
 * writer of the dump file uses, and the operations of both programs.
 */
#ifndef TAB_UTIL_H
#define TAB_UTIL_H

#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <oci.h>

#include "outcome.h"
#include "run_options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- the session ------------------------------------------------------- */

#define ORA_MESSAGE_SIZE 16384

/* METRICS=Y: a session's readings of its own round trips (metrics.c), and
 * where its count goes when it ends. */
typedef struct __trip_meter {
    TRIP_TOTAL *total;   /* the run's total; NULL: METRICS is off */
    OCIStmt *stmt;       /* the reading, prepared once */
    OCIError *errhp;     /* its own error handle: a reading leaves the session's alone */
    char value[32];      /* the value read */
    sb2 ind;
    long long readings;  /* readings made, each one round trip taken off the counts */
    long long at_table;  /* the value at the current table's start; -1 none */
    double table_start;  /* seconds (monotonic) at the current table's start */
    int unavailable;     /* the statistic could not be read */
    int ended;           /* counted into total */
} TRIP_METER;

/* One database session: its handles and the last error reported on it.
 * Each worker of a run owns one; nothing in it is shared between threads. */
typedef struct __oci_env {
    int mode;            /* environment mode: OCI_DEFAULT, or OCI_THREADED for a worker of a parallel run */
    OCIEnv *envhp;       /* environment handle */
    OCIError *errhp;     /* error handle; every status check reads it */
    OCISvcCtx *svchp;    /* service context */
    OCIServer *srvhp;    /* server handle */
    OCISession *usrhp;   /* user session handle */
    OCIStmt *smthp;      /* the statement handle, on which statements are prepared in turn */
    int oec;                     /* code of the last reported error; -1 for the program's own */
    char oem[ORA_MESSAGE_SIZE];  /* its text, NUL-terminated */
    TRIP_METER meter;            /* METRICS=Y; meter.total is kept by connect_oracle */
} OCI_ENV;


/* Connect arguments from USERID; each field NUL-terminated. */
typedef struct {
    char username[32];
    char password[32];
    char tnsname[128];
} CONN_ARGS;

/* What check_error makes of the status of an OCI call. The values are the
 * ones the programs have always used, so that a status can be logged as a
 * number. */
typedef enum {
    CHECK_FAILURE = -1,    /* an error; its code and text are in the session */
    CHECK_SUCCESS = 0,
    CHECK_WITH_INFO = 1,   /* success with a message kept in the session */
    CHECK_NEED_DATA = 99,  /* a piecewise call wants its next piece */
    CHECK_NO_DATA = 100    /* a fetch found no more rows */
} CHECK_STATUS;

void show_copyright(void);
/* Classifies status; for an error or success with information, reads the
 * first record of env's error handle into env->oec / env->oem. */
CHECK_STATUS check_error(OCI_ENV *env, sword status);
/* Stores a report of the program's own (code -1) in env. */
void set_own_report(OCI_ENV *env, const char *text);
int get_ora_code(const OCI_ENV *env);
const char *get_ora_message(const OCI_ENV *env);
/* Whether the last error says the session is gone (killed, not logged on,
 * end-of-file on the connection, shut down): nothing more can be asked on
 * it, so no other way of asking is tried. */
int session_lost(const OCI_ENV *env);
/* Opens a session into env (cleared first, keeping env->mode). A failed connect leaves the
 * handles it got in env for disconnect_oracle. Returns 0 or -1. */
int connect_oracle(OCI_ENV *env, const char *user, const char *passwd, const char *tns);
/* Ends env's session and frees its handles; safe in every state. With
 * METRICS=Y the session's round trips are added to the run's total first. */
int disconnect_oracle(OCI_ENV *env);

/* ---- METRICS=Y ------------------------------------------------------------ */

/* Marks the start of a table on the session: its time and round trips. */
void metrics_table_begin(OCI_ENV *env);
/* The end of a table's line: "  0.12 s  14 round trips" since the table
 * began ("  0.12 s" when the statistic cannot be read), in buf; "" when
 * METRICS is off. */
const char *metrics_table_end(OCI_ENV *env, char *buf, size_t size);
/* A table read in parts by several sessions (ROWID ranges of a parallel
 * run): each part is begun with metrics_table_begin on its session; its
 * round trips at its end (-1 when they cannot be read or METRICS is off)
 * and the monotonic time it began. */
long long metrics_part_trips(OCI_ENV *env);
double metrics_part_start(const OCI_ENV *env);
/* The line's end for a time in seconds (a negative value: minus the
 * monotonic time the table began) and round trips (-1: unknown), in buf. */
const char *metrics_format(char *buf, size_t size, double seconds, long long trips);
/* Reads the session's round trips one last time and adds them, without
 * the readings and with the logoff's two (OCISessionEnd, OCIServerDetach),
 * to the run's total; once per session. */
void metrics_session_end(OCI_ENV *env);
/* Prints "Round trips to the database: N" (or "not available") on stderr
 * when METRICS=Y, once every session of the run has ended or been read. */
void metrics_closing_line(const RUN_OPTIONS *opts);

/* ---- files, messages and character sets ---------------------------------- */

/* Opens path for writing as a file only its owner may read: created with
 * mode 0600 (the umask can only narrow it); an existing regular file is
 * first narrowed to its owner's rights and then emptied (pipes and devices
 * are taken as they are). Returns the descriptor, or -1 with errno set and
 * an existing file left untouched. */
int open_private_file(const char *path);

/* The LOG file, opened as open_private_file does and line-buffered; NULL
 * on failure. */
FILE *open_log_file(const char *path);

/* The dump an export writes: under a temporary name (tmp, "" when FILE is
 * written directly) that becomes final's (FILE, or the file a symbolic
 * link FILE points to) only when the run has succeeded. */
#ifndef PATH_MAX
#define PATH_MAX 4096
#endif
typedef struct __dump_output {
    char tmp[PATH_MAX + 32];
    char final[PATH_MAX];
    char refused_link[PATH_MAX];  /* a link on the way to FILE that may not be followed */
} DUMP_OUTPUT;

/* Creates the temporary file beside FILE (mode 0600, O_EXCL, a random
 * name); a FILE that names a pipe or a device is opened directly as
 * open_private_file does. Returns the descriptor, or -1 with errno set and
 * nothing created; refused_link is set when the path leads through a
 * symbolic link of another user in a world-writable sticky folder. */
int open_dump_output(const char *path, DUMP_OUTPUT *out);
/* Renames the closed temporary file over FILE. Returns 0, or -1 with errno
 * set and the temporary file removed. */
int finish_dump_output(DUMP_OUTPUT *out);
/* Removes the temporary file, if any. */
void discard_dump_output(DUMP_OUTPUT *out);

/* The database file the connect identifier names for the embedded
 * database: the identifier, else TWO_TASK, else "tabdb.db". */
const char *run_database_path(const char *tnsname);

/* Refuses, before anything is opened for writing, a LOG that is the same
 * file as FILE, and a FILE (unless dump_is_input: the dump tabimp reads)
 * or LOG that is the database file or one of its files (-journal, -wal,
 * -shm, -users). Existing files are compared by device and inode, others
 * by resolved path. The database is compared only when the connect
 * identifier names an existing file or looks like a path. Returns 0, or
 * -1 with one message per refused name. */
int check_run_files(const char *dump, int dump_is_input, const char *log, const char *tnsname);

/* From report_begin to report_end, everything the run writes to stderr is
 * also written to log (when not NULL), and after report_table(name) the
 * next line written is preceded by "Table \"name\":". report_table(NULL)
 * forgets the name. report_begin returns 0, or -1 when stderr stays as it
 * was. */
int report_begin(FILE *log);
void report_table(const char *name);
void report_end(void);

/* The start of a run's reporting: opens the LOG file at path unless path
 * is empty (on failure: "Open LOG file error, output to screen.") and
 * begins the copies of stderr into it. Returns the stream of the progress
 * lines, the log or stdout. */
FILE *begin_run_log(const char *path);

/* Whether character set `holder` has every character of set `held`
 * (Oracle names, any case): equal sets, a Unicode holder, or US7ASCII held
 * by an ASCII-based set. */
int charset_holds(const char *holder, const char *held);

/* The character set part of an NLS_LANG value (after its '.'), or
 * US7ASCII when there is none; cut to size - 1 bytes. */
void nls_lang_charset(const char *nls_lang, char *out, size_t size);

/* Compares the character set of nls_lang with the connected database's
 * character set and national character set: a client set that cannot hold
 * every character of one of them (and with both_ways, one of them that
 * cannot hold every character of the client set) gets a warning line each.
 * Returns 0 when nothing can be lost, 1 after the warnings, -1 when the
 * sets cannot be read or strict (CHARSET=STRICT) refuses the run
 * (message printed). */
int check_charsets(OCI_ENV *env, const char *nls_lang, int both_ways, int strict);

/* ---- column type codes ------------------------------------------------- */

#define CTYPE_CHAR 1
#define CTYPE_NCHAR 2
#define CTYPE_VARCHAR2 3
#define CTYPE_NVARCHAR2 4
#define CTYPE_NUMBER 5
#define CTYPE_DATE 6
#define CTYPE_TIMESTAMP 7
#define CTYPE_TIMESTAMP_TZ 8
#define CTYPE_TIMESTAMP_LTZ 9
#define CTYPE_INTERVAL_YM 10
#define CTYPE_INTERVAL_DS 11
#define CTYPE_RAW 12
#define CTYPE_LONG 13
#define CTYPE_LONG_RAW 14
#define CTYPE_CLOB 15
#define CTYPE_NCLOB 16
#define CTYPE_BLOB 17
#define CTYPE_BINARY_FLOAT 18
#define CTYPE_BINARY_DOUBLE 19
#define CTYPE_UNSUPPORTED 999

/* Oracle's built-in type codes used as external types for codes 7 to 11. */
#define SQLT_ORA_TIMESTAMP 180
#define SQLT_ORA_TIMESTAMP_TZ 181
#define SQLT_ORA_INTERVAL_YM 182
#define SQLT_ORA_INTERVAL_DS 183
#define SQLT_ORA_TIMESTAMP_LTZ 231

#define IS_LONG_CTYPE(t) ((t) == CTYPE_LONG || (t) == CTYPE_LONG_RAW)
#define IS_LOB_CTYPE(t) ((t) == CTYPE_CLOB || (t) == CTYPE_NCLOB || (t) == CTYPE_BLOB)
#define IS_NATIONAL_CTYPE(t) \
    ((t) == CTYPE_NCHAR || (t) == CTYPE_NVARCHAR2 || (t) == CTYPE_NCLOB)

int convert_type_to_int(const char *type_name);
int convert_to_sqlt(int ctype);

/* Width of one value buffer of an ordinary column, from its type code and
 * its clen (DATA_LENGTH). DATA_LENGTH of NCHAR and NVARCHAR2 counts two
 * bytes per character (the national character set), while the client gets
 * the characters in its own character set, up to three bytes for two of
 * the national set's (UTF-8 of a character of the Basic Multilingual
 * Plane); their buffers are half as large again, so that no value is cut.
 * Both programs size buffers and check slot lengths with this. */
static inline uint32_t value_buffer_size(uint32_t ctype, uint32_t clen)
{
    if (ctype == CTYPE_NCHAR || ctype == CTYPE_NVARCHAR2) return clen + (clen + 1) / 2;
    return clen;
}

/* ---- LOB and LONG values in arrays ---------------------------------------- */

/* LOB values of up to this size travel inside the array fetch of their
 * rows (LOB prefetch: characters of a CLOB or NCLOB, bytes of a BLOB, as
 * Oracle counts them) and inside the array INSERT (bytes as the dump
 * holds them, bound as data); larger ones are read and written through
 * their locators. Its size weighs rows per round trip against values read
 * apart: each LOB column takes the bound in every row of a fetch or an
 * INSERT, so 64 KiB leaves some 30 rows of two LOB columns per round
 * trip in the 4 MiB row and bind areas. */
#define LOB_ARRAY_BOUND 65536u
/* Piece of a LONG value that comes inside its row's array fetch; a longer
 * value is read again on its own, by its row's ROWID. */
#define LONG_ARRAY_PIECE 32768u
/* A ROWID as text, and its terminating NUL: Oracle's extended form has 18
 * characters; room is left for the longer forms of other kinds of tables. */
#define ROWID_TEXT_SIZE 40

/* Test builds only: TAB_TEST_ROW_AT_A_TIME=1 in the environment makes
 * both programs move the rows of tables with LOB or LONG columns one at a
 * time, as they did before such rows went in arrays, so that tests can
 * hold the two ways against each other. */
static inline int rows_one_at_a_time(void)
{
#ifdef TABDB_TEST_HOOKS
    const char *v = getenv("TAB_TEST_ROW_AT_A_TIME");
    return v != NULL && v[0] == '1';
#else
    return 0;
#endif
}

/* ---- the dump file ----------------------------------------------------- */

#define DUMP_MAGIC "Tabdump"
#define DUMP_HEAD_BLOCK 1024     /* header block size; the directory follows */
#define DUMP_DIR_ALIGN 512       /* the directory area is a multiple of this */
#define DUMP_PIECE_SIZE 32768    /* largest stream piece */
#define DUMP_TEXT_MAX 65535      /* largest text block */

/* Two-byte marks where a value slot, a piece or a text block may stand. */
#define MARK_END 0x0000          /* end of row, stream, or index list */
#define MARK_LONG 0xFFFB         /* LONG value follows in a stream */
#define MARK_LOB 0xFFFC          /* LOB value follows in a stream */
#define MARK_STREAM 0xFFFD       /* start of a stream */
#define MARK_NULL 0xFFFE         /* NULL value */
#define MARK_ROWS_END 0xFFFF     /* end of the rows of a table */

/* TAB_INFO flag bits */
#define TAB_HAS_LONG 1
#define TAB_HAS_LOB 2

typedef struct __head_info {
    char magic[32];
    char owner[32];
    char nls_lang[128];
    uint64_t tab_offset;
    uint32_t tab_cnt;
    uint32_t rsv;
} HEAD_INFO;

typedef struct __tab_info {
    uint32_t flag;
    uint32_t ncol;
    uint32_t nlob;
    uint32_t nrows;
    uint64_t offset;
    char tab_name[32];
} TAB_INFO;

typedef struct __col_info {
    uint32_t ctype;
    uint32_t clen;
    char col_name[32];
} COL_INFO;

#ifdef __cplusplus
static_assert(sizeof(HEAD_INFO) == 208, "HEAD_INFO is 208 bytes");
static_assert(sizeof(TAB_INFO) == 56, "TAB_INFO is 56 bytes");
static_assert(sizeof(COL_INFO) == 40, "COL_INFO is 40 bytes");
#else
_Static_assert(sizeof(HEAD_INFO) == 208, "HEAD_INFO is 208 bytes");
_Static_assert(sizeof(TAB_INFO) == 56, "TAB_INFO is 56 bytes");
_Static_assert(sizeof(COL_INFO) == 40, "COL_INFO is 40 bytes");
#endif

/* Size of the directory area for n tables: 56 x n rounded up to 512. */
static inline uint64_t dir_area_size(uint64_t n)
{
    uint64_t d = n * sizeof(TAB_INFO);
    return (d + DUMP_DIR_ALIGN - 1) / DUMP_DIR_ALIGN * DUMP_DIR_ALIGN;
}

/* Big-endian helpers: the only place where byte order is handled. */
static inline void put_be16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

static inline void put_be32(uint8_t *p, uint32_t v)
{
    put_be16(p, (uint16_t)(v >> 16));
    put_be16(p + 2, (uint16_t)v);
}

static inline void put_be64(uint8_t *p, uint64_t v)
{
    put_be32(p, (uint32_t)(v >> 32));
    put_be32(p + 4, (uint32_t)v);
}

static inline uint16_t get_be16(const uint8_t *p)
{
    return (uint16_t)((p[0] << 8) | p[1]);
}

static inline uint32_t get_be32(const uint8_t *p)
{
    return ((uint32_t)get_be16(p) << 16) | get_be16(p + 2);
}

static inline uint64_t get_be64(const uint8_t *p)
{
    return ((uint64_t)get_be32(p) << 32) | get_be32(p + 4);
}

/* In-place conversions of a record field between host and file order. */
static inline uint32_t swap_be32(uint32_t v)
{
    uint8_t b[4];
    put_be32(b, v);
    uint32_t r;
    __builtin_memcpy(&r, b, 4);
    return r;
}

static inline uint64_t swap_be64(uint64_t v)
{
    uint8_t b[8];
    put_be64(b, v);
    uint64_t r;
    __builtin_memcpy(&r, b, 8);
    return r;
}

/* ---- column descriptors ------------------------------------------------ */

#define DEFINE_LONG_PIECEWISE 1  /* DEFINE_COLUMN.flag: a LONG column defined for piecewise fetch */
#define DEFINE_LONG_ARRAY 2      /* a LONG column whose first LONG_ARRAY_PIECE bytes come in the array */
#define DEFINE_LOB_ARRAY 4       /* a LOB column with a locator per row of the array */

typedef struct __define_column {
    uint32_t flag;   /* DEFINE_... */
    uint32_t vsz;    /* width of one value; 0 for LOB and piecewise LONG */
    uint32_t ctype;  /* internal column type code */
    sb2 *indp;       /* indicators, one per row */
    ub2 *alenp;      /* lengths, one per row */
    ub2 *rcodep;     /* column return codes, one per row */
    uint8_t *valp;   /* values; the LOB locator, or with DEFINE_LOB_ARRAY an array of
                        locator pointers, one per row; null for a piecewise LONG */
} DEFINE_COLUMN;

typedef struct __bind_column {
    uint32_t flag;   /* 0 ordinary or RETURNING, 1 LONG, 2 LOB */
    uint32_t vsz;
    uint32_t ctype;
    sb2 *indp;
    ub2 *alenp;
    ub2 *rcodep;
    uint8_t *valp;
} BIND_COLUMN;

#define BIND_ORDINARY 0
#define BIND_LONG 1
#define BIND_LOB 2
#define BIND_LOB_DATA 3  /* a LOB column bound as data (SQLT_LVC, SQLT_LVB), one value per row */
#define BIND_LONG_DATA 4 /* a LONG column bound as data (SQLT_CHR, SQLT_BIN), one short value per row */

/* ---- tabexp ---------------------------------------------------------------- */

#define EXP_STORAGE 1            /* EXP_RUN.flag: STORAGE=Y */
#define EXP_LOSSY_CHARSET 2      /* EXP_RUN.flag: the client character set cannot hold the database's */
#define EXP_ROW_AREA 4194304     /* bytes of a worker's row area */
#define EXP_CACHE_SIZE 2097152   /* bytes of a worker's write cache */
#define EXP_PARALLEL_MAX 64      /* most worker sessions of PARALLEL=n */

struct __exp_run;
struct __obj_stmt;
struct __exp_warning;
struct XXH3_state_s;
struct __exp_split;
struct __exp_range;
struct __exp_piece;
struct __exp_pipe;

/* One table of the run: its directory entry and what its section became.
 * A worker writes the fields of the table it holds; the coordinator reads
 * them only after the worker has reported the table done. */
typedef struct __exp_table {
    TAB_INFO info;        /* directory entry, in host order until the directory is written */
    char *long_name;      /* the name when it does not fit info.tab_name (carried by the trailer); else NULL */
    uint64_t length;      /* bytes of the section */
    uint64_t rows;        /* rows of the section */
    uint64_t sum;         /* checksum of the section's bytes */
    uint64_t estimate;    /* size the dictionary gives, for the order of a parallel run */
    uint64_t spill_ofs;   /* parallel run: offset of the section in its worker's spill file */
    int spill_worker;     /* parallel run: the worker whose spill file holds it; -1 none */
    int done;             /* parallel run: 1 once the section is complete in the spill file */
    struct __exp_split *split;  /* its ROWID ranges when it is read in ranges; NULL: read whole */
    struct __table_meta *meta;  /* (lock) its dictionary rows and DDL texts read in a batch; NULL none */
    int meta_state;       /* (lock) TABLE_META_NONE, _READING (another worker's batch), _READY */
} EXP_TABLE;

/* What one worker owns: its session, its row area and write cache, the
 * define columns and state of the table it exports, and the sink its
 * sections go to (the dump itself in a serial run, a spill file of its
 * own in a parallel one). Nothing in it is touched by another thread. */
typedef struct __exp_worker {
    struct __exp_run *run;
    int id;               /* 0 for the coordinator's session, 1..n for workers */
    OCI_ENV env;          /* the worker's session */
    int fd;               /* the sink: dump file or spill file; -1 none */
    uint64_t data_ofs;    /* where the next write cache flush goes in fd */
    uint64_t writeback_ofs;
    char spill[PATH_MAX + 48];  /* the spill file's name; "" none */
    int buf_sz;           /* bytes of buf: row area then write cache */
    int rsz;              /* bytes of the fetch part of the row area, from rbuf */
    int csz;              /* bytes of the write cache */
    int ctail;            /* bytes waiting in the write cache */
    int max_row;          /* rows per fetch of the current table */
    int nrow;             /* rows of the current table so far */
    uint8_t *buf;
    uint8_t *rbuf;
    uint8_t *cache;
    COL_INFO *colp;       /* the current table's column block, in the cache */
    DEFINE_COLUMN *dc;    /* its define columns, in the row area */
    char (*select_names)[32];  /* its column names in select order, in the row area */
    DEFINE_COLUMN *long_dc;    /* the LONG column of the row being exported */
    int long_slot;        /* cache offset of that LONG's value slot, -1 once written out */
    /* Rows of LOB and LONG tables in arrays: the ROWIDs of the rows fetched
     * (ROWID_TEXT_SIZE bytes each) and the statement that reads a LONG
     * value longer than its array piece again by its row's ROWID, with its
     * ROWID bind and its piecewise define. NULL when the table has no LONG
     * column or its rows come one at a time. */
    char *rowids;
    OCIStmt *long_smthp;
    char *reread_rowid;
    DEFINE_COLUMN *reread_dc;
    EXP_TABLE *tab;       /* the table being exported */
    struct XXH3_state_s *sum;  /* checksum of the current section */
    int summing;
    uint64_t part_start;  /* sink offset where the current section began */
    int dict_quiet;       /* failed dictionary queries stay silent (another way follows) */
    const struct __exp_range *range;  /* the ROWID range of the table being read; NULL: all its rows */
    const char *rows_fmt;      /* the progress line the rows of a range left for the table's end */
    uint64_t out_bytes;        /* bytes the write cache has handed on, for the size of a range */
    struct __exp_piece *piece; /* parallel run: the part of the dump being written */
    char identity_col[266];    /* the current table's identity column, quoted; "" none */
    char identity_kind[24];
    size_t table_text_len;
    char table_text[DUMP_TEXT_MAX + 1];  /* its CREATE TABLE text as the dump holds it */
} EXP_WORKER;

/* What the run shares. Options, the table list, the gathered statements
 * and the output file are written only by the coordinator, before the
 * workers start and after they have ended. While workers run, the fields
 * marked (lock) are changed only under `lock` (a pthread_mutex_t): the
 * warnings, the next table to hand out, the failure mark and the progress
 * lines written to ofp; `failed` is also read without it as a hint. */
typedef struct __exp_run {
    RUN_OPTIONS opts;     /* the options both programs share */
    CONN_ARGS conn;       /* USERID */
    int flag;             /* EXP_STORAGE, EXP_LOSSY_CHARSET */
    int inconsistent;     /* CONSISTENT=N: each table read at its own moment */
    int parallel;         /* PARALLEL=n: worker sessions (1 writes the dump directly) */
    char owner_name[32];
    char dump_filename[256];
    char log_filename[256];
    FILE *ofp;            /* progress lines: the log or stdout (lock) */
    int fd;               /* the dump file; -1 none */
    DUMP_OUTPUT out;      /* its temporary and final names */
    EXP_TABLE *tabs;      /* the tables, in directory order; long names last */
    int ntab;
    int nlisted;          /* the tables of the directory: those without long_name */
    EXP_TABLE **by_name;  /* the tables sorted by name, for find_table */
    struct __obj_stmt *objs;  /* the gathered statements */
    int nobjs;
    int objs_cap;
    uint32_t seq;
    struct __exp_warning *warnings;  /* (lock) the run's warnings */
    int nwarnings;
    int warnings_cap;
    char *view_names;     /* the views gathered, sorted, LONG_NAME_WIDTH bytes each */
    int nviews;
    struct __name_set *mviews;  /* the materialized views gathered (NULL: none) */
    char scn[48];         /* the snapshot's system change number, "" none */
    const char *current_table;  /* the table exported when a signal stopped a serial run */
    EXP_WORKER main;      /* the coordinator's session and buffers */
    EXP_WORKER *workers;  /* parallel run: the worker sessions */
    void *lock;           /* pthread_mutex_t of a parallel run; NULL in a serial one */
    int next;             /* (lock) next place in `order` to hand out */
    int *order;           /* parallel run: table indexes, largest first */
    int *hand_pos;        /* parallel run handing out by size: each table's place in `order`;
                             NULL: tables go in directory order */
    volatile int failed;  /* (lock) a worker failed: the others stop */
    int failed_table;     /* (lock) the table of the first failure, -1 none */
    struct __exp_pipe *pipe;  /* parallel run: the parts of the dump, their order and buffers */
} EXP_RUN;

void show_usage(const char *prog_name);
int parse_arguments(int argc, char **argv);  /* tabimp's */
/* Fills run from tabexp's command line; 0 or -1 (message and usage printed). */
int parse_export_arguments(EXP_RUN *run, int argc, char **argv);
/* A whole export with the run record run (cleared first); returns the
 * run's status. main is this with a run of its own. */
int export_run(EXP_RUN *run, int argc, char **argv);
int export_table(EXP_WORKER *w, EXP_TABLE *tab);
int export_table_information(EXP_WORKER *w);
int write_dump_head(EXP_WORKER *w);
int write_cache(EXP_WORKER *w);
int write_table_information(EXP_WORKER *w);
int export_create_table_sql(EXP_WORKER *w, EXP_TABLE *tab);
int export_create_index_sql(EXP_WORKER *w, EXP_TABLE *tab);
int export_create_constraint_sql(EXP_WORKER *w, EXP_TABLE *tab);
int export_column_information(EXP_WORKER *w, EXP_TABLE *tab);
int prepare_to_select(EXP_WORKER *w, EXP_TABLE *tab);
int export_multiple_row(EXP_WORKER *w, EXP_TABLE *tab);
int export_single_row(EXP_WORKER *w, EXP_TABLE *tab);
int fetch_long_piece(EXP_WORKER *w);
/* The LONG stream of row `row` of the array whose value was longer than
 * its piece: read again by the row's ROWID, in pieces. 0 or -1. */
int fetch_long_again(EXP_WORKER *w, uint32_t row);
/* The stream of the LOB value of column di of row `row` (0 when the rows
 * come one at a time). 0 or -1. */
int fetch_lob(EXP_WORKER *w, int di, uint32_t row);
int free_lob_locator(EXP_WORKER *w, EXP_TABLE *tab);

/* ---- tabimp ---------------------------------------------------------------- */

#define IMP_IGNORE 1             /* IMP_RUN.flag: IGNORE=Y */
#ifndef IMP_WINDOW_SIZE
#define IMP_WINDOW_SIZE 2097152  /* longest row record taken: the reader's buffer holds one whole */
#endif
#ifndef IMP_BIND_AREA
#define IMP_BIND_AREA 4194304    /* bytes of the bind area (smaller in some test builds) */
#endif
#define IMP_PARALLEL_MAX 64      /* most worker sessions of PARALLEL= */

/* TABLE_EXISTS_ACTION: what to do with a table the target already holds.
 * NONE keeps the old rule (fail without IGNORE=Y, append with it). */
enum { TEA_NONE, TEA_SKIP, TEA_APPEND, TEA_TRUNCATE, TEA_REPLACE };

/* One table of the dump: its directory entry in host order (or the entry
 * a long-name record carries), its number in the dump and its name. */
typedef struct __imp_table {
    TAB_INFO info;
    uint32_t index;
    const char *name;    /* the entry's tab_name, or the reader's long name */
    int done;            /* its rows and statements went in (a stop names it completed) */
} IMP_TABLE;

/* A sorted list of names, searched by halves. */
typedef struct __imp_names {
    char **names;
    int n, cap;
} IMP_NAMES;

struct __dump_reader;
struct __dump_rows;
struct __dump_value;
struct __imp_held;

/* What the whole run shares: the options, the dump file and its table
 * list, the objects the run made, and the deferred list's look-up table.
 * Workers read it; what they change (the object lists) is guarded by
 * lock when the run has more than one worker. */
typedef struct __imp_run {
    RUN_OPTIONS opts;              /* the options both programs share */
    CONN_ARGS conn;                /* USERID */
    int flag;                      /* IMP_IGNORE */
    int table_exists_action;       /* TEA_... */
    int partition_merge;           /* PARTITION_OPTIONS=MERGE */
    int parallel;                  /* worker sessions, 1..IMP_PARALLEL_MAX */
    int fd;                        /* the dump, read with pread only */
    uint64_t file_size;            /* of the dump when it was opened */
    FILE *ofp;                     /* progress lines */
    struct __dump_reader *dump;    /* the coordinator's reader: header, directory, trailer */
    IMP_TABLE *tables;             /* directory order */
    int ntab;
    IMP_NAMES ours;                /* objects created or taken over */
    IMP_NAMES taken;               /* tables taken over */
    const char **sorted_names;     /* the tables' names sorted, while the deferred list is walked */
    struct __name_set *mviews;     /* materialized views the deferred list creates (NULL: none) */
    void *lock;                    /* pthread_mutex_t of a parallel run, NULL in a serial one */
    char owner_name[32];
    char dump_filename[256];
    char log_filename[256];
} IMP_RUN;

/* What one worker owns: its session, its reader cursor over the dump and
 * its pass over a table's rows, its column and bind areas, and the table
 * it is loading. */
typedef struct __imp_worker {
    IMP_RUN *run;
    OCI_ENV env;
    struct __dump_reader *dump;    /* this worker's own cursor (checks and checksums) */
    OCILobLocator *empty_lobp;     /* the empty LOB bound for a LOB column's input */
    int whole_lobs;                /* the table's LOB values go whole into its INSERT (insert_lob.c) */
    FILE *long_stage;              /* a LONG value held there meanwhile, or NULL */
    IMP_TABLE *table;              /* being imported, NULL between tables */
    const IMP_TABLE *verified;     /* the table whose section was checked ahead of its import */
    int table_created;             /* this worker created it (a stop drops it) */
    int rows_rejected;
    int rows_committed;            /* the table's rows were committed: no work of it is open */
    int feedback;                  /* writes FEEDBACK dots (a serial run) */
    int max_row;                   /* rows per execution */
    int nrow;                      /* rows of the table inserted */
    int asz;                       /* bytes of the bind area */
    uint8_t *buf;                  /* the areas below and the bind area, one block */
    struct __dump_rows *rows;      /* the pass over the current table's rows */
    struct __dump_value *vals;     /* the slots of the row read last */
    uint8_t *abuf;
    COL_INFO *colp;                /* the current table's column block, host order */
    BIND_COLUMN *bc;
    /* A row inserted alone: its statement and bind descriptors, w->env.smthp
     * and bc for a table whose rows all go alone; for a table whose LOB
     * values go in arrays (lob_arrays), a second statement for the rows the
     * array cannot take (an empty LOB, one longer than LOB_ARRAY_BOUND),
     * whose ordinary binds are row 0 of the arrays. */
    OCIStmt *row_smthp;
    BIND_COLUMN *rbc;
    int lob_arrays;
    int long_arrays;               /* a LONG table's short values go in arrays (the longer ones alone) */
    struct __imp_held *held;       /* per LOB column of such a row: what its array slot already holds */
    /* Rows whose LOB values are empty (which a data bind cannot tell from
     * NULL) go in arrays of their own, through INSERTs that give those
     * columns EMPTY_CLOB() or EMPTY_BLOB(): the statements of the last few
     * such patterns, and the part of the text they share. */
    struct __imp_variant *variants;
    const char *insert_head;
    uint32_t insert_head_len;
    /* A LONG value gathered to go into its row's INSERT in one piece. */
    uint8_t *long_buf;
    uint32_t long_cap;
    int long_whole;                /* the LONG bind takes the value in one piece (else at execution) */
    /* Where the pieces of a LOB value written through its locator are
     * gathered, so that each write carries up to IMP_LOB_GATHER bytes
     * (made at the first such value, freed with the worker). */
    uint8_t *lob_gather;
} IMP_WORKER;

/* Parses tabimp's command line into run (zeroed first). 0, or -1 after the
 * message and the usage text. */
int parse_imp_arguments(IMP_RUN *run, int argc, char **argv);

int read_dump_head(IMP_RUN *run, HEAD_INFO *hi);
int read_table_information(IMP_RUN *run);
int import_table(IMP_WORKER *w, IMP_TABLE *t);
int set_current_schema(IMP_WORKER *w);
int create_table(IMP_WORKER *w, const char *sqltxt, int slen);
int create_index_constraints(IMP_WORKER *w, IMP_TABLE *t);
int prepare_insert(IMP_WORKER *w, IMP_TABLE *t);
int import_multiple_row(IMP_WORKER *w, IMP_TABLE *t);
/* Executes the prepared INSERT on stmt for nrows rows of its arrays; batch
 * for an array statement (under IGNORE=Y in batch-error mode). Returns
 * CHECK_SUCCESS, CHECK_WITH_INFO (the message printed), CHECK_NEED_DATA (a
 * piece is wanted), IMP_BATCH_REFUSED + M when M rows of the array were
 * refused, IMP_ROW_REFUSED when a row executed alone was refused under
 * IGNORE=Y (the caller reports it), or CHECK_FAILURE after the message. */
int execute_insert(IMP_WORKER *w, OCIStmt *stmt, int nrows, int batch);
int import_single_row(IMP_WORKER *w, IMP_TABLE *t);
/* The rows of a table with LOB columns (and no LONG) in array INSERTs,
 * the LOB values bound as data; a row the arrays cannot take goes alone. */
int import_lob_rows(IMP_WORKER *w, IMP_TABLE *t);
/* The rows of a table with a LONG column (and no LOB) in array INSERTs,
 * its values of up to IMP_LONG_ARRAY_BOUND bytes bound as data; a row
 * with a longer value goes alone. */
int import_long_rows(IMP_WORKER *w, IMP_TABLE *t);
int insert_long_piece(IMP_WORKER *w);
int free_return_lob_locator(IMP_WORKER *w, IMP_TABLE *t);

#ifdef __cplusplus
}
#endif

#endif /* TAB_UTIL_H */
