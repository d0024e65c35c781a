/*
 * prompt.h - the password prompt and the blanking of passwords in argv,
 * shared by tabexp, tabimp and tabsql; needs nothing but the C library.
 */
#ifndef TAB_PROMPT_H
#define TAB_PROMPT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Overwrites the password of a USERID argument in place with one '*',
 * whatever its length (the rest of the argument moves up, the bytes freed
 * are cleared), so that the process list shows neither it nor its length. */
void hide_password(char *arg);

/* When argv[1] (the USERID value) or a USERID= argument holds a password:
 * the arguments are replaced by copies blanked as above, and the area the
 * process list shows is cleared after the program's name, so that it
 * shows only the name. Called before anything else is read, parameter
 * files included; argv[1] must be copied first. */
void hide_argv_passwords(int argc, char **argv);

/* Reads a password into buf (size bytes): on the terminal after
 * "Password: " with echo off when standard input is a terminal, else one
 * line from standard input (read byte by byte, so nothing after the line
 * is consumed). Returns 0, or -1 with a message when no line arrives or it
 * does not fit. */
int read_password(char *buf, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* TAB_PROMPT_H */
