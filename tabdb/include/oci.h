/*
 * oci.h - the client interface of the embedded database.
 *
 * Declares the Oracle Call Interface subset that tabexp and tabimp use, with
 * the vendor's type names, prototypes and constant values, so that the two
 * programs compile unchanged against this header or the vendor's SDK.
 */
#ifndef OCI_ORACLE
#define OCI_ORACLE

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar types (the vendor's oratypes.h) ---------------------------- */

#ifndef ORATYPES
#define ORATYPES

typedef unsigned char ub1;
typedef signed char sb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4;
typedef signed int sb4;

#ifndef ORAXB8_DEFINED
#define ORAXB8_DEFINED
typedef unsigned long long oraub8;
typedef signed long long orasb8;
typedef oraub8 ub8;
typedef orasb8 sb8;
#endif

typedef unsigned char oratext;
typedef oratext OraText;
#ifndef LUSEMFC
typedef unsigned char text;
#endif

typedef int eword;
typedef unsigned int uword;
typedef signed int sword;

#ifndef dvoid
#define dvoid void
#endif
#ifndef CONST
#define CONST const
#endif
#ifndef boolean
#define boolean int
#endif
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef sb2 OCIInd;
typedef ub2 OCIDuration;

#endif /* ORATYPES */

/* ---- opaque handles and descriptors ------------------------------------ */

typedef struct OCIEnv OCIEnv;
typedef struct OCIError OCIError;
typedef struct OCISvcCtx OCISvcCtx;
typedef struct OCIStmt OCIStmt;
typedef struct OCIBind OCIBind;
typedef struct OCIDefine OCIDefine;
typedef struct OCIDescribe OCIDescribe;
typedef struct OCIServer OCIServer;
typedef struct OCISession OCISession;
typedef struct OCITrans OCITrans;
typedef struct OCISnapshot OCISnapshot;
typedef struct OCIParam OCIParam;
typedef struct OCILobLocator OCILobLocator;
typedef struct OCILobLocator OCIClobLocator;
typedef struct OCILobLocator OCIBlobLocator;
typedef struct OCILobLocator OCIBFileLocator;

/* ---- status codes ------------------------------------------------------ */

#define OCI_SUCCESS 0
#define OCI_SUCCESS_WITH_INFO 1
#define OCI_RESERVED_FOR_INT_USE 200
#define OCI_NO_DATA 100
#define OCI_ERROR -1
#define OCI_INVALID_HANDLE -2
#define OCI_NEED_DATA 99
#define OCI_STILL_EXECUTING -3123
#define OCI_CONTINUE -24200

/* ---- handle and descriptor types --------------------------------------- */

#define OCI_HTYPE_ENV 1
#define OCI_HTYPE_ERROR 2
#define OCI_HTYPE_SVCCTX 3
#define OCI_HTYPE_STMT 4
#define OCI_HTYPE_BIND 5
#define OCI_HTYPE_DEFINE 6
#define OCI_HTYPE_DESCRIBE 7
#define OCI_HTYPE_SERVER 8
#define OCI_HTYPE_SESSION 9
#define OCI_HTYPE_TRANS 10

#define OCI_DTYPE_LOB 50
#define OCI_DTYPE_SNAP 51
#define OCI_DTYPE_PARAM 53
#define OCI_DTYPE_FILE 56

/* ---- attributes ---------------------------------------------------------- */

#define OCI_ATTR_SERVER 6
#define OCI_ATTR_SESSION 7
#define OCI_ATTR_TRANS 8
#define OCI_ATTR_ROW_COUNT 9
#define OCI_ATTR_PREFETCH_ROWS 11
#define OCI_ATTR_PREFETCH_MEMORY 13
#define OCI_ATTR_PARAM_COUNT 18
#define OCI_ATTR_USERNAME 22
#define OCI_ATTR_PASSWORD 23
#define OCI_ATTR_STMT_TYPE 24
#define OCI_ATTR_CHARSET_ID 31
#define OCI_ATTR_CHARSET_FORM 32
#define OCI_ATTR_LOBEMPTY 45
#define OCI_ATTR_NUM_DML_ERRORS 73
#define OCI_ATTR_DML_ROW_OFFSET 74
#define OCI_ATTR_ROWS_FETCHED 197
#define OCI_ATTR_DEFAULT_LOBPREFETCH_SIZE 438
#define OCI_ATTR_LOBPREFETCH_SIZE 439
#define OCI_ATTR_LOBPREFETCH_LENGTH 440
#define OCI_ATTR_UB8_ROW_COUNT 457

/* ---- modes, flags, piece codes ------------------------------------------ */

#define OCI_DEFAULT 0x00000000

/* OCITransStart flags */
#define OCI_TRANS_NEW 0x00000001
#define OCI_TRANS_READONLY 0x00000100
#define OCI_TRANS_READWRITE 0x00000200
#define OCI_TRANS_SERIALIZABLE 0x00000400
#define OCI_THREADED 0x00000001
#define OCI_OBJECT 0x00000002

#define OCI_DYNAMIC_FETCH 0x00000002
#define OCI_DATA_AT_EXEC 0x00000002

#define OCI_NTV_SYNTAX 1
#define OCI_V7_SYNTAX 2
#define OCI_V8_SYNTAX 3

#define OCI_FETCH_CURRENT 0x00000001
#define OCI_FETCH_NEXT 0x00000002
#define OCI_FETCH_FIRST 0x00000004
#define OCI_FETCH_LAST 0x00000008
#define OCI_FETCH_PRIOR 0x00000010
#define OCI_FETCH_ABSOLUTE 0x00000020
#define OCI_FETCH_RELATIVE 0x00000040

#define OCI_EXACT_FETCH 0x00000002
#define OCI_DESCRIBE_ONLY 0x00000010
#define OCI_COMMIT_ON_SUCCESS 0x00000020
#define OCI_BATCH_ERRORS 0x00000080

#define OCI_CRED_RDBMS 1
#define OCI_CRED_EXT 2

#define OCI_LOB_READONLY 1
#define OCI_LOB_READWRITE 2

#define OCI_ONE_PIECE 0
#define OCI_FIRST_PIECE 1
#define OCI_NEXT_PIECE 2
#define OCI_LAST_PIECE 3

#define OCI_PARAM_IN 0x01
#define OCI_PARAM_OUT 0x02

#define SQLCS_IMPLICIT 1
#define SQLCS_NCHAR 2

/* temporary LOBs */
#define OCI_TEMP_BLOB 1
#define OCI_TEMP_CLOB 2
#define OCI_DURATION_SESSION 10
#define OCI_UTF16ID 1000

/* ---- statement types and indicators ------------------------------------- */

#define OCI_STMT_UNKNOWN 0
#define OCI_STMT_SELECT 1
#define OCI_STMT_UPDATE 2
#define OCI_STMT_DELETE 3
#define OCI_STMT_INSERT 4
#define OCI_STMT_CREATE 5
#define OCI_STMT_DROP 6
#define OCI_STMT_ALTER 7
#define OCI_STMT_BEGIN 8
#define OCI_STMT_DECLARE 9
#define OCI_STMT_CALL 10
#define OCI_STMT_MERGE 16

#define OCI_IND_NOTNULL (OCIInd)0
#define OCI_IND_NULL (OCIInd)(-1)
#define OCI_IND_BADNULL (OCIInd)(-2)
#define OCI_IND_NOTNULLABLE (OCIInd)(-3)

/* ---- external data types ------------------------------------------------ */

#define SQLT_CHR 1
#define SQLT_NUM 2
#define SQLT_INT 3
#define SQLT_FLT 4
#define SQLT_STR 5
#define SQLT_VNU 6
#define SQLT_LNG 8
#define SQLT_VCS 9
#define SQLT_DAT 12
#define SQLT_BFLOAT 21
#define SQLT_BDOUBLE 22
#define SQLT_BIN 23
#define SQLT_LBI 24
#define SQLT_UIN 68
#define SQLT_LVC 94
#define SQLT_LVB 95
#define SQLT_AFC 96
#define SQLT_AVC 97
#define SQLT_IBFLOAT 100
#define SQLT_IBDOUBLE 101
#define SQLT_RDD 104
#define SQLT_CLOB 112
#define SQLT_BLOB 113
#define SQLT_BFILEE 114
#define SQLT_DATE 184
#define SQLT_TIMESTAMP 187
#define SQLT_TIMESTAMP_TZ 188
#define SQLT_INTERVAL_YM 189
#define SQLT_INTERVAL_DS 190
#define SQLT_TIMESTAMP_LTZ 232

/* ---- LOB callbacks ------------------------------------------------------ */

typedef sb4 (*OCICallbackLobRead2)(void *ctxp, const void *bufp, oraub8 len,
                                   ub1 piece, void **changed_bufpp,
                                   oraub8 *changed_lenp);
typedef sb4 (*OCICallbackLobWrite2)(void *ctxp, void *bufp, oraub8 *lenp,
                                    ub1 *piece, void **changed_bufpp,
                                    oraub8 *changed_lenp);

/* ---- functions ------------------------------------------------------------ */

sword OCIEnvCreate(OCIEnv **envhpp, ub4 mode, void *ctxp,
                   void *(*malocfp)(void *ctxp, size_t size),
                   void *(*ralocfp)(void *ctxp, void *memptr, size_t newsize),
                   void (*mfreefp)(void *ctxp, void *memptr),
                   size_t xtramem_sz, void **usrmempp);

sword OCIHandleAlloc(const void *parenth, void **hndlpp, const ub4 type,
                     const size_t xtramem_sz, void **usrmempp);
sword OCIHandleFree(void *hndlp, const ub4 type);

sword OCIAttrSet(void *trgthndlp, ub4 trghndltyp, void *attributep,
                 ub4 size, ub4 attrtype, OCIError *errhp);
sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep,
                 ub4 *sizep, ub4 attrtype, OCIError *errhp);

