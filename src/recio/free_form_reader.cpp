// Not yet written.
#include "free_form_reader.h"
