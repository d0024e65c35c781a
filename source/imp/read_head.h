/*
 * read_head.h - the report of the shared reader's faults in tabimp's words
 * (read_head.c).
 */
#ifndef TAB_IMP_READ_HEAD_H
#define TAB_IMP_READ_HEAD_H

#ifdef __cplusplus
extern "C" {
#endif

/* Prints the reader's last fault in tabimp's words; returns -1. */
int imp_dump_fault(const IMP_RUN *run, const DUMP_READER *r);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_READ_HEAD_H */
