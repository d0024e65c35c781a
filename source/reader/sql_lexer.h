/*
 * sql_lexer.h - splits Oracle SQL and PL/SQL text into tokens by byte range,
 * for every check the programs make of statement text read from a dump:
 * all quoting forms, both comment forms, and any byte sequence at all.
 */
#ifndef TAB_SQL_LEXER_H
#define TAB_SQL_LEXER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Longest identifier the database accepts, in bytes. */
#define SQL_IDENT_MAX 128

typedef enum {
    SQLT_END,     /* end of text: at == len of the text */
    SQLT_WORD,    /* unquoted identifier or keyword */
    SQLT_QNAME,   /* "name", "" standing for one " */
    SQLT_STRING,  /* 'text' or q'<d>text<d>' */
    SQLT_NSTRING, /* n'text' or nq'<d>text<d>' */
    SQLT_NUMBER,  /* 12, 1.5, .5, 1e10, 1.5f, 2d */
    SQLT_BIND,    /* :1, :name, :"name" */
    SQLT_PUNCT,   /* operators and punctuation, one or two bytes */
    SQLT_COMMENT, /* -- to the end of the line (the newline included), or a closed slash-star comment */
    SQLT_OTHER,   /* one byte that starts no token (a control character, ?, &, ...) */
    SQLT_BAD      /* a token never closed or malformed: the rest of the text is not read */
} SQL_TOKEN_KIND;

typedef struct {
    SQL_TOKEN_KIND kind;
    uint32_t at;      /* byte range [at, at + len) in the text */
    uint32_t len;
    const char *why;  /* SQLT_BAD: what is wrong */
} SQL_TOKEN;

typedef struct {
    const char *text;
    uint32_t len;
    uint32_t pos;
    int plsql;            /* '%' and '..' are symbols (PL/SQL source) */
    int last_kind;        /* the last token that was not a comment, for name@link */
    uint32_t last_end;
    int failed;           /* a SQLT_BAD was returned: only SQLT_END follows */
} SQL_LEXER;

/* Starts reading text (len bytes); plsql selects the PL/SQL symbols. */
void sql_lexer_init(SQL_LEXER *lx, const char *text, uint32_t len, int plsql);

/* The next token; after SQLT_END or SQLT_BAD, SQLT_END again. Never reads
 * outside [text, text + len). */
void sql_lex_next(SQL_LEXER *lx, SQL_TOKEN *t);

/* Whether the token is exactly punctuation p (one or two bytes). */
int sql_token_is(const SQL_LEXER *lx, const SQL_TOKEN *t, const char *p);

#ifdef __cplusplus
}
#endif

#endif /* TAB_SQL_LEXER_H */
