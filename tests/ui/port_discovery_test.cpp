// Port discovery over a port folder (DFUT_COMPORTS) whose entries link to
// pseudo-terminals, with the port list of a real dialog on a private X server.

#include "ui/port_discovery.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/message_pump.h"
#include "tests/support/pty_peer.h"
#include "tests/support/test_dialog.h"
#include "tests/support/xvfb_display.h"

static auto* const display = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);

namespace {

LRESULT CALLBACK plain_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcA(window, message, wparam, lparam);
}

std::string item_text(HWND list, int position) {
    char text[PORT_PATH_SIZE] = {};
    SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<std::string> items_of(HWND list) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        items.push_back(item_text(list, i));
    }
    return items;
}

class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder_template[] = "/tmp/dfut_ports_XXXXXX";
        ASSERT_NE(mkdtemp(folder_template), nullptr);
        folder = folder_template;
        setenv("DFUT_COMPORTS", folder.c_str(), 1);
        dialog = create_test_dialog(plain_proc);
        ASSERT_NE(dialog, nullptr);
        list = GetDlgItem(dialog, TEST_LIST_ID);
    }

    void TearDown() override {
        DestroyWindow(dialog);
        unsetenv("DFUT_COMPORTS");
        run_command({"rm", "-rf", folder});
    }

    // Port N: a pseudo-terminal linked as comN in the port folder.
    const PtyPeer& add_port(int number) {
        ports.push_back(std::make_unique<PtyPeer>());
        EXPECT_TRUE(ports.back()->ok());
        EXPECT_EQ(symlink(ports.back()->slave_path().c_str(), entry(number).c_str()), 0);
        return *ports.back();
    }

    std::string entry(int number) const { return folder + "/com" + std::to_string(number); }

    std::string folder;
    std::vector<std::unique_ptr<PtyPeer>> ports;
    HWND dialog = nullptr;
    HWND list = nullptr;
};

TEST_F(PortDiscoveryTest, ListsPortsInNumberOrderAndResolvesTheSelectedPosition) {
    add_port(12);
    add_port(3);
    probe_ports(list);

    // By number, not as text would sort ("\\.\com12" before "\\.\com3").
    EXPECT_EQ(items_of(list), (std::vector<std::string>{"\\\\.\\com3", "\\\\.\\com12"}));
    EXPECT_EQ(PortTable[0].number, 3);
    EXPECT_EQ(PortTable[1].number, 12);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(chosen_port_path(list), PortTable[0].path);

    SendMessageA(list, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(chosen_port_path(list), PortTable[1].path);
    EXPECT_STREQ(chosen_port_path(list), "\\\\.\\com12");
}

TEST_F(PortDiscoveryTest, SkipsAPortThatAnotherProgramHolds) {
    add_port(1);
    const PtyPeer& held = add_port(2);
    add_port(10);

    // Another program holds port 2 as the tool would: open, with the lock.
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(ready[0]);
        close(release[1]);
        const int fd = open(held.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char held_it = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &held_it, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char held_it = 'n';
    ASSERT_EQ(read(ready[0], &held_it, 1), 1);
    ASSERT_EQ(held_it, 'y');

    probe_ports(list);
    close(release[1]);
    close(ready[0]);
    waitpid(holder, nullptr, 0);

    EXPECT_EQ(items_of(list), (std::vector<std::string>{"\\\\.\\com1", "\\\\.\\com10"}));
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
}

TEST_F(PortDiscoveryTest, NeverTriesANumberAbove998) {
    // Plain files open like any present port; a watch tells whether they were opened at all.
    std::ofstream(entry(998)).put('x');
    std::ofstream(entry(999)).put('x');
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    const int watch_998 = inotify_add_watch(watch, entry(998).c_str(), IN_OPEN);
    const int watch_999 = inotify_add_watch(watch, entry(999).c_str(), IN_OPEN);

    probe_ports(list);

    EXPECT_EQ(items_of(list), (std::vector<std::string>{"\\\\.\\com998"}));
    int opened_998 = 0, opened_999 = 0;
    alignas(inotify_event) char events[4096];
    ssize_t length;
    while ((length = read(watch, events, sizeof events)) > 0) {
        for (char* at = events; at < events + length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            opened_998 += event->wd == watch_998;
            opened_999 += event->wd == watch_999;
            at += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    EXPECT_GT(opened_998, 0);
    EXPECT_EQ(opened_999, 0);
}

TEST_F(PortDiscoveryTest, AnEmptyFolderGivesAnEmptyListWithNothingSelected) {
    probe_ports(list);
    EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(chosen_port_path(list), nullptr);
}

TEST_F(PortDiscoveryTest, TextTypedIntoTheEditFieldNeverBecomesAPath) {
    add_port(3);
    probe_ports(list);
    ASSERT_STREQ(chosen_port_path(list), "\\\\.\\com3");

    // The operator types into the list's edit field, which has the focus.
    ChildProcess typing({"xdotool", "search", "--sync", "--onlyvisible", "--name",
                         std::string("^") + TEST_DIALOG_CAPTION + "$", "windowfocus", "--sync", "type", "--delay",
                         "20", "7"});
    char text[PORT_PATH_SIZE] = {};
    const bool typed = pump_messages_until(
        dialog,
        [&] {
            SendMessageA(list, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            return std::string(text) != "\\\\.\\com3";
        },
        10000);
    EXPECT_EQ(typing.wait(), 0);
    ASSERT_TRUE(typed) << "the typing never reached the edit field";
    EXPECT_NE(std::string(text).find('7'), std::string::npos);

    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(chosen_port_path(list), nullptr);
}

}  // namespace
