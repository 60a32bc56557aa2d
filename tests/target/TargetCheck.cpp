// Compiled only in the cross build: the data layout of the board.
static_assert(__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__, "the board is big-endian");
static_assert(sizeof(void*) == 4 && sizeof(long) == 4, "the board is 32-bit");
