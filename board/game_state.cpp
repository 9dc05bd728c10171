#include "board/game_state.h"

GameState gGame;
