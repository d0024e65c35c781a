/*
 * lock_target_table.h - the locks that keep a target object from being swapped
 * while a statement acts on it (lock_target_table.c).
 */
#ifndef TAB_IMP_LOCK_TARGET_TABLE_H
#define TAB_IMP_LOCK_TARGET_TABLE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Locks owner.name of the target in exclusive mode and checks, under the
 * lock, that the dictionary shows it as a TABLE of the target. 1: locked
 * and a table (the lock ends with the commit of the rows); 0: refused,
 * message printed, nothing locked; -1: the database failed. */
int lock_target_table(IMP_WORKER *w, const char *name);

/* Before a grant, comment or trigger acts on name: locks it when it is a
 * table or view and checks under the lock that it is one of the target,
 * so that the object cannot be swapped for a synonym until the statement
 * runs (its DDL ends the lock). 1 locked; 0 not lockable (a sequence or a
 * unit: nothing held); 2 refused, message printed, nothing held; -1 the
 * database failed. */
int lock_target_object(IMP_WORKER *w, const char *name);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_LOCK_TARGET_TABLE_H */
