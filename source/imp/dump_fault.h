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

/* The faults of the pass over a table's rows and streams, in the words
 * tabimp has always used for a damaged row: a short or failed read as
 * imp_dump_fault says it, anything else "Row data not expected out of
 * range.". Returns -1. */
int imp_rows_fault(const IMP_RUN *run, const DUMP_READER *r);

/* The faults of a section's front (CREATE TABLE text and column block):
 * a short or failed read as imp_dump_fault says it, a broken rule as
 * "Table <name>: <reason>.". Returns -1. */
int imp_front_fault(const IMP_RUN *run, const DUMP_READER *r, const char *table);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_DUMP_FAULT_H */
