// Start-up and the message loop of the tool's one window.

#include "common/control_ids.h"
#include "common/main_window.h"
#include "common/status.h"
#include "common/trace.h"
#include "job/firmware_image.h"
#include "ui/fatal_error.h"
#include "ui/main_window_proc.h"
#include "ui/port_discovery.h"

namespace {

// The version the tool reports is fixed; the system is not asked.
constexpr unsigned REPORTED_WINDOWS_VERSION = 0xA00;

void register_window_class() {
    WNDCLASSA window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = main_window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = DLGWINDOWEXTRA;
    window_class.hInstance = app_instance;
    window_class.hIcon = nullptr;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = "QZD";
    if (!RegisterClassA(&window_class)) {
        fatal_error("Unabled to register window class");
    }
}

int run_message_loop() {
    MSG message{};
    // GetMessageA gives 0 for the quit message and -1 on failure; both end the loop.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsWindow(main_window) && IsDialogMessageA(main_window, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    app_instance = instance;
    register_window_class();

    main_window = CreateDialogParamA(app_instance, "QZD", nullptr, nullptr, 0);
    if (main_window == nullptr) {
        fatal_error("Could not create dialog");
    }
    ShowWindow(main_window, show_command);
    HWND port_list = GetDlgItem(main_window, PORT_LIST_ID);

    trace("Running on windows version: %x\n", REPORTED_WINDOWS_VERSION);
    probe_ports(port_list);
    set_status(" - Idle - ");
    init_update_job(update_job);
    load_firmware_image(update_job);
    // Every block frame reads from the image: without one no run may start.
    if (update_job.image == nullptr) {
        fatal_error("Firmware image missing from the program");
    }
    return run_message_loop();
}
