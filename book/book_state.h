// What the engine knows about its opening book during a game. The book code
// owns this record; game flow and the commands that start a new game write
// the miss count, and the evaluation is told from it whether the game has
// left the book.
#pragma once

struct BookState {
    // Engine moves of this game the book had no answer for. 0 while the game
    // is still in the book.
    int missCount = 0;
};

extern BookState gBook;
