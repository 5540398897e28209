// Filled in by the web work.
#include <gtest/gtest.h>