sword OCIServerAttach(OCIServer *srvhp, OCIError *errhp,
                      const OraText *dblink, sb4 dblink_len, ub4 mode);
sword OCIServerDetach(OCIServer *srvhp, OCIError *errhp, ub4 mode);

sword OCISessionBegin(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp,
                      ub4 credt, ub4 mode);
sword OCISessionEnd(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp,
                    ub4 mode);

sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *sqlstate,
                  sb4 *errcodep, OraText *bufp, ub4 bufsiz, ub4 type);

sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt,
                     ub4 stmt_len, ub4 language, ub4 mode);
/* The error handle of row error pos (0-based) after an array DML run in
 * OCI_BATCH_ERRORS mode; owned by the error handle it comes from. */
sword OCIParamGet(const void *hndlp, ub4 htype, OCIError *errhp, void **parmdpp, ub4 pos);

sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp,
                     ub4 iters, ub4 rowoff, const OCISnapshot *snap_in,
                     OCISnapshot *snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt *stmtp, OCIError *errhp, ub4 nrows,
                   ub2 orientation, ub4 mode);
sword OCIStmtFetch2(OCIStmt *stmtp, OCIError *errhp, ub4 nrows,
                    ub2 orientation, sb4 scrollOffset, ub4 mode);

sword OCIDefineByPos(OCIStmt *stmtp, OCIDefine **defnp, OCIError *errhp,
                     ub4 position, void *valuep, sb4 value_sz, ub2 dty,
                     void *indp, ub2 *rlenp, ub2 *rcodep, ub4 mode);
