/*
 * show_text.h - text from a dump or a database made safe to print: control
 * characters become \xNN, so that a name or a warning can never move the
 * cursor, clear a line or change a terminal's settings.
 */
#ifndef TAB_SHOW_TEXT_H
#define TAB_SHOW_TEXT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the len bytes of s into buf (size bytes, NUL-terminated) with
 * every C0 control byte, DEL and every C1 control written in UTF-8
 * (U+0080 to U+009F) shown as \xNN per byte; a text that does not fit ends
 * with "...". Returns buf. */
char *show_bytes(const char *s, size_t len, char *buf, size_t size);

/* As show_bytes for a NUL-terminated text, into one of a few rotating
 * buffers of the program's, so that one printf may show several texts. */
const char *show(const char *s);

/* As show for len bytes. */
const char *show_n(const char *s, size_t len);

#ifdef __cplusplus
}
#endif

#endif /* TAB_SHOW_TEXT_H */
