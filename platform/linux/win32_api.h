// Declarations of the Windows API subset implemented by the Linux platform
// layer. Types, constants and structure layouts follow the Windows ones so that
// the same tool sources compile against either.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef void* HANDLE;
typedef HANDLE HMODULE;
typedef HANDLE HINSTANCE;
typedef HANDLE HGLOBAL;
typedef HANDLE HRSRC;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED* LPOVERLAPPED;

#define MAXDWORD 0xffffffffu
#define TRUE 1
#define FALSE 0
#define WINAPI

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

// CreateFileA
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80

// Error codes that the layer sets
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_NOT_SUPPORTED 50
#define ERROR_INVALID_PARAMETER 87
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814

// Serial line settings
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define ONESTOPBIT 0
#define TWOSTOPBITS 2
#define DTR_CONTROL_DISABLE 0
#define DTR_CONTROL_ENABLE 1
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1
#define PURGE_TXABORT 0x0001
#define PURGE_RXABORT 0x0002
#define PURGE_TXCLEAR 0x0004
#define PURGE_RXCLEAR 0x0008

typedef struct _DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
} DCB, *LPDCB;

typedef struct _COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

// Serial communications through the file interface
HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode,
                   LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                   HANDLE template_file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written,
               LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);
BOOL GetCommState(HANDLE file, LPDCB dcb);
BOOL SetCommState(HANDLE file, LPDCB dcb);
BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL SetCommMask(HANDLE file, DWORD event_mask);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL FlushFileBuffers(HANDLE file);

// Time
DWORD GetTickCount(void);
void Sleep(DWORD milliseconds);

// Errors
DWORD GetLastError(void);
void SetLastError(DWORD code);

// The program's own resources
#define MAKEINTRESOURCEA(id) (reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<WORD>(id))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<uintptr_t>(p) >> 16) == 0)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_MANIFEST MAKEINTRESOURCEA(24)

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);
DWORD SizeofResource(HMODULE module, HRSRC resource);

// Windows, messages and timers
typedef struct HWND__* HWND;
typedef struct HICON__* HICON;
typedef struct HCURSOR__* HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef WORD ATOM;
#define CALLBACK

typedef LRESULT(CALLBACK* WNDPROC)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
typedef void(CALLBACK* TIMERPROC)(HWND window, UINT message, UINT_PTR timer_id, DWORD tick_count);

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define LOWORD(value) (static_cast<WORD>(static_cast<uintptr_t>(value) & 0xffff))
#define HIWORD(value) (static_cast<WORD>((static_cast<uintptr_t>(value) >> 16) & 0xffff))
#define MAKEWPARAM(low, high) (static_cast<WPARAM>(static_cast<DWORD>(static_cast<WORD>(low)) | (static_cast<DWORD>(static_cast<WORD>(high)) << 16)))

// Messages
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define BN_CLICKED 0

// Combo box messages
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_SETCURSEL 0x014E

// Window and dialog styles
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_VSCROLL 0x00200000u
#define WS_TABSTOP 0x00010000u
#define WS_EX_APPWINDOW 0x00040000u
#define DS_SETFONT 0x40
#define DS_MODALFRAME 0x80
#define DLGWINDOWEXTRA 30

// Control styles
#define BS_PUSHBUTTON 0x0
#define BS_DEFPUSHBUTTON 0x1
#define BS_TYPEMASK 0xF
#define CBS_DROPDOWN 0x2
#define CBS_TYPEMASK 0x3
#define CBS_SORT 0x100
#define CBS_HASSTRINGS 0x200
#define ES_MULTILINE 0x4
#define ES_AUTOHSCROLL 0x80
#define ES_READONLY 0x800
#define SS_LEFT 0x0
#define SS_TYPEMASK 0x1F

// Window class
#define CS_VREDRAW 0x1
#define CS_HREDRAW 0x2
#define COLOR_BTNFACE 15
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// ShowWindow
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWDEFAULT 10

// Timers
#define USER_TIMER_MINIMUM 0x0000000A
#define USER_TIMER_MAXIMUM 0x7FFFFFFF

// Message box
#define MB_OK 0x0
#define MB_TYPEMASK 0xF
#define MB_ICONWARNING 0x30
#define MB_ICONMASK 0xF0
#define IDOK 1

// Message texts
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

// Error codes of the window side
#define ERROR_INVALID_DATA 13
#define ERROR_NOT_READY 21
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MR_MID_NOT_FOUND 317
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CONTROL_ID_NOT_FOUND 1421

ATOM RegisterClassA(const WNDCLASSA* window_class);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursor_name);
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR template_name, HWND owner, DLGPROC dialog_proc,
                        LPARAM init_param);
BOOL ShowWindow(HWND window, int show_command);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
HWND GetDlgItem(HWND dialog, int control_id);
BOOL SetDlgItemTextA(HWND dialog, int control_id, LPCSTR text);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL GetMessageA(LPMSG message, HWND window, UINT first_message, UINT last_message);
BOOL IsDialogMessageA(HWND dialog, LPMSG message);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
UINT_PTR SetTimer(HWND window, UINT_PTR timer_id, UINT elapse_ms, TIMERPROC timer_proc);
BOOL KillTimer(HWND window, UINT_PTR timer_id);

// Message box, tone, error texts
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL Beep(DWORD frequency, DWORD duration_ms);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                     DWORD size, va_list* arguments);
