#include "egtb/tablebase_settings.h"

TablebaseSettings gTablebases;
