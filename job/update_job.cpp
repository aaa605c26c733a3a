#include "job/update_job.h"

void init_update_job(UpdateJob& job) {
    job.frame_capacity = FRAME_CAPACITY;
    job.frame = new uint8_t[job.frame_capacity];
    job.unit_address = UNIT_ADDRESS;
    job.port = INVALID_HANDLE_VALUE;
}
