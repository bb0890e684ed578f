// The program's resources as built: both dialog templates read field by field
// from the resource section, the About item's text and the manifest; and the
// main dialog's windows as the dialog manager makes them from its template.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "ui/res/resource.h"

namespace {

constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr DWORD kChildVisible = WS_CHILD | WS_VISIBLE;

struct ItemTemplate {
    int id;
    std::wstring className;
    std::optional<std::wstring> text;  // none: a text of the implementer's choice
    WORD textOrdinal;                  // a resource id in place of a text, else 0
    short x, y, cx, cy;
    DWORD style;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, className, caption;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::wstring font;
    std::vector<ItemTemplate> items;
};

// The bytes of one resource of this program, in the one language it must have.
struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context)
{
    reinterpret_cast<std::vector<WORD>*>(context)->push_back(language);
    return TRUE;
}

std::vector<WORD> LanguagesOf(LPCWSTR type, LPCWSTR name)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesW(GetModuleHandleW(nullptr), type, name, &CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

Resource LoadProgramResource(LPCWSTR type, LPCWSTR name, WORD language)
{
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC info = FindResourceExW(module, type, name, language);
    if (!info)
        return {};
    const HGLOBAL loaded = LoadResource(module, info);
    return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, info)};
}

// Reads an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX
// items), checking every read against the resource's size.
class TemplateReader {
public:
    explicit TemplateReader(const Resource& resource) : m_data(resource.data), m_size(resource.size) {}

    bool Overrun() const { return m_overrun; }

    template <typename T>
    T Read()
    {
        T value{};
        if (m_pos + sizeof(T) > m_size) {
            m_overrun = true;
            return value;
        }
        std::memcpy(&value, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return value;
    }

    // A text or an ordinal: 0 for none, 0xFFFF followed by the ordinal, or a
    // zero-terminated UTF-16 text.
    std::wstring TextOrOrdinal(WORD& ordinal)
    {
        ordinal = 0;
        const WORD first = Read<WORD>();
        if (first == 0xFFFF) {
            ordinal = Read<WORD>();
            return {};
        }
        std::wstring text;
        for (WORD c = first; c != 0 && !m_overrun; c = Read<WORD>())
            text += static_cast<wchar_t>(c);
        return text;
    }

    std::wstring Text()
    {
        WORD ordinal = 0;
        return TextOrOrdinal(ordinal);
    }

    void AlignToDword() { m_pos = (m_pos + 3) & ~size_t{3}; }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_overrun = false;
};

std::wstring PredefinedClass(WORD atom)
{
    switch (atom) {
    case 0x0080:
        return L"Button";
    case 0x0081:
        return L"Edit";
    case 0x0082:
        return L"Static";
    default:
        return L"#" + std::to_wstring(atom);
    }
}

// Parses the template; fails the test and returns nothing when it is not a
// well-formed extended template.
std::optional<DialogTemplate> ParseDialogTemplate(const Resource& resource)
{
    TemplateReader in(resource);
    const WORD version = in.Read<WORD>();
    const WORD signature = in.Read<WORD>();
    if (version != 1 || signature != 0xFFFF) {
        ADD_FAILURE() << "not an extended dialog template";
        return std::nullopt;
    }
    DialogTemplate dialog;
    dialog.helpId = in.Read<DWORD>();
    dialog.exStyle = in.Read<DWORD>();
    dialog.style = in.Read<DWORD>();
    const WORD count = in.Read<WORD>();
    dialog.x = in.Read<short>();
    dialog.y = in.Read<short>();
    dialog.cx = in.Read<short>();
    dialog.cy = in.Read<short>();
    dialog.menu = in.Text();
    dialog.className = in.Text();
    dialog.caption = in.Text();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.pointSize = in.Read<WORD>();
        dialog.weight = in.Read<WORD>();
        dialog.italic = in.Read<BYTE>();
        dialog.charset = in.Read<BYTE>();
        dialog.font = in.Text();
    }
    for (WORD i = 0; i < count && !in.Overrun(); ++i) {
        in.AlignToDword();
        ItemTemplate item{};
        in.Read<DWORD>();  // help id
        const DWORD exStyle = in.Read<DWORD>();
        item.style = in.Read<DWORD>();
        item.x = in.Read<short>();
        item.y = in.Read<short>();
        item.cx = in.Read<short>();
        item.cy = in.Read<short>();
        item.id = static_cast<int>(in.Read<DWORD>());
        WORD classAtom = 0;
        item.className = in.TextOrOrdinal(classAtom);
        if (classAtom)
            item.className = PredefinedClass(classAtom);
        item.text = in.TextOrOrdinal(item.textOrdinal);
        const WORD extra = in.Read<WORD>();
        for (WORD b = 0; b < extra; ++b)
            in.Read<BYTE>();
        EXPECT_EQ(exStyle, 0u) << "control " << i;
        dialog.items.push_back(item);
    }
    if (in.Overrun()) {
        ADD_FAILURE() << "the template ends early";
        return std::nullopt;
    }
    return dialog;
}

