#include "book/book_state.h"

BookState gBook;
