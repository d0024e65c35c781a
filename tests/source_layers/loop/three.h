/* three.h - declares what three.c defines. */