struct TemplateCase {
    const char* name;
    WORD resourceId;
    DialogTemplate expected;
};

// The layouts of the two dialogs, in dialog units, controls in tab order.
const DialogTemplate kMainTemplate = [] {
    DialogTemplate d;
    d.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
    d.exStyle = WS_EX_APPWINDOW | WS_EX_ACCEPTFILES;
    d.cx = 254;
    d.cy = 164;
    d.caption = L"Korvane";
    d.items = {
        {IDOK, L"Button", L"确定", 0, 31, 134, 50, 14, kChildVisible | BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, L"Button", L"取消", 0, 151, 133, 50, 14, kChildVisible | BS_PUSHBUTTON | WS_TABSTOP},
        {-1, L"Static", L"结果：", 0, 17, 43, 26, 9, kChildVisible | SS_LEFT | WS_GROUP},
        {IDC_PATH_EDIT, L"Edit", L"", 0, 27, 16, 125, 16, kChildVisible | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {IDC_BROWSE_BUTTON, L"Button", L"...", 0, 158, 16, 28, 14, kChildVisible | BS_PUSHBUTTON | WS_TABSTOP},
        {IDC_PROGRESS, L"msctls_progress32", L"", 0, 20, 122, 219, 6, kChildVisible | WS_BORDER},
        {-1, L"Static", L"(支持拖动文件)", 0, 190, 19, 48, 10, kChildVisible | SS_LEFT | WS_GROUP},
        {IDC_RESULT_EDIT, L"Edit", L"", 0, 27, 53, 203, 64,
         kChildVisible | ES_MULTILINE | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    };
    return d;
}();

const DialogTemplate kAboutTemplate = [] {
    DialogTemplate d;
    d.style = 0x80C800C8;  // popup, caption, system menu, modal frame, font, shell font
    d.cx = 170;
    d.cy = 62;
    d.caption = L"关于 Korvane";
    d.items = {
        {-1, L"Static", L"", IDR_MAINFRAME, 14, 14, 21, 20, 0x50000003},
        {-1, L"Static", L"Korvane，1.0 版", 0, 42, 14, 114, 8, 0x50020080},
        {-1, L"Static", std::nullopt, 0, 42, 26, 114, 8, 0x50020000},
        {IDOK, L"Button", L"确定", 0, 113, 41, 50, 14, 0x50030001},
    };
    return d;
}();

class DialogTemplateTest : public testing::TestWithParam<TemplateCase> {};

TEST_P(DialogTemplateTest, IsTheExtendedTemplateOfTheDialogInChinese)
{
    const TemplateCase& c = GetParam();
    const auto name = MAKEINTRESOURCEW(c.resourceId);
    EXPECT_EQ(LanguagesOf(MAKEINTRESOURCEW(5) /* RT_DIALOG */, name), std::vector<WORD>{kChinesePrc});
    const auto parsed = ParseDialogTemplate(LoadProgramResource(MAKEINTRESOURCEW(5), name, kChinesePrc));
    ASSERT_TRUE(parsed);
    const DialogTemplate& actual = *parsed;
    const DialogTemplate& expected = c.expected;

    EXPECT_EQ(actual.style, expected.style) << std::hex << (actual.style ^ expected.style);
    EXPECT_EQ(actual.exStyle, expected.exStyle);
    EXPECT_EQ(actual.helpId, 0u);
    EXPECT_EQ((std::vector<short>{actual.x, actual.y, actual.cx, actual.cy}),
              (std::vector<short>{0, 0, expected.cx, expected.cy}));
    EXPECT_EQ(actual.menu, L"");
    EXPECT_EQ(actual.className, L"");
    EXPECT_EQ(actual.caption, expected.caption);
    EXPECT_EQ(actual.font, L"MS Shell Dlg");
    EXPECT_EQ(actual.pointSize, 9);
    EXPECT_EQ(actual.weight, 0);
    EXPECT_EQ(actual.italic, 0);
    EXPECT_EQ(actual.charset, DEFAULT_CHARSET);

    ASSERT_EQ(actual.items.size(), expected.items.size());
    for (size_t i = 0; i < expected.items.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i + 1));
        const ItemTemplate& a = actual.items[i];
        const ItemTemplate& e = expected.items[i];
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(_wcsicmp(a.className.c_str(), e.className.c_str()), 0) << std::string(a.className.begin(), a.className.end());
        if (e.text)
            EXPECT_TRUE(a.text == e.text);
        else
            EXPECT_FALSE(a.text->empty()) << "the line has a text";
        EXPECT_EQ(a.textOrdinal, e.textOrdinal);
        EXPECT_EQ((std::vector<short>{a.x, a.y, a.cx, a.cy}), (std::vector<short>{e.x, e.y, e.cx, e.cy}));
        EXPECT_EQ(a.style, e.style) << std::hex << "differing bits " << (a.style ^ e.style);
    }
}

