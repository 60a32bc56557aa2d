// The board is 32-bit big-endian PowerPC: a cross build for anything else fails.
static_assert(__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ && sizeof(void*) == 4 && sizeof(long) == 4);
