#include "platform/linux/serial_line_settings.h"

namespace {

struct LineSpeed {
    DWORD baud_rate;
    speed_t code;
};

constexpr LineSpeed line_speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

const LineSpeed* speed_for_baud_rate(DWORD baud_rate) {
    for (const LineSpeed& speed : line_speeds) {
        if (speed.baud_rate == baud_rate) {
            return &speed;
        }
    }
    return nullptr;
}

DWORD baud_rate_for_speed(speed_t code) {
    for (const LineSpeed& speed : line_speeds) {
        if (speed.code == code) {
            return speed.baud_rate;
        }
    }
    return 0;
}

constexpr tcflag_t character_format = CSIZE | PARENB | PARODD | CMSPAR;

}  // namespace

void make_raw(termios& settings) {
    const tcflag_t line = settings.c_cflag;
    cfmakeraw(&settings);
    settings.c_cflag = line | CLOCAL | CREAD;
    settings.c_iflag &= ~(IGNPAR | INPCK | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

DCB dcb_from_termios(const termios& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = baud_rate_for_speed(cfgetospeed(&settings));
    dcb.fBinary = 1;
    dcb.fParity = (settings.c_iflag & INPCK) ? 1 : 0;
    dcb.fOutxCtsFlow = (settings.c_cflag & CRTSCTS) ? 1 : 0;
    // The system raises both lines when a port is opened.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = (settings.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (settings.c_iflag & IXOFF) ? 1 : 0;
    switch (settings.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }
    if (!(settings.c_cflag & PARENB)) {
        dcb.Parity = NOPARITY;
    } else {
        dcb.Parity = (settings.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    }
    dcb.StopBits = (settings.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
    return dcb;
}

bool apply_dcb(const DCB& dcb, termios& settings) {
    const LineSpeed* speed = speed_for_baud_rate(dcb.BaudRate);
    if (speed == nullptr) {
        return false;
    }
    tcflag_t format = 0;
    switch (dcb.ByteSize) {
    case 5: format = CS5; break;
    case 6: format = CS6; break;
    case 7: format = CS7; break;
    case 8: format = CS8; break;
    default: return false;
    }
    switch (dcb.Parity) {
    case NOPARITY: break;
    case ODDPARITY: format |= PARENB | PARODD; break;
    case EVENPARITY: format |= PARENB; break;
    default: return false;
    }
    switch (dcb.StopBits) {
    case ONESTOPBIT: break;
    case TWOSTOPBITS: format |= CSTOPB; break;
    default: return false;
    }

    make_raw(settings);
    settings.c_cflag &= ~(character_format | CSTOPB | CRTSCTS);
    settings.c_cflag |= format;
    if (dcb.fOutxCtsFlow) {
        settings.c_cflag |= CRTSCTS;
    }
    // Without a parity check nothing is marked, dropped or replaced: every
    // received byte arrives as it came. With one, a byte in error reads as 0.
    if (dcb.fParity) {
        settings.c_iflag |= INPCK;
    }
    if (dcb.fOutX) {
        settings.c_iflag |= IXON;
    }
    if (dcb.fInX) {
        settings.c_iflag |= IXOFF;
    }
    settings.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    settings.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    cfsetispeed(&settings, speed->code);
    cfsetospeed(&settings, speed->code);
    return true;
}

bool same_apart_from_character_format(const termios& requested, const termios& applied) {
    return requested.c_iflag == applied.c_iflag && requested.c_oflag == applied.c_oflag &&
           requested.c_lflag == applied.c_lflag &&
           (requested.c_cflag & ~character_format) == (applied.c_cflag & ~character_format) &&
           cfgetispeed(&requested) == cfgetispeed(&applied) &&
           cfgetospeed(&requested) == cfgetospeed(&applied) &&
           requested.c_cc[VMIN] == applied.c_cc[VMIN] &&
           requested.c_cc[VTIME] == applied.c_cc[VTIME] &&
           requested.c_cc[VSTART] == applied.c_cc[VSTART] &&
           requested.c_cc[VSTOP] == applied.c_cc[VSTOP];
}
