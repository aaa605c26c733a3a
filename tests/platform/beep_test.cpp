// The tone, captured through an ALSA file device and measured with sox.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_path.h"

namespace {

// Points ALSA's default device at `definition`, in a configuration of its
// own; returns the configuration's path.
std::string use_alsa_default(const std::string& name, const std::string& definition) {
    const std::string config = temp_path(name + ".asoundrc");
    std::ofstream(config) << "pcm.null { type null }\npcm.default " << definition << "\n";
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    return config;
}

double call_ms(DWORD frequency, DWORD duration_ms) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Beep(frequency, duration_ms));
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

// A figure from `sox <file> -n stat`, by the label it prints before it.
double sox_stat(const std::string& wav, const std::string& label) {
    std::istringstream lines(run_command({"sh", "-c", "sox '" + wav + "' -n stat 2>&1"}));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(label, 0) == 0) {
            return std::stod(line.substr(line.find(':') + 1));
        }
    }
    ADD_FAILURE() << "sox printed no " << label << " for " << wav;
    return 0;
}

class ToneTest : public ::testing::TestWithParam<std::pair<DWORD, DWORD>> {};

TEST_P(ToneTest, SoundsTheFrequencyForTheLength) {
    const auto [frequency, duration_ms] = GetParam();
    const std::string wav = temp_path("tone_" + std::to_string(frequency) + ".wav");
    std::remove(wav.c_str());
    const std::string config = use_alsa_default("tone_" + std::to_string(frequency),
                     "{ type file slave.pcm \"null\" file \"" + wav + "\" format \"wav\" }");

    EXPECT_GE(call_ms(frequency, duration_ms), duration_ms);

    EXPECT_NEAR(sox_stat(wav, "Rough   frequency"), frequency, 0.02 * frequency);
    EXPECT_NEAR(sox_stat(wav, "Length (seconds)") * 1000, duration_ms, 10.0);
    std::remove(wav.c_str());
    std::remove(config.c_str());
}

INSTANTIATE_TEST_SUITE_P(CompletionAndFatalTones, ToneTest,
                         ::testing::Values(std::make_pair(2000u, 100u), std::make_pair(200u, 1000u)));

TEST(Beep, TakesItsLengthWithNoSoundDevice) {
    const std::string config = use_alsa_default("no_device", "{ type hw card 99 }");
    const double took = call_ms(440, 300);
    std::remove(config.c_str());
    EXPECT_GE(took, 300);
    EXPECT_LT(took, 1300);
}

}  // namespace
