/* two.h - declares what two.c defines. */
