// Filled in by the descriptor work.
#include <gtest/gtest.h>
