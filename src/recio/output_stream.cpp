// Not yet written.
#include "output_stream.h"
