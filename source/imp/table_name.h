/*
 * table_name.h - the name of a dump's table as tabimp shows it, apart
 * from the files that read the directory, so that every file may name a
 * table without depending on them.
 */
#ifndef TAB_IMP_TABLE_NAME_H
#define TAB_IMP_TABLE_NAME_H

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

#endif /* TAB_IMP_TABLE_NAME_H */
