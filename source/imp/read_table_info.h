/*
 * read_table_info.h - the names of the dump's tables as tabimp shows them
 * (read_table_info.c).
 */
#ifndef TAB_IMP_READ_TABLE_INFO_H
#define TAB_IMP_READ_TABLE_INFO_H

#include "util.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The name of table t (an IMP_TABLE *): its directory entry's, or the
 * long name the trailer carries for a table whose name does not fit the
 * directory. */
#define TABLE_NAME(t) ((t)->name)

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_READ_TABLE_INFO_H */
