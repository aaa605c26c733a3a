#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/device_model.h"
#include "sim/fault_plan.h"
#include "sim/line_pacer.h"
#include "sim/port_link.h"
#include "sim/pty_pair.h"

namespace sim {

struct DeviceOptions {
    bool paced = false;                             // 115200 8E1 timing in both directions
    std::chrono::milliseconds flash_write_time{0};  // per program block, before the acknowledgement
    FaultOptions faults;
};

// The device at the far end of a pty, serving on a background thread from
// construction until stop() or destruction. Requests are answered in the order
// they arrive, one at a time: while a reply is held back, later input waits.
class SimulatedDevice {
public:
    // Throws std::system_error when no pty can be had.
    explicit SimulatedDevice(const DeviceOptions& options = {});
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    // The tty the tool opens.
    const std::string& slave_path() const { return slave_path_; }
    // Makes `link_path` a symbolic link to the slave until the device stops.
    void link(const std::string& link_path);
    // Links the slave as comN in a port folder; returns the link's path.
    std::string link_as_port(const std::string& folder, int number);

    // Ends serving, closes the pty and removes the links. Stats and flash stay readable.
    void stop();

    DeviceStats stats() const;
    Bytes written_flash() const;
    bool flash_matches(const Bytes& image) const;
    // Whether the device died as asked (die_after_blocks) and hung up the line.
    bool hung_up() const;

    // Waits until the condition holds on the stats, for at most `timeout`.
    bool wait_until(const std::function<bool(const DeviceStats&)>& condition,
                    std::chrono::milliseconds timeout) const;
    bool wait_for_hang_up(std::chrono::milliseconds timeout) const;

private:
    struct PendingRequest {
        Request request;
        TimePoint arrival;
    };

    void serve();
    void power_on(TimePoint at);
    void hear(TimePoint now);
    void take_bytes(const uint8_t* bytes, size_t count, TimePoint read_at);
    void answer_ready_requests(TimePoint now);
    void send(const Bytes& bytes, TimePoint earliest);
    void write_due(TimePoint now);
    std::optional<TimePoint> next_deadline() const;
    void hang_up();

    const DeviceOptions options_;
    PtyPair pty_;
    const std::string slave_path_;
    std::vector<std::unique_ptr<PortLink>> links_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    DeviceModel model_;     // guarded by mutex_
    bool hung_up_ = false;  // guarded by mutex_

    // Owned by the serving thread.
    FaultPlan faults_;
    LinePacer pacer_;
    std::deque<PendingRequest> pending_;
    std::deque<TimedWrite> writes_;
    size_t head_bytes_written_ = 0;  // the pty may take the first write in parts
    bool output_blocked_ = false;
    TimePoint busy_until_{};
    bool powered_on_ = false;
    std::optional<TimePoint> power_on_at_;  // set by the first byte heard
    std::optional<TimePoint> hang_up_at_;  // set once the device has answered its last block

    int stop_event_ = -1;
    std::thread thread_;
};

}  // namespace sim
