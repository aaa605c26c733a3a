// The window layer on a real X server (a private Xvfb): a dialog from a
// template compiled by windres, driven by xdotool as an operator would.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_path.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_dialog.h"
#include "tests/support/x_close_box.h"
#include "tests/support/xvfb_display.h"

static auto* const display = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);

namespace {

using Clock = std::chrono::steady_clock;

std::vector<MSG> received;
std::vector<Clock::time_point> received_at;
// What a test has the window do on a message, besides recording it.
std::function<void(UINT message, WPARAM wparam)> also_on_message;

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    received.push_back(MSG{window, message, wparam, lparam, 0, POINT{0, 0}});
    received_at.push_back(Clock::now());
    if (also_on_message) {
        also_on_message(message, wparam);
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

size_t count_received(UINT message, WPARAM wparam) {
    size_t count = 0;
    for (const MSG& m : received) {
        count += m.message == message && m.wParam == wparam;
    }
    return count;
}

bool received_message(UINT message) {
    for (const MSG& m : received) {
        if (m.message == message) {
            return true;
        }
    }
    return false;
}

const WPARAM button_pressed = MAKEWPARAM(TEST_BUTTON_ID, BN_CLICKED);

// The X window of a shown top-level window, by its exact title.
std::string x_window_named(const std::string& title) {
    std::string id = run_command({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
    return id.substr(0, id.find('\n'));
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        received.clear();
        received_at.clear();
        also_on_message = nullptr;
        dialog = create_test_dialog(recording_proc);
        ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
        pump_messages_for(dialog, 200);  // mapped and drawn
    }

    void TearDown() override {
        if (IsWindow(dialog)) {
            DestroyWindow(dialog);
        }
    }

    // xdotool keys into the focused test dialog, while the test runs the loop.
    std::vector<std::string> keys_to_dialog(const std::vector<std::string>& keys) {
        std::vector<std::string> args{"xdotool", "search", "--sync", "--onlyvisible", "--name",
                                      std::string("^") + TEST_DIALOG_CAPTION + "$", "windowfocus", "--sync", "key",
                                      "--delay", "50"};
        args.insert(args.end(), keys.begin(), keys.end());
        return args;
    }

    HWND dialog = nullptr;
};

TEST_F(WindowTest, ShowsTheControlsWhereTheTemplatePutsThem) {
    SetDlgItemTextA(dialog, TEST_FIELD_ID, "Status text");
    HWND list = GetDlgItem(dialog, TEST_LIST_ID);
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("\\\\.\\com3"));
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    pump_messages_for(dialog, 300);

    const std::string png = std::string(DFUT_SCREENSHOT_DIR) + "/layer_test_window.png";
    std::remove(png.c_str());
    run_command({"import", "-window", x_window_named(TEST_DIALOG_CAPTION), png});
    const std::string rgb = run_command({"convert", png, "-depth", "8", "rgb:-"});

    // Client area: 240 x 120 dialog units at 6 x 13 base units.
    constexpr int width = 360, height = 195;
    ASSERT_EQ(rgb.size(), static_cast<size_t>(width * height * 3)) << "screenshot " << png;
    struct Rect {
        const char* what;
        int x, y, w, h;
    };
    // The template's rectangles in pixels (x * 6 / 4, y * 13 / 8, rounded); the
    // closed combo box is one edit field high (13 units).
    const Rect controls[] = {
        {"port list", 15, 72, 90, 21},  {"button", 117, 72, 105, 23}, {"status field", 234, 76, 114, 20},
        {"first text", 15, 11, 330, 49}, {"second text", 15, 107, 330, 72},
    };
    auto pixel_is_dark = [&](int x, int y) {
        const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) + 3 * (y * width + x);
        return p[0] + p[1] + p[2] < 3 * 100;
    };
    std::vector<int> dark_inside(std::size(controls), 0);
    int dark_outside = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!pixel_is_dark(x, y)) {
                continue;
            }
            bool inside = false;
            for (size_t i = 0; i < std::size(controls); ++i) {
                const Rect& r = controls[i];
                if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) {
                    ++dark_inside[i];
                    inside = true;
                }
            }
            dark_outside += !inside;
        }
    }
    // Text and frames are drawn inside the controls and nowhere else.
    EXPECT_EQ(dark_outside, 0) << "screenshot " << png;
    for (size_t i = 0; i < std::size(controls); ++i) {
        EXPECT_GT(dark_inside[i], 20) << controls[i].what << " draws nothing where the template puts it";
    }
    // The first text wraps: its box holds ink on more than one line.
    int first_text_lines = 0;
    bool in_line = false;
    for (int y = controls[3].y; y < controls[3].y + controls[3].h; ++y) {
        bool ink = false;
        for (int x = controls[3].x; x < controls[3].x + controls[3].w; ++x) {
            ink = ink || pixel_is_dark(x, y);
        }
        first_text_lines += ink && !in_line;
        in_line = ink;
    }
    EXPECT_GE(first_text_lines, 2);
}

TEST_F(WindowTest, ReturnPressesTheDefaultButtonAndEscapeDoesNothing) {
    ChildProcess keys(keys_to_dialog({"Escape", "Return"}));
    ASSERT_TRUE(keys.started());
    EXPECT_TRUE(pump_messages_until(dialog, [] { return count_received(WM_COMMAND, button_pressed) > 0; }, 10000));
    EXPECT_EQ(keys.wait(), 0);

    EXPECT_FALSE(received_message(WM_CLOSE));
    EXPECT_TRUE(IsWindow(dialog));
    const auto command = std::find_if(received.begin(), received.end(),
                                      [](const MSG& m) { return m.message == WM_COMMAND; });
    ASSERT_NE(command, received.end());
    EXPECT_EQ(command->wParam, button_pressed);
    EXPECT_EQ(command->lParam, reinterpret_cast<LPARAM>(GetDlgItem(dialog, TEST_BUTTON_ID)));
}

