// Not yet written.
#include "char_source.h"
