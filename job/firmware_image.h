#pragma once

#include "job/update_job.h"

// Loads the raw-data resource "BINFILE" of the program's own module into a
// new zero-padded buffer of whole 1024-byte blocks, sets flash_base and traces
// the base and size. When the resource is missing or empty the job keeps no
// image (image null, image_size 0); callers must not start a run then.
void load_firmware_image(UpdateJob& job);
