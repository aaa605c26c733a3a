#include "sim/sim_command_line.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <limits>
#include <stdexcept>

namespace sim {

const char* const kSimUsage =
    "Usage: dfut-sim [OPTION]...\n"
    "Simulates the device at the far end of a serial line on a pseudo-terminal.\n"
    "Prints the terminal's path as the first line, serves until SIGINT or SIGTERM,\n"
    "then prints a summary of what it received.\n"
    "\n"
    "  --link PATH            make PATH (e.g. a port folder's com1) a symbolic link to\n"
    "                         the terminal; removed on exit\n"
    "  --pace                 take the time a 115200 baud 8E1 line would (11 bits a\n"
    "                         byte) to receive each request and send each reply\n"
    "  --flash-ms N           spend N ms writing each program block before answering\n"
    "  --flash-out FILE       on exit, write the flash from 0x08004000 to the end of the\n"
    "                         highest byte written or of the last verified region\n"
    "\n"
    "Faults (P is a probability per reply, 0 to 1):\n"
    "  --drop P               send no reply\n"
    "  --corrupt P            change one byte of the reply\n"
    "  --split P              send the reply in two parts, 40 ms apart\n"
    "  --delay P:MS           hold the reply back for MS ms; input meanwhile waits\n"
    "  --delay-block K:MS     hold back the reply to the K-th program block for MS ms\n"
    "  --exceptions P         carry out the request but answer with the exception\n"
    "                         reply 04 AB 01 (the verify query keeps its CRC reply)\n"
    "  --wrong-crc            report a wrong CRC in every verify reply\n"
    "  --noise N              send N random bytes on power-on\n"
    "  --noise-bursts K:N     answer the first K link probes with N random bytes\n"
    "  --power-on-delay MS    stay deaf until MS ms after the first byte heard, as if\n"
    "                         plugged in late\n"
    "  --die-after-blocks K   after answering K program blocks, hang up the line and exit\n"
    "  --seed N               seed for the faults' random choices (default 1)\n"
    "\n"
    "  --help                 show this text\n"
    "\n"
    "Exit status: 0 when stopped by a signal or after dying as asked, 1 on a system\n"
    "error, 2 on a bad option.\n";

namespace {

[[noreturn]] void reject(const std::string& option, const std::string& problem) {
    throw std::invalid_argument(option + ": " + problem);
}

uint64_t parse_count(const std::string& option, const std::string& text, uint64_t max) {
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno == ERANGE || value > max) {
        reject(option, "'" + text + "' is not a whole number from 0 to " + std::to_string(max));
    }
    return value;
}

double parse_probability(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= 0 && value <= 1)) {
        reject(option, "'" + text + "' is not a probability from 0 to 1");
    }
    return value;
}

// "A:B" into its two halves.
std::pair<std::string, std::string> split_pair(const std::string& option, const std::string& text) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) reject(option, "'" + text + "' lacks the ':' between its two values");
    return {text.substr(0, colon), text.substr(colon + 1)};
}

constexpr uint64_t kMaxMilliseconds = 24ull * 3600 * 1000;
constexpr uint64_t kMaxNoiseBytes = 1u << 20;

std::chrono::milliseconds parse_milliseconds(const std::string& option, const std::string& text) {
    return std::chrono::milliseconds(parse_count(option, text, kMaxMilliseconds));
}

struct KnownOption {
    const char* name;
    bool takes_value;
    std::function<void(SimCommandLine&, const std::string& name, const std::string& value)> apply;
};

const std::vector<KnownOption>& known_options() {
    using Line = SimCommandLine;
    using Text = const std::string&;
    static const std::vector<KnownOption> options = {
        {"--link", true, [](Line& line, Text, Text value) { line.link_path = value; }},
        {"--pace", false, [](Line& line, Text, Text) { line.device.paced = true; }},
        {"--flash-ms", true,
         [](Line& line, Text name, Text value) { line.device.flash_write_time = parse_milliseconds(name, value); }},
        {"--flash-out", true, [](Line& line, Text, Text value) { line.flash_out = value; }},
        {"--drop", true,
         [](Line& line, Text name, Text value) { line.device.faults.drop = parse_probability(name, value); }},
        {"--corrupt", true,
         [](Line& line, Text name, Text value) { line.device.faults.corrupt = parse_probability(name, value); }},
        {"--split", true,
         [](Line& line, Text name, Text value) { line.device.faults.split = parse_probability(name, value); }},
        {"--delay", true,
         [](Line& line, Text name, Text value) {
             auto [probability, milliseconds] = split_pair(name, value);
             line.device.faults.delay = parse_probability(name, probability);
             line.device.faults.delay_time = parse_milliseconds(name, milliseconds);
         }},
        {"--delay-block", true,
         [](Line& line, Text name, Text value) {
             auto [block, milliseconds] = split_pair(name, value);
             line.device.faults.delay_block = parse_count(name, block, std::numeric_limits<uint32_t>::max());
             line.device.faults.delay_time = parse_milliseconds(name, milliseconds);
         }},
        {"--exceptions", true,
         [](Line& line, Text name, Text value) { line.device.faults.exception = parse_probability(name, value); }},
        {"--wrong-crc", false, [](Line& line, Text, Text) { line.device.faults.wrong_verify_crc = true; }},
        {"--noise", true,
         [](Line& line, Text name, Text value) {
             line.device.faults.power_on_noise = parse_count(name, value, kMaxNoiseBytes);
         }},
        {"--noise-bursts", true,
         [](Line& line, Text name, Text value) {
             auto [bursts, bytes] = split_pair(name, value);
             line.device.faults.noise_bursts =
                 static_cast<uint32_t>(parse_count(name, bursts, std::numeric_limits<uint32_t>::max()));
             line.device.faults.noise_burst_bytes = parse_count(name, bytes, kMaxNoiseBytes);
         }},
        {"--power-on-delay", true,
         [](Line& line, Text name, Text value) { line.device.faults.power_on_delay = parse_milliseconds(name, value); }},
        {"--die-after-blocks", true,
         [](Line& line, Text name, Text value) {
             line.device.faults.die_after_blocks = parse_count(name, value, std::numeric_limits<uint32_t>::max());
         }},
        {"--seed", true,
         [](Line& line, Text name, Text value) {
             line.device.faults.seed = parse_count(name, value, std::numeric_limits<uint64_t>::max());
         }},
        {"--help", false, [](Line& line, Text, Text) { line.help = true; }},
    };
    return options;
}

}  // namespace

SimCommandLine parse_sim_command_line(int argc, const char* const* argv) {
    SimCommandLine line;
    for (int i = 0; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "-h") name = "--help";
        const KnownOption* option = nullptr;
        for (const KnownOption& candidate : known_options()) {
            if (name == candidate.name) option = &candidate;
        }
        if (option == nullptr) reject(name, "unknown option");
        std::string value;
        if (option->takes_value) {
            if (i + 1 >= argc) reject(name, "needs a value");
            value = argv[++i];
        }
        option->apply(line, name, value);
    }
    return line;
}

}  // namespace sim
