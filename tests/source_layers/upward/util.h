/* util.h - the base layer of the planted tree. */
