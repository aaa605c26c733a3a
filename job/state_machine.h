#pragma once

#include "job/update_job.h"

// One step of the update for the job's current state: at most one resend, one
// read and the reaction to a valid reply. Called once per timer tick.
void job_tick(UpdateJob& job);

// Performs the entry action of `state` (which may send a frame), then sets it.
void enter_state(UpdateJob& job, JobState state);
