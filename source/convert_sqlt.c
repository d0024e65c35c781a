/*
 * convert_sqlt.c - maps an internal column type code to the OCI external
 * type through which its values are fetched and bound.
 */
#include "util.h"

int convert_to_sqlt(int ctype)
{
    switch (ctype) {
    case CTYPE_CHAR:
    case CTYPE_NCHAR:
        return SQLT_AFC;
    case CTYPE_VARCHAR2:
    case CTYPE_NVARCHAR2:
        return SQLT_CHR;
    case CTYPE_NUMBER:
        return SQLT_NUM;
    case CTYPE_DATE:
        return SQLT_DAT;
    case CTYPE_TIMESTAMP:
        return SQLT_ORA_TIMESTAMP;
    case CTYPE_TIMESTAMP_TZ:
        return SQLT_ORA_TIMESTAMP_TZ;
    case CTYPE_TIMESTAMP_LTZ:
        return SQLT_ORA_TIMESTAMP_LTZ;
    case CTYPE_INTERVAL_YM:
        return SQLT_ORA_INTERVAL_YM;
    case CTYPE_INTERVAL_DS:
        return SQLT_ORA_INTERVAL_DS;
    case CTYPE_RAW:
        return SQLT_BIN;
    case CTYPE_LONG:
        return SQLT_LNG;
    case CTYPE_LONG_RAW:
        return SQLT_LBI;
    case CTYPE_CLOB:
    case CTYPE_NCLOB:
        return SQLT_CLOB;
    case CTYPE_BLOB:
        return SQLT_BLOB;
    case CTYPE_BINARY_FLOAT:
        return SQLT_IBFLOAT;
    case CTYPE_BINARY_DOUBLE:
        return SQLT_IBDOUBLE;
    default:
        return SQLT_STR;   /* unknown codes travel as NUL-terminated text */
    }
}
