#pragma once

#include "job/update_job.h"
#include "platform/win32.h"

// The module the program was started from, where its resources are found.
extern HINSTANCE app_instance;

// The one update job of the process.
extern UpdateJob update_job;

// Window procedure of the tool's window class: a press of "Update Device"
// starts a run, each tick timer message advances it, destruction ends the loop.
LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
