#include "platform/linux/fltk_text.h"

namespace {

std::string converted(const char* text, bool double_ampersands) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    for (const char* at = text; *at != '\0'; ++at) {
        switch (*at) {
        case '\r':
            out += '\n';
            if (at[1] == '\n') {
                ++at;
            }
            break;
        case '@':
            out += "@@";
            break;
        case '&':
            out += double_ampersands ? "&&" : "&";
            break;
        default:
            out += *at;
        }
    }
    return out;
}

}  // namespace

std::string label_text(const char* text) {
    return converted(text, false);
}

std::string menu_item_text(const char* text) {
    return converted(text, true);
}