INSTANTIATE_TEST_SUITE_P(Resources, DialogTemplateTest,
                         testing::Values(TemplateCase{"MainDialog", IDD_MAIN_DIALOG, kMainTemplate},
                                         TemplateCase{"AboutBox", IDD_ABOUTBOX, kAboutTemplate}),
                         [](const testing::TestParamInfo<TemplateCase>& c) { return c.param.name; });

TEST(Resources, TheAboutItemTextIsAChineseString)
{
    // Strings are stored in bundles of 16: string 101 lives in bundle 7.
    EXPECT_EQ(LanguagesOf(MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(IDS_ABOUTBOX / 16 + 1)),
              std::vector<WORD>{kChinesePrc});
    wchar_t text[64] = {};
    LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 64);
    EXPECT_STREQ(text, L"关于 Korvane(&A)...");
}

TEST(Resources, TheManifestAsksForNoElevationAndNoNewControls)
{
    EXPECT_EQ(LanguagesOf(MAKEINTRESOURCEW(24) /* RT_MANIFEST */, MAKEINTRESOURCEW(1)),
              std::vector<WORD>{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)});
    const Resource manifest = LoadProgramResource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1),
                                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(manifest.data, nullptr);
    const std::string text(reinterpret_cast<const char*>(manifest.data), manifest.size);
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos) << text;
    EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos) << text;
    EXPECT_EQ(text.find("Common-Controls"), std::string::npos) << "the classic look";
}

// The windows that the dialog manager built from the main template.
using MainDialogLayout = MainDialogTest;

TEST_F(MainDialogLayout, ControlsStandWhereTheTemplatePutsThem)
{
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(Dialog(), GWL_STYLE));
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) << std::hex << style;
    EXPECT_TRUE(GetWindowLongPtrW(Dialog(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(WideText(Dialog()), L"Korvane");
    EXPECT_EQ(ClassName(Dialog()), L"#32770");

    RECT client;
    GetClientRect(Dialog(), &client);
    RECT templateSize = {0, 0, kMainTemplate.cx, kMainTemplate.cy};
    MapDialogRect(Dialog(), &templateSize);
    EXPECT_NEAR(client.right, templateSize.right, 1);
    EXPECT_NEAR(client.bottom, templateSize.bottom, 1);

    // Children in creation order, which the dialog manager keeps as z-order.
    std::vector<HWND> children;
    for (HWND child = GetWindow(Dialog(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    ASSERT_EQ(children.size(), kMainTemplate.items.size());
    for (size_t i = 0; i < children.size(); ++i) {
        const ItemTemplate& e = kMainTemplate.items[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        const HWND child = children[i];
        EXPECT_EQ(static_cast<short>(GetDlgCtrlID(child)), e.id);
        EXPECT_EQ(_wcsicmp(ClassName(child).c_str(), e.className.c_str()), 0);
        EXPECT_EQ(WideText(child), *e.text);
        EXPECT_TRUE(IsWindowVisible(child));

        RECT expected = {e.x, e.y, e.x + e.cx, e.y + e.cy};
        MapDialogRect(Dialog(), &expected);
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, Dialog(), reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_NEAR(actual.left, expected.left, 1);
        EXPECT_NEAR(actual.top, expected.top, 1);
        EXPECT_NEAR(actual.right, expected.right, 1);
        EXPECT_NEAR(actual.bottom, expected.bottom, 1);
    }
    // One dialog unit apart: Cancel stands a little higher than OK.
    RECT ok, cancel;
    GetWindowRect(Item(IDOK), &ok);
    GetWindowRect(Item(IDCANCEL), &cancel);
    EXPECT_LT(cancel.top, ok.top);
}

}  // namespace
