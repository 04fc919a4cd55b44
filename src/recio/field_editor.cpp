// Not yet written.
#include "field_editor.h"
