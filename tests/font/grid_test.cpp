// Filled in by the grid work.
#include <gtest/gtest.h>
