#include "fast_search.h"
