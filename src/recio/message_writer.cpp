// Not yet written.
#include "message_writer.h"
