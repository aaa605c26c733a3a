#include "cli/progress_line.h"

void ProgressLine::update(const UpdateJob& job) {
    if (job.state == shown_state_ && job.offset == shown_offset_) {
        return;
    }
    shown_state_ = job.state;
    shown_offset_ = job.offset;

    const int32_t blocks = job.image_size / BLOCK_SIZE + (job.image_size % BLOCK_SIZE != 0);
    if (job.state == Programming && !programming_seen_) {
        programming_seen_ = true;
        programming_start_ = Clock::now();
    }

    if (job.state < Programming) {
        std::fprintf(out_, "\rwaiting for the device...\033[K");
    } else if (job.state == Programming) {
        const double seconds = std::chrono::duration<double>(Clock::now() - programming_start_).count();
        const double rate = seconds > 0 ? job.offset / seconds : 0;
        const double left = rate > 0 ? (job.image_size - job.offset) / rate : 0;
        std::fprintf(out_, "\rblock %d of %d, %3d%%, %6.0f bytes/s, %3.0f s left\033[K",
                     job.offset / BLOCK_SIZE + 1, blocks,
                     job.image_size > 0 ? static_cast<int>(100LL * job.offset / job.image_size) : 0, rate, left);
    } else {
        std::fprintf(out_, "\rblock %d of %d, 100%%, %s\033[K", blocks, blocks,
                     job.state == Failed ? "verification failed" : "verifying and resetting");
    }
    std::fflush(out_);
    drawn_ = true;
}

void ProgressLine::finish() {
    if (drawn_) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
}