TEST_F(WindowTest, TabVisitsTheTabStopsInTemplateOrder) {
    // From the list, four steps round the three stops land on the button again,
    // which the space bar presses.
    ChildProcess keys(keys_to_dialog({"Tab", "Tab", "Tab", "Tab", "space"}));
    EXPECT_EQ(keys.wait(), 0);
    pump_messages_for(dialog, 500);
    EXPECT_EQ(count_received(WM_COMMAND, button_pressed), 1u);
}

TEST_F(WindowTest, TheCloseBoxEndsInDestroyAndQuit) {
    ASSERT_TRUE(click_close_box(x_window_named(TEST_DIALOG_CAPTION)));
    MSG message;
    int loops = 0;
    while (GetMessageA(&message, nullptr, 0, 0) > 0 && ++loops < 10000) {
        if (!IsWindow(dialog) || !IsDialogMessageA(dialog, &message)) {
            DispatchMessageA(&message);
        }
    }
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_FALSE(IsWindow(dialog));
    std::vector<UINT> order;
    for (const MSG& m : received) {
        if (m.message == WM_CLOSE || m.message == WM_DESTROY) {
            order.push_back(m.message);
        }
    }
    EXPECT_EQ(order, (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
}

TEST_F(WindowTest, TimerKeepsTickingWhileAMessageBoxIsShown) {
    constexpr UINT_PTR tick_id = 7;
    SetTimer(dialog, tick_id, 20, nullptr);
    // The operator reads for a while, then presses Return.
    ChildProcess operator_(std::vector<std::string>{
        "sh", "-c", "sleep 0.6; xdotool search --sync --onlyvisible --name '^Box Caption$' windowfocus --sync key Return"});
    const int answer = MessageBoxA(dialog, "Read me.", "Box Caption", MB_OK | MB_ICONWARNING);
    EXPECT_EQ(operator_.wait(), 0);
    EXPECT_EQ(answer, IDOK);
    // About 30 ticks in 600 ms; a loop that stopped dispatching would show none.
    EXPECT_GE(count_received(WM_TIMER, tick_id), 10u);
}

// The moments at which the window received WM_TIMER from a timer.
std::vector<Clock::time_point> ticks_of(UINT_PTR timer_id) {
    std::vector<Clock::time_point> ticks;
    for (size_t i = 0; i < received.size(); ++i) {
        if (received[i].message == WM_TIMER && received[i].wParam == timer_id) {
            ticks.push_back(received_at[i]);
        }
    }
    return ticks;
}

double ms_between(Clock::time_point earlier, Clock::time_point later) {
    const std::chrono::duration<double, std::milli> between = later - earlier;
    return between.count();
}

TEST_F(WindowTest, SettingATimerAgainRestartsItsCount) {
    constexpr UINT_PTR tick_id = 7, restart_id = 8;
    Clock::time_point restarted{};
    also_on_message = [&](UINT message, WPARAM wparam) {
        if (message == WM_TIMER && wparam == restart_id) {
            KillTimer(dialog, restart_id);
            SetTimer(dialog, tick_id, 1000, nullptr);
            restarted = Clock::now();
        }
    };
    SetTimer(dialog, tick_id, 1000, nullptr);
    SetTimer(dialog, restart_id, 300, nullptr);
    ASSERT_TRUE(pump_messages_until(dialog, [] { return !ticks_of(tick_id).empty(); }, 8000));
    ASSERT_NE(restarted, Clock::time_point{}) << "the timer fell due before it was set again";
    // Counted again from the second setting: due 1000 ms after it, not 700 ms
    // after it as the first setting's count would have it.
    EXPECT_GE(ms_between(restarted, ticks_of(tick_id).front()), 950);
}

TEST_F(WindowTest, ATimerThatFellDueManyTimesYieldsOneMessage) {
    constexpr UINT_PTR tick_id = 7;
    SetTimer(dialog, tick_id, 40, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // ten falls missed
    ASSERT_TRUE(pump_messages_until(dialog, [] { return ticks_of(tick_id).size() >= 2; }, 5000));
    // The first comes at once; the second waits for a fall of its own.
    const std::vector<Clock::time_point> ticks = ticks_of(tick_id);
    EXPECT_GE(ms_between(ticks[0], ticks[1]), 25.0);
}

TEST(PlatformLog, FollowsTheWindowOneLinePerCall) {
    const std::string log = temp_path("platform_log.log");
    std::remove(log.c_str());
    setenv("DFUT_PLATFORM_LOG", log.c_str(), 1);
    HWND dialog = create_test_dialog(recording_proc);
    ASSERT_NE(dialog, nullptr);
    SetDlgItemTextA(dialog, TEST_FIELD_ID, "Say \"hi\"\\\r\n");
    SetTimer(dialog, 6, 10, nullptr);
    KillTimer(dialog, 6);
    Beep(440, 50);
    DestroyWindow(dialog);
    unsetenv("DFUT_PLATFORM_LOG");

    std::ifstream file(log);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::remove(log.c_str());
    EXPECT_EQ(text,
              "window created \"Layer Test Window\"\n"
              "SetDlgItemTextA id=5 text=\"Say \\\"hi\\\"\\\\\\r\\n\"\n"
              "SetTimer id=6 ms=10\n"
              "KillTimer id=6\n"
              "Beep frequency=440 ms=50\n"
              "window destroyed \"Layer Test Window\"\n");
}

}  // namespace
