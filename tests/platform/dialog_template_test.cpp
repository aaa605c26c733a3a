// Reading extended dialog templates: what windres compiles, hand-made texts,
// and bytes that are not a template.

#include "platform/linux/dialog_template.h"

#include <strings.h>

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/dialog_units.h"
#include "platform/linux/res_file.h"
#include "tests/support/test_dialog.h"

namespace {

std::vector<uint8_t> compiled_test_template() {
    const std::vector<uint8_t>& res = test_dialog_resources();
    size_t offset = 0;
    ResEntry entry;
    while (read_res_entry(res.data(), res.size(), &offset, &entry)) {
        if (res_id_matches(entry.type, RT_DIALOG) && res_id_matches(entry.name, TEST_DIALOG_NAME)) {
            return std::vector<uint8_t>(entry.data, entry.data + entry.data_size);
        }
    }
    return {};
}

TEST(DialogTemplate, ReadsWhatWindresCompiles) {
    const std::vector<uint8_t> bytes = compiled_test_template();
    DialogTemplate dialog;
    ASSERT_TRUE(parse_dialog_template(bytes.data(), bytes.size(), &dialog));

    EXPECT_EQ(dialog.style, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    EXPECT_EQ(dialog.ex_style, WS_EX_APPWINDOW);
    EXPECT_EQ((std::vector<int>{dialog.x, dialog.y, dialog.cx, dialog.cy}), (std::vector<int>{32, 32, 240, 120}));
    EXPECT_EQ(dialog.menu.kind, TemplateName::Kind::absent);
    ASSERT_EQ(dialog.window_class.kind, TemplateName::Kind::text);
    EXPECT_EQ(strcasecmp(dialog.window_class.text.c_str(), "layertest"), 0);
    EXPECT_EQ(dialog.title, "Layer Test Window");
    EXPECT_EQ(dialog.point_size, 8);
    EXPECT_EQ(dialog.typeface, "MS Sans Serif");

    ASSERT_EQ(dialog.items.size(), 5u);
    const int ids[] = {TEST_LIST_ID, TEST_BUTTON_ID, TEST_FIELD_ID, -1, -1};
    const uint16_t classes[] = {COMBOBOX_CLASS_ORDINAL, BUTTON_CLASS_ORDINAL, EDIT_CLASS_ORDINAL,
                                STATIC_CLASS_ORDINAL, STATIC_CLASS_ORDINAL};
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        EXPECT_EQ(dialog.items[i].id, ids[i]) << "item " << i;
        EXPECT_EQ(dialog.items[i].window_class.kind, TemplateName::Kind::ordinal) << "item " << i;
        EXPECT_EQ(dialog.items[i].window_class.ordinal, classes[i]) << "item " << i;
    }
    const DialogItemTemplate& list = dialog.items[0];
    EXPECT_EQ((std::vector<int>{list.x, list.y, list.cx, list.cy}), (std::vector<int>{10, 44, 60, 100}));
    EXPECT_EQ(list.style, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_HASSTRINGS);
    EXPECT_EQ(dialog.items[1].style & BS_TYPEMASK, static_cast<uint32_t>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(dialog.items[1].title.text, "Press Me");
    EXPECT_EQ(dialog.items[2].style & (ES_READONLY | WS_BORDER), static_cast<uint32_t>(ES_READONLY));
    EXPECT_EQ(dialog.items[4].title.text, "Below the row: 100% sure, \"quoted\", a@b && c.\n\nAfter an empty line.");
}

// A template made by hand: one static text whose title is given in UTF-16.
std::vector<uint8_t> template_with_title(const std::vector<uint16_t>& title) {
    std::vector<uint8_t> bytes;
    auto u16 = [&](uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    };
    u16(1), u16(0xFFFF), u32(0), u32(0), u32(WS_POPUP), u16(1);
    u16(0), u16(0), u16(100), u16(50);
    u16(0), u16(0), u16(0);  // no menu, no class, empty title
    while (bytes.size() % 4) bytes.push_back(0);
    u32(0), u32(0), u32(WS_CHILD | WS_VISIBLE), u16(1), u16(2), u16(80), u16(20), u32(0xFFFFFFFF);
    u16(0xFFFF), u16(STATIC_CLASS_ORDINAL);
    for (uint16_t unit : title) u16(unit);
    u16(0);
    u16(0);  // no creation data
    return bytes;
}

TEST(DialogTemplate, TurnsUtf16TextsIntoUtf8) {
    struct Case {
        std::vector<uint16_t> utf16;
        std::string utf8;
    };
    const Case cases[] = {
        {{'A', 0x00E9, 0x20AC}, "A\xC3\xA9\xE2\x82\xAC"},       // é €
        {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},                 // a pair of surrogates
        {{0xD83D, 'x'}, "\xEF\xBF\xBDx"},                       // a lone high surrogate
        {{0xDE00}, "\xEF\xBF\xBD"},                             // a lone low surrogate
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = template_with_title(c.utf16);
        DialogTemplate dialog;
        ASSERT_TRUE(parse_dialog_template(bytes.data(), bytes.size(), &dialog));
        ASSERT_EQ(dialog.items.size(), 1u);
        EXPECT_EQ(dialog.items[0].id, -1);
        EXPECT_EQ(dialog.items[0].title.text, c.utf8);
    }
}

TEST(DialogTemplate, EveryShortenedTemplateFails) {
    const std::vector<uint8_t> bytes = compiled_test_template();
    ASSERT_FALSE(bytes.empty());
    for (size_t size = 0; size < bytes.size(); ++size) {
        // A copy of exactly that size, so that a read past it is caught.
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        DialogTemplate dialog;
        EXPECT_FALSE(parse_dialog_template(cut.data(), cut.size(), &dialog)) << "cut to " << size << " bytes";
    }
}

TEST(DialogTemplate, DamagedBytesNeverReadOutside) {
    const std::vector<uint8_t> bytes = compiled_test_template();
    ASSERT_FALSE(bytes.empty());
    std::mt19937 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> damaged = bytes;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
        }
        damaged.resize(random() % (damaged.size() + 1));
        DialogTemplate dialog;
        if (parse_dialog_template(damaged.data(), damaged.size(), &dialog)) {
            // A template that reads whole has exactly the items it declares.
            ASSERT_GE(damaged.size(), 10u);
            EXPECT_EQ(dialog.items.size(), static_cast<size_t>(damaged[16] | (damaged[17] << 8)));
        }
    }
}

TEST(DialogUnits, ConvertAtBaseUnitsSixByThirteenRounded) {
    const int x_cases[][2] = {{0, 0}, {1, 2}, {2, 3}, {17, 26}, {337, 506}, {-4, -6}};
    for (const auto& c : x_cases) {
        EXPECT_EQ(dialog_x_to_pixels(c[0]), c[1]) << "x " << c[0];
    }
    const int y_cases[][2] = {{0, 0}, {1, 2}, {8, 13}, {68, 111}, {210, 341}};
    for (const auto& c : y_cases) {
        EXPECT_EQ(dialog_y_to_pixels(c[0]), c[1]) << "y " << c[0];
    }
}

}  // namespace
