/*
 * quote_name.h - a name in double quotes as SQL writes it (quote_name.c).
 */
#ifndef TAB_IMP_QUOTE_NAME_H
#define TAB_IMP_QUOTE_NAME_H

#ifdef __cplusplus
extern "C" {
#endif

/* Appends name to dst in double quotes, doubling every double quote inside
 * it, and returns the new end. dst must have room for 2 * strlen(name) + 2. */
char *imp_put_quoted(char *dst, const char *name);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_QUOTE_NAME_H */
