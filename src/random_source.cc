#include "random_source.h"

std::uint32_t random_state = 1;
