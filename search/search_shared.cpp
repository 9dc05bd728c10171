#include "search/search_shared.h"

SearchShared gSearch;