sword OCIDefineArrayOfStruct(OCIDefine *defnp, OCIError *errhp, ub4 pvskip,
                             ub4 indskip, ub4 rlskip, ub4 rcskip);

sword OCIBindByPos(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp,
                   ub4 position, void *valuep, sb4 value_sz, ub2 dty,
                   void *indp, ub2 *alenp, ub2 *rcodep,
                   ub4 maxarr_len, ub4 *curelep, ub4 mode);
sword OCIBindArrayOfStruct(OCIBind *bindp, OCIError *errhp, ub4 pvskip,
                           ub4 indskip, ub4 alskip, ub4 rcskip);

sword OCIStmtGetPieceInfo(OCIStmt *stmtp, OCIError *errhp, void **hndlpp,
                          ub4 *typep, ub1 *in_outp, ub4 *iterp, ub4 *idxp,
                          ub1 *piecep);
sword OCIStmtSetPieceInfo(void *hndlp, ub4 type, OCIError *errhp,
                          const void *bufp, ub4 *alenp, ub1 piece,
                          const void *indp, ub2 *rcodep);

sword OCIDescriptorAlloc(const void *parenth, void **descpp, const ub4 type,
                         const size_t xtramem_sz, void **usrmempp);
sword OCIDescriptorFree(void *descp, const ub4 type);

sword OCILobOpen(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp,
                 ub1 mode);
sword OCILobClose(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp);
sword OCILobRead2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp,
                  oraub8 *byte_amtp, oraub8 *char_amtp, oraub8 offset,
                  void *bufp, oraub8 bufl, ub1 piece, void *ctxp,
                  OCICallbackLobRead2 cbfp, ub2 csid, ub1 csfrm);
sword OCILobWrite2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp,
                   oraub8 *byte_amtp, oraub8 *char_amtp, oraub8 offset,
                   void *bufp, oraub8 buflen, ub1 piece, void *ctxp,
                   OCICallbackLobWrite2 cbfp, ub2 csid, ub1 csfrm);
sword OCILobGetLength2(OCISvcCtx *svchp, OCIError *errhp,
                       OCILobLocator *locp, oraub8 *lenp);
sword OCILobGetChunkSize(OCISvcCtx *svchp, OCIError *errhp,
                         OCILobLocator *locp, ub4 *chunk_size);
sword OCILobTrim2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp,
                  oraub8 newlen);
/* A temporary LOB of the session; OCI_TEMP_CLOB with SQLCS_NCHAR makes an
 * NCLOB. It lasts until OCILobFreeTemporary (the duration is not read),
 * or until the rollback of the transaction that made it. */
sword OCILobCreateTemporary(OCISvcCtx *svchp, OCIError *errhp,
                            OCILobLocator *locp, ub2 csid, ub1 csfrm,
                            ub1 lobtype, boolean cache, OCIDuration duration);
sword OCILobFreeTemporary(OCISvcCtx *svchp, OCIError *errhp,
                          OCILobLocator *locp);

sword OCITransCommit(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
/* Starts a transaction; with OCI_TRANS_READONLY or OCI_TRANS_SERIALIZABLE
 * it holds one snapshot until commit or rollback. */
sword OCITransStart(OCISvcCtx *svchp, OCIError *errhp, uword timeout, ub4 flags);

#ifdef __cplusplus
}
#endif

#endif /* OCI_ORACLE */
