// Filled in by the sdf work.
#include <gtest/gtest.h>
