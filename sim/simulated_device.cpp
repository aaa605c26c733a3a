#include "sim/simulated_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace sim {

namespace {

// A dying device's last reply is still on its way; a hang-up would discard
// what the reader has not yet taken from the pty.
constexpr std::chrono::milliseconds kHangUpLinger{500};

timespec until(TimePoint deadline, TimePoint now) {
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(deadline - now, Clock::duration::zero()));
    return timespec{static_cast<time_t>(left.count() / 1'000'000'000), static_cast<long>(left.count() % 1'000'000'000)};
}

}  // namespace

SimulatedDevice::SimulatedDevice(const DeviceOptions& options)
    : options_(options), slave_path_(pty_.slave_path()), faults_(options.faults), pacer_(options.paced) {
    stop_event_ = eventfd(0, EFD_CLOEXEC);
    if (stop_event_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::thread(&SimulatedDevice::serve, this);
}

SimulatedDevice::~SimulatedDevice() {
    stop();
    close(stop_event_);
}

void SimulatedDevice::link(const std::string& link_path) {
    links_.push_back(std::make_unique<PortLink>(link_path, slave_path_));
}

std::string SimulatedDevice::link_as_port(const std::string& folder, int number) {
    std::string path = folder + "/com" + std::to_string(number);
    link(path);
    return path;
}

void SimulatedDevice::stop() {
    if (thread_.joinable()) {
        uint64_t one = 1;
        while (write(stop_event_, &one, sizeof one) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    pty_.close();
    links_.clear();
}

DeviceStats SimulatedDevice::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.stats();
}

Bytes SimulatedDevice::written_flash() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.written_region();
}

bool SimulatedDevice::flash_matches(const Bytes& image) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.flash_matches(image);
}

bool SimulatedDevice::hung_up() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hung_up_;
}

bool SimulatedDevice::wait_until(const std::function<bool(const DeviceStats&)>& condition,
                                 std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(model_.stats()); });
}

bool SimulatedDevice::wait_for_hang_up(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return hung_up_; });
}

void SimulatedDevice::serve() {
    // Wake-ups within microseconds of their deadlines keep the wire timing true.
    prctl(PR_SET_TIMERSLACK, 1UL);
    if (options_.faults.power_on_delay.count() == 0) power_on(Clock::now());
    for (;;) {
        TimePoint now = Clock::now();
        if (!powered_on_ && power_on_at_ && now >= *power_on_at_) power_on(*power_on_at_);
        answer_ready_requests(now);
        write_due(now);
        if (hang_up_at_ && writes_.empty() && now >= *hang_up_at_) {
            hang_up();
            return;
        }

        pollfd fds[2] = {{pty_.master(), static_cast<short>(POLLIN | (output_blocked_ ? POLLOUT : 0)), 0},
                         {stop_event_, POLLIN, 0}};
        std::optional<TimePoint> deadline = next_deadline();
        timespec timeout{};
        if (deadline) timeout = until(*deadline, Clock::now());
        if (ppoll(fds, 2, deadline ? &timeout : nullptr, nullptr) < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) return;
        if (fds[0].revents & POLLOUT) output_blocked_ = false;
        if (fds[0].revents & POLLIN) hear(Clock::now());
    }
}

void SimulatedDevice::power_on(TimePoint at) {
    powered_on_ = true;
    Bytes noise = faults_.power_on_noise();
    if (!noise.empty()) send(noise, at);
}

void SimulatedDevice::hear(TimePoint now) {
    uint8_t buffer[4096];
    ssize_t count;
    while ((count = read(pty_.master(), buffer, sizeof buffer)) > 0) {
        take_bytes(buffer, static_cast<size_t>(count), now);
    }
    changed_.notify_all();
}

void SimulatedDevice::take_bytes(const uint8_t* bytes, size_t count, TimePoint read_at) {
    if (!powered_on_) {
        // Plugged in after the tool started talking: what comes before then is lost.
        if (!power_on_at_) power_on_at_ = read_at + options_.faults.power_on_delay;
        if (read_at < *power_on_at_) {
            std::lock_guard<std::mutex> lock(mutex_);
            model_.count_unheard(count);
            return;
        }
        power_on(*power_on_at_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < count; ++i) {
        TimePoint arrival = pacer_.arrival(read_at);
        for (Request& request : model_.receive(bytes[i])) {
            pending_.push_back(PendingRequest{std::move(request), arrival});
        }
    }
}

void SimulatedDevice::answer_ready_requests(TimePoint now) {
    while (!hang_up_at_ && !pending_.empty()) {
        TimePoint ready = std::max(pending_.front().arrival, busy_until_);
        if (ready > now) return;
        Request request = std::move(pending_.front().request);
        pending_.pop_front();

        Bytes reply;
        DeviceStats stats;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reply = model_.perform(request);
            stats = model_.stats();
        }
        changed_.notify_all();

        PlannedReply planned = faults_.plan(request.kind, std::move(reply));
        TimePoint start = ready + planned.delay;
        if (request.kind == RequestKind::Block) start += options_.flash_write_time;
        busy_until_ = std::max(busy_until_, start);
        send(planned.first, start);
        send(planned.second, busy_until_ + kSplitGap);

        uint64_t die_after = options_.faults.die_after_blocks;
        if (request.kind == RequestKind::Block && die_after > 0 && stats.blocks >= die_after) {
            hang_up_at_ = busy_until_ + kHangUpLinger;
        }
    }
}

void SimulatedDevice::send(const Bytes& bytes, TimePoint earliest) {
    if (bytes.empty()) return;
    for (TimedWrite& write : pacer_.schedule(earliest, bytes)) writes_.push_back(std::move(write));
    busy_until_ = std::max(busy_until_, writes_.back().due);
}

void SimulatedDevice::write_due(TimePoint now) {
    while (!output_blocked_ && !writes_.empty() && writes_.front().due <= now) {
        const Bytes& bytes = writes_.front().bytes;
        ssize_t count = write(pty_.master(), bytes.data() + head_bytes_written_, bytes.size() - head_bytes_written_);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno == EAGAIN) {
            // The tool is not reading and the pty is full: wait until it has room.
            output_blocked_ = true;
            return;
        }
        // A write the pty refuses outright is lost, as on a line with no one listening.
        head_bytes_written_ = count < 0 ? bytes.size() : head_bytes_written_ + static_cast<size_t>(count);
        if (head_bytes_written_ == bytes.size()) {
            writes_.pop_front();
            head_bytes_written_ = 0;
        }
    }
}

std::optional<TimePoint> SimulatedDevice::next_deadline() const {
    std::optional<TimePoint> deadline;
    auto consider = [&](TimePoint at) { deadline = deadline ? std::min(*deadline, at) : at; };
    if (!output_blocked_ && !writes_.empty()) consider(writes_.front().due);
    if (!hang_up_at_ && !pending_.empty()) consider(std::max(pending_.front().arrival, busy_until_));
    if (hang_up_at_) consider(*hang_up_at_);
    if (!powered_on_ && power_on_at_) consider(*power_on_at_);
    return deadline;
}

void SimulatedDevice::hang_up() {
    pty_.close();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hung_up_ = true;
    }
    changed_.notify_all();
}

}  // namespace sim
