// Not yet written.
#include "units.h"
