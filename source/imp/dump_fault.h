/*
 * dump_fault.h - the report of the shared reader's faults in tabimp's words
 * (dump_fault.c), used by every file that reads the dump.
 */
#ifndef TAB_IMP_DUMP_FAULT_H
#define TAB_IMP_DUMP_FAULT_H

#ifdef __cplusplus
extern "C" {
#endif

/* Prints the reader's last fault in tabimp's words; returns -1. */
int imp_dump_fault(const IMP_RUN *run, const DUMP_READER *r);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_DUMP_FAULT_H */
