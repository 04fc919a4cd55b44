// Not yet written.
#include "failure.h"
