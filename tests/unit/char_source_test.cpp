// Not yet written.
#include <gtest/gtest.h>
