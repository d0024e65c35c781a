/*
 * object_text.c - reading and rewriting statement texts as the dictionary
 * gives them: the exported schema's qualifier taken out, the column items
 * of a CREATE TABLE walked, keywords found outside names and literals.
 */
#define _POSIX_C_SOURCE 200809L
#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "exp_local.h"

static int is_word_char(char c)
{
    return isalnum((unsigned char)c) || c == '_' || c == '$' || c == '#' || (unsigned char)c >= 0x80;
}

static int is_space(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

/* The end of the quoted name or literal that starts at s[i] (its closing
 * quote included; a doubled quote stays inside), or n when it is open. */
static size_t quoted_end(const char *s, size_t n, size_t i)
{
    char q = s[i];
    for (size_t k = i + 1; k < n; k++) {
        if (s[k] != q) continue;
        if (k + 1 < n && s[k + 1] == q) {
            k++;
            continue;
        }
        return k + 1;
    }
    return n;
}

/* Whether the owner may be written without quotes: upper case letters,
 * digits, _ $ #, a letter first. */
static int plain_name(const char *name)
{
    if (!isupper((unsigned char)name[0])) return 0;
    for (const char *p = name; *p; p++)
        if (!(isupper((unsigned char)*p) || isdigit((unsigned char)*p) || *p == '_' || *p == '$' ||
              *p == '#'))
            return 0;
    return 1;
}

char *strip_owner(const char *owner, const char *text, size_t len, int bare, size_t *outlen)
{
    size_t olen = strlen(owner);
    char *out = (char *)malloc(len + 1);
    size_t o = 0, i = 0;
    if (!out) return NULL;
    while (i < len && is_space(text[i])) i++;
    int bare_ok = bare && plain_name(owner);
    while (i < len) {
        char c = text[i];
        if (c == '"') {
            size_t e = quoted_end(text, len, i);
            /* "OWNER". : the quoted name equals the owner exactly */
            int is_owner = e < len && text[e] == '.' && e - i >= 2;
            if (is_owner) {
                size_t k = i + 1, m = 0;
                while (k < e - 1 && m < olen) {
                    if (text[k] != owner[m]) break;
                    if (text[k] == '"') k++;  /* a doubled quote stands for one */
                    k++;
                    m++;
                }
                is_owner = k == e - 1 && m == olen;
            }
            if (is_owner) {
                i = e + 1;
                continue;
            }
            memcpy(out + o, text + i, e - i);
            o += e - i;
            i = e;
        } else if (c == '\'') {
            size_t e = quoted_end(text, len, i);
            memcpy(out + o, text + i, e - i);
            o += e - i;
            i = e;
        } else if (is_word_char(c) && (i == 0 || !is_word_char(text[i - 1]))) {
            size_t e = i;
            while (e < len && is_word_char(text[e])) e++;
            if (bare_ok && e - i == olen && e < len && text[e] == '.' &&
                strncasecmp(text + i, owner, olen) == 0) {
                i = e + 1;
                continue;
            }
            memcpy(out + o, text + i, e - i);
            o += e - i;
            i = e;
        } else {
            out[o++] = c;
            i++;
        }
    }
    out[o] = '\0';
    if (outlen) *outlen = o;
    return out;
}

long find_words(const char *s, size_t n, const char *w1, const char *w2)
{
    size_t l1 = strlen(w1), l2 = w2 ? strlen(w2) : 0;
    size_t i = 0;
    while (i < n) {
        char c = s[i];
        if (c == '"' || c == '\'') {
            i = quoted_end(s, n, i);
            continue;
        }
        if (!is_word_char(c) || (i > 0 && is_word_char(s[i - 1]))) {
            i++;
            continue;
        }
        size_t e = i;
        while (e < n && is_word_char(s[e])) e++;
        if (e - i == l1 && strncasecmp(s + i, w1, l1) == 0) {
            if (!w2) return (long)i;
            size_t k = e;
            while (k < n && is_space(s[k])) k++;
            if (k + l2 <= n && strncasecmp(s + k, w2, l2) == 0 &&
                (k + l2 == n || !is_word_char(s[k + l2])))
                return (long)i;
        }
        i = e;
    }
    return -1;
}

int each_column_item(const char *text, size_t len,
                     int (*fn)(void *ctx, const char *name, size_t nlen, const char *item,
                               size_t ilen),
                     void *ctx)
{
    size_t i = 0;
    /* the first parenthesis outside quoted names opens the column list */
    while (i < len && text[i] != '(') {
        if (text[i] == '"' || text[i] == '\'')
            i = quoted_end(text, len, i);
        else
            i++;
    }
    if (i >= len) return 0;
    i++;
    size_t start = i;
    int depth = 0;
    while (i <= len) {
        char c = i < len ? text[i] : ')';
        if (c == '"' || c == '\'') {
            i = quoted_end(text, len, i);
            continue;
        }
        if (c == '(') depth++;
        if ((c == ',' || c == ')') && depth == 0) {
            size_t b = start;
            while (b < i && is_space(text[b])) b++;
            if (b < i && text[b] == '"') {
                size_t e = quoted_end(text, i, b);
                int rc = fn(ctx, text + b, e - b, text + b, i - b);
                if (rc != 0) return rc;
            }
            if (c == ')') return 0;
            start = i + 1;
        } else if (c == ')') {
            depth--;
        }
        i++;
    }
    return 0;
}
