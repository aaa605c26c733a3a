#pragma once

// The test dialog (test_dialog.rc, compiled by windres into the file that
// DFUT_TEST_DIALOG_RES names) as the program's resources, and its window
// class registered with a window procedure of the test's choosing.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/linux/test_hooks.h"
#include "platform/win32.h"
#include "tests/support/test_dialog_ids.h"

constexpr char TEST_DIALOG_NAME[] = "LAYERTEST";
constexpr char TEST_DIALOG_CAPTION[] = "Layer Test Window";

inline const std::vector<uint8_t>& test_dialog_resources() {
    static const std::vector<uint8_t> bytes = [] {
        std::ifstream file(DFUT_TEST_DIALOG_RES, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
    }();
    return bytes;
}

// Registers the class that the template names (in other letter case: names
// match regardless of case) and creates the dialog. The class is registered
// once per process, with the first procedure given: a test program passes
// the same one every time.
inline HWND create_test_dialog(WNDPROC procedure) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA window_class{};
        window_class.lpfnWndProc = procedure;
        window_class.lpszClassName = "LayerTest";
        registered = RegisterClassA(&window_class) != 0;
    }
    const std::vector<uint8_t>& resources = test_dialog_resources();
    dfut_platform::set_resource_data(resources.data(), resources.size());
    return CreateDialogParamA(nullptr, TEST_DIALOG_NAME, nullptr, nullptr, 0);
}
