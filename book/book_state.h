#pragma once

struct BookState { int missCount = 0; };
extern BookState gBook;
