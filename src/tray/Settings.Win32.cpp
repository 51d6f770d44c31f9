// The settings window: a tab control with the pages "Allgemein", "Makros", "Umlaute",
// "Töne" and "Ausnahmen", export and import. Every change is written at once through the option
// store and the registry layout the library reads; a page reads afresh whenever it is shown.
#include "Settings.Win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>
#include <thread>
#include <vector>

#include "MacroEditor.Win32.h"
#include "RegFile.h"
#include "Settings.Remap.h"
#include "Settings.Resource.h"
#include "Settings.h"
#include "common/DebugWindowInterface.h"
#include "common/KeyCombination.h"
#include "common/Vantor.Utils.h"

namespace vt {

namespace {

enum EPage {
    PAGE_GENERAL,
    PAGE_MACROS,
    PAGE_UMLAUT,
    PAGE_TONES,
    PAGE_EXCLUSIONS,
    PAGE_EXTRA,
    PAGE_COUNT
};
const wchar_t* const kPageNames[PAGE_COUNT] = {L"Allgemein", L"Makros", L"Umlaute", L"Töne",
                                               L"Ausnahmen", L"Erweitert"};
constexpr UINT WM_REMAP_DONE = WM_APP + 40;

struct RSettingsWindow {
    HWND dlg = nullptr;
    HWND tabs = nullptr;
    HWND pages[PAGE_COUNT] = {};
    int current = 0;
    bool loading = false;
    SoundPlayer playSound;
    std::vector<RMacroEntry> macros;
    std::vector<RMacroEntry> exclusions;
};

RSettingsWindow* gWindow = nullptr;

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

HWND Add(HWND page, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w,
         int h, int id, DWORD exStyle = 0) {
    RECT r{x, y, x + w, y + h};
    MapDialogRect(page, &r);
    HWND c =
        CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                        r.right - r.left, r.bottom - r.top, page,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    SendMessageW(c, WM_SETFONT, SendMessageW(page, WM_GETFONT, 0, 0), FALSE);
    return c;
}

void Status(HWND page, const std::u16string& text) {
    SetDlgItemTextW(page, IDC_PAGE_STATUS, W(text).c_str());
}

// ---------------------------------------------------------------- "Allgemein"
void BuildGeneral(HWND page) {
    int y = 6;
    for (std::size_t i = 0; i < kSwitchItems.size(); ++i) {
        // three-state boxes: a value the store cannot read shows as neither on nor off
        Add(page, L"BUTTON", W(kSwitchItems[i].label), BS_3STATE | WS_TABSTOP, 7, y, 320, 11,
            IDC_SWITCH_FIRST + static_cast<int>(i));
        y += 14;
        if (kSwitchItems[i].option == OPT_UMLAUT) {
            Add(page, L"BUTTON", L"als &ASCII (ä wird ae)",
                BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP, 20, y, 110, 11, IDC_MODE_ASCII);
            Add(page, L"BUTTON", L"als &HTML (ä wird &&auml;)", BS_AUTORADIOBUTTON, 140, y, 130, 11,
                IDC_MODE_HTML);
            y += 14;
        }
        if (kSwitchItems[i].option == OPT_NP_DOT) {
            Add(page, L"STATIC", L"Te&xt:", SS_LEFT | WS_GROUP, 20, y + 2, 30, 10, -1);
            Add(page, L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 52, y, 60, 13,
                IDC_DECIMAL_DOT);
            Add(page, L"STATIC", L"(leer: ein Punkt)", SS_LEFT, 118, y + 2, 120, 10, -1);
            y += 17;
        }
    }
    Add(page, L"STATIC", L"", SS_LEFT, 7, 186, 322, 18, IDC_PAGE_STATUS);
}

// withText false leaves the text field alone: a refresh while someone types there.
void LoadGeneral(HWND page, bool withText = true) {
    std::u16string unreadable;
    for (std::size_t i = 0; i < kSwitchItems.size(); ++i) {
        const auto on = ReadSwitch(kSwitchItems[i].option);
        if (!on)
            unreadable +=
                (unreadable.empty() ? u"" : u", ") + OptionValueNames[kSwitchItems[i].option];
        CheckDlgButton(page, IDC_SWITCH_FIRST + static_cast<int>(i),
                       !on   ? BST_INDETERMINATE
                       : *on ? BST_CHECKED
                             : BST_UNCHECKED);
    }
    const auto mode = ReadUmlautMode();
    CheckDlgButton(page, IDC_MODE_ASCII, mode == UMLAUT_ASCII ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_MODE_HTML, mode == UMLAUT_HTML ? BST_CHECKED : BST_UNCHECKED);
    if (!mode) unreadable += (unreadable.empty() ? u"" : u", ") + std::u16string(u"UmlautMode");
    const auto dot = ReadDecimalDot();
    if (withText) SetDlgItemTextW(page, IDC_DECIMAL_DOT, W(dot.value_or(u"")).c_str());
    if (!dot) unreadable += (unreadable.empty() ? u"" : u", ") + OptionValueNames[OPT_DECIMAL_DOT];
    Status(page,
           unreadable.empty() ? u"" : u"Nicht lesbar (bleibt, bis Sie es ändern): " + unreadable);
}

void CommandGeneral(HWND page, int id, int code) {
    if (id >= IDC_SWITCH_FIRST && id < IDC_SWITCH_FIRST + static_cast<int>(kSwitchItems.size()) &&
        code == BN_CLICKED) {
        const AOption option = kSwitchItems[static_cast<std::size_t>(id - IDC_SWITCH_FIRST)].option;
        const bool on = IsDlgButtonChecked(page, id) != BST_CHECKED;
        if (!WriteSwitch(option, on))
            Status(page, u"„" + OptionValueNames[option] + u"“ ließ sich nicht schreiben.");
        LoadGeneral(page, false);
    } else if ((id == IDC_MODE_ASCII || id == IDC_MODE_HTML) && code == BN_CLICKED) {
        WriteUmlautMode(id == IDC_MODE_HTML ? UMLAUT_HTML : UMLAUT_ASCII);
        LoadGeneral(page, false);
    } else if (id == IDC_DECIMAL_DOT && code == EN_CHANGE) {
        // Only what a person typed is written: filling the field (SetWindowText clears the
        // modified flag) must not turn an unreadable or missing value into an empty text.
        if (!SendDlgItemMessageW(page, IDC_DECIMAL_DOT, EM_GETMODIFY, 0, 0)) return;
        if (!WriteDecimalDot(GetText(GetDlgItem(page, IDC_DECIMAL_DOT))))
            Status(page, u"„DecimalDot“ ließ sich nicht schreiben.");
    }
}

// ---------------------------------------------------------------- "Makros"
void BuildMacros(HWND page) {
    Add(page, L"STATIC", L"&Makros (Tastenkombination, Art, was geschrieben oder getan wird):",
        SS_LEFT, 7, 6, 322, 10, -1);
    HWND list = Add(page, WC_LISTVIEWW, L"",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER, 7, 18,
                    322, 162, IDC_MACRO_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    const struct {
        const wchar_t* title;
        int width;
    } columns[] = {{L"Tastenkombination", 90}, {L"Art", 40}, {L"Inhalt", 186}};
    for (int i = 0; i < 3; ++i) {
        RECT r{0, 0, columns[i].width, 0};
        MapDialogRect(page, &r);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.pszText = const_cast<wchar_t*>(columns[i].title);
        c.cx = r.right;
        ListView_InsertColumn(list, i, &c);
    }
    Add(page, L"BUTTON", L"&Neu…", BS_PUSHBUTTON | WS_TABSTOP, 7, 186, 60, 15, IDC_MACRO_NEW);
    Add(page, L"BUTTON", L"&Bearbeiten…", BS_PUSHBUTTON | WS_TABSTOP, 72, 186, 60, 15,
        IDC_MACRO_EDIT);
    Add(page, L"BUTTON", L"&Löschen", BS_PUSHBUTTON | WS_TABSTOP, 137, 186, 60, 15,
        IDC_MACRO_DELETE);
}

void LoadMacros(HWND page, const std::u16string& select = u"") {
    HWND list = GetDlgItem(page, IDC_MACRO_LIST);
    gWindow->macros = ReadMacroTable(kMacroTableAltGr);
    int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (!select.empty()) selected = -1;
    ListView_DeleteAllItems(list);
    for (std::size_t i = 0; i < gWindow->macros.size(); ++i) {
        const RMacroEntry& e = gWindow->macros[i];
        std::wstring cells[3] = {W(EntryCombination(e)), W(EntryKind(e)), W(EntryContent(e))};
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = cells[0].data();
        item.lParam = static_cast<LPARAM>(i);
        const int row = ListView_InsertItem(list, &item);
        ListView_SetItemText(list, row, 1, cells[1].data());
        ListView_SetItemText(list, row, 2, cells[2].data());
        if (!select.empty() && e.name == select) selected = row;
    }
    const int count = ListView_GetItemCount(list);
    if (count > 0) {
        if (selected < 0 || selected >= count) selected = 0;
        ListView_SetItemState(list, selected, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, selected, FALSE);
    }
}

const RMacroEntry* SelectedMacro(HWND page) {
    HWND list = GetDlgItem(page, IDC_MACRO_LIST);
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0) return nullptr;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(list, &item)) return nullptr;
    const auto index = static_cast<std::size_t>(item.lParam);
    return index < gWindow->macros.size() ? &gWindow->macros[index] : nullptr;
}

void EditMacro(HWND page, bool isNew) {
    std::u16string written;
    if (isNew) {
        written = NewMacroDialog(gWindow->dlg);
    } else {
        const RMacroEntry* e = SelectedMacro(page);
        if (!e) return;
        if (!e->key || !(e->type == REG_SZ || e->type == REG_EXPAND_SZ)) {
            MessageBoxW(gWindow->dlg,
                        W(u"„" + e->name + u"“ ist " +
                          (e->key ? u"kein Text" : u"keine Tastenkombination") +
                          u"; Vantor liest diesen Wert nicht und lässt ihn, wie er ist. Sie "
                          u"können ihn löschen.")
                            .c_str(),
                        L"Makro", MB_OK | MB_ICONINFORMATION);
            return;
        }
        written = EditMacroDialog(gWindow->dlg, *e);
    }
    LoadMacros(page, written);
    SetFocus(GetDlgItem(page, IDC_MACRO_LIST));
}

void DeleteMacro(HWND page) {
    const RMacroEntry* e = SelectedMacro(page);
    if (!e) return;
    const std::u16string question =
        u"Das Makro für " + EntryCombination(*e) + u" löschen?\n\n" + EntryContent(*e);
    if (MessageBoxW(gWindow->dlg, W(question).c_str(), L"Makro löschen",
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    if (!DeleteMacroValue(kMacroTableAltGr, e->name))
        MessageBoxW(gWindow->dlg, L"Das Makro ließ sich nicht löschen.", L"Makro löschen",
                    MB_OK | MB_ICONERROR);
    LoadMacros(page);
    SetFocus(GetDlgItem(page, IDC_MACRO_LIST));
}

void CommandMacros(HWND page, int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == IDC_MACRO_NEW) EditMacro(page, true);
    if (id == IDC_MACRO_EDIT) EditMacro(page, false);
    if (id == IDC_MACRO_DELETE) DeleteMacro(page);
}

// ---------------------------------------------------------------- "Umlaute"
const std::u16string& UmlautTable(int column) {
    return column == 0 ? kMacroTableAscii : kMacroTableHtml;
}

void BuildUmlaut(HWND page) {
    Add(page, L"STATIC", L"Taste", SS_LEFT, 7, 6, 45, 10, -1);
    Add(page, L"STATIC", L"ASCII", SS_LEFT, 60, 6, 120, 10, -1);
    Add(page, L"STATIC", L"HTML", SS_LEFT, 190, 6, 120, 10, -1);
    for (std::size_t row = 0; row < kUmlautKeys.size(); ++row) {
        const int y = 19 + static_cast<int>(row) * 17;
        const std::wstring label =
            L"&" + std::to_wstring(row + 1) + L"  " + W(kUmlautKeys[row].label);
        Add(page, L"STATIC", label, SS_LEFT | WS_GROUP, 7, y + 2, 45, 10, -1);
        for (int column = 0; column < 2; ++column)
            Add(page, L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 60 + column * 130, y,
                120, 13, IDC_UMLAUT_FIRST + static_cast<int>(row) * 2 + column);
    }
    Add(page, L"STATIC",
        L"Diese Texte schreibt die Umlautwandlung an Stelle des Buchstabens, in der Form, die "
        L"„Allgemein“ wählt. Ein leeres Feld lässt den Buchstaben, wie er ist. Texte in der "
        L"gespeicherten Form: $$ für $, $FF$00$0D für die Eingabetaste.",
        SS_LEFT, 7, 142, 322, 36, -1);
    Add(page, L"STATIC", L"", SS_LEFT, 7, 186, 322, 18, IDC_PAGE_STATUS);
}

void LoadUmlaut(HWND page) {
    std::u16string unreadable;
    for (std::size_t row = 0; row < kUmlautKeys.size(); ++row)
        for (int column = 0; column < 2; ++column) {
            const auto text = ReadUmlaut(UmlautTable(column), kUmlautKeys[row].key);
            const int id = IDC_UMLAUT_FIRST + static_cast<int>(row) * 2 + column;
            SetDlgItemTextW(page, id, W(text.value_or(u"")).c_str());
            // A value that is not a text stays untouched until someone types here.
            if (!text)
                unreadable += std::u16string(unreadable.empty() ? u"" : u", ") +
                              kUmlautKeys[row].label + (column ? u" HTML" : u" ASCII");
        }
    Status(page,
           unreadable.empty() ? u"" : u"Kein Text (bleibt, bis Sie ihn ändern): " + unreadable);
}

void CommandUmlaut(HWND page, int id, int code) {
    if (code != EN_CHANGE || id < IDC_UMLAUT_FIRST ||
        id >= IDC_UMLAUT_FIRST + static_cast<int>(kUmlautKeys.size()) * 2)
        return;
    const int row = (id - IDC_UMLAUT_FIRST) / 2, column = (id - IDC_UMLAUT_FIRST) % 2;
    const std::u16string text = GetText(GetDlgItem(page, id));
    const std::u16string problem = text.empty() ? u"" : CheckMacroText(text);
    if (!problem.empty()) {
        Status(page,
               std::u16string(kUmlautKeys[static_cast<std::size_t>(row)].label) + u": " + problem);
        return;
    }
    if (!WriteUmlaut(UmlautTable(column), kUmlautKeys[static_cast<std::size_t>(row)].key, text))
        Status(page, u"Der Eintrag ließ sich nicht schreiben.");
    else
        Status(page, u"");
}

// ---------------------------------------------------------------- "Töne"
void BuildTones(HWND page) {
    Add(page, L"STATIC", L"Ereignis", SS_LEFT, 7, 6, 66, 10, -1);
    for (int f = 0; f < 4; ++f)
        Add(page, L"STATIC", W(kToneFields[static_cast<std::size_t>(f)].label), SS_LEFT,
            74 + f * 56, 6, 55, 10, -1);
    for (int event = 1; event <= 8; ++event) {
        const int y = 18 + (event - 1) * 16;
        const int base = IDC_TONE_FIRST + (event - 1) * 5;
        Add(page, L"STATIC", L"&" + std::to_wstring(event) + L"  " + W(SoundEventNames[event]),
            SS_LEFT | WS_GROUP, 7, y + 2, 66, 10, -1);
        for (int f = 0; f < 4; ++f)
            Add(page, L"EDIT", L"", ES_AUTOHSCROLL | ES_NUMBER | WS_TABSTOP | WS_BORDER,
                74 + f * 56, y, 50, 13, base + f);
        Add(page, L"BUTTON", L"Anhören", BS_PUSHBUTTON | WS_TABSTOP, 296, y - 1, 38, 14, base + 4);
    }
    Add(page, L"STATIC",
        L"Die Töne erklingen über den PC-Lautsprecher, wenn „Speaker benutzen“ eingeschaltet "
        L"ist. Sonst spielt Windows eine WAV-Datei: Systemsteuerung › Sound › Sounds › "
        L"Programmereignisse › Vantor32.",
        SS_LEFT, 7, 150, 322, 30, -1);
    Add(page, L"STATIC", L"", SS_LEFT, 7, 186, 322, 18, IDC_PAGE_STATUS);
}

void LoadTones(HWND page) {
    std::u16string unreadable;
    for (int event = 1; event <= 8; ++event) {
        const auto tone = ReadTone(static_cast<std::uint8_t>(event));
        const int base = IDC_TONE_FIRST + (event - 1) * 5;
        const std::int32_t values[4] = {tone ? tone->freq : 0, tone ? tone->duration : 0,
                                        tone ? tone->count : 0, tone ? tone->pause : 0};
        for (int f = 0; f < 4; ++f)
            SetDlgItemTextW(page, base + f, tone ? std::to_wstring(values[f]).c_str() : L"");
        if (!tone) unreadable += (unreadable.empty() ? u"" : u", ") + SoundEventNames[event];
    }
    Status(page,
           unreadable.empty() ? u"" : u"Kein Text (bleibt, bis Sie ihn ändern): " + unreadable);
}

// Checks the row of event: all four fields numbers within their bounds. The reason
// otherwise goes to the status line.
bool CheckTone(HWND page, int event, RTone* tone) {
    const int base = IDC_TONE_FIRST + (event - 1) * 5;
    std::int32_t values[4] = {};
    for (int f = 0; f < 4; ++f) {
        const std::u16string problem =
            CheckToneField(f, GetText(GetDlgItem(page, base + f)), &values[f]);
        if (!problem.empty()) {
            Status(page, SoundEventNames[event] + u": " + problem);
            return false;
        }
    }
    Status(page, u"");
    *tone = RTone{values[0], values[1], values[2], values[3]};
    return true;
}

// Writes the row when the person leaves a field (not at every digit, so a value typed on
// the way to another is not stored) and before "Anhören".
bool CommitTone(HWND page, int event) {
    RTone tone;
    if (!CheckTone(page, event, &tone)) return false;
    const auto stored = ReadTone(static_cast<std::uint8_t>(event));
    if (stored && FormatTone(*stored) == FormatTone(tone)) return true;  // unchanged
    if (!WriteTone(static_cast<std::uint8_t>(event), tone)) {
        Status(page, u"„" + SoundEventNames[event] + u"“ ließ sich nicht schreiben.");
        return false;
    }
    return true;
}

void CommandTones(HWND page, int id, int code) {
    if (id < IDC_TONE_FIRST || id >= IDC_TONE_FIRST + 40) return;
    const int event = (id - IDC_TONE_FIRST) / 5 + 1, field = (id - IDC_TONE_FIRST) % 5;
    RTone tone;
    if (field < 4 && code == EN_CHANGE) CheckTone(page, event, &tone);
    if (field < 4 && code == EN_KILLFOCUS) CommitTone(page, event);
    if (field == 4 && code == BN_CLICKED && CommitTone(page, event) && gWindow->playSound)
        gWindow->playSound(static_cast<std::uint8_t>(event));
}

// ---------------------------------------------------------------- "Ausnahmen"
std::wstring FileDialog(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const wchar_t* defExt, const wchar_t* initial);

void BuildExclusions(HWND page) {
    Add(page, L"STATIC", L"Pro&gramme, in denen Vantor nichts umwandelt:", SS_LEFT, 7, 6, 322, 10,
        -1);
    Add(page, L"LISTBOX", L"",
        LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_WANTKEYBOARDINPUT | WS_VSCROLL | WS_TABSTOP |
            WS_BORDER,
        7, 18, 322, 124, IDC_EXCL_LIST);
    Add(page, L"STATIC",
        L"Dort kommen die Tasten unverändert an: keine Makros, keine Umlautwandlung, kein "
        L"AltGr+F1. Für Fernwartung und virtuelle Maschinen, Spiele, Terminals mit eigenen "
        L"Tastenkürzeln, Kennwortverwaltung. Die Liste gilt beim nächsten Tastendruck.",
        SS_LEFT, 7, 146, 322, 36, -1);
    Add(page, L"BUTTON", L"&Hinzufügen…", BS_PUSHBUTTON | WS_TABSTOP, 7, 186, 66, 15,
        IDC_EXCL_FILE);
    Add(page, L"BUTTON", L"Aus &laufenden Programmen…", BS_PUSHBUTTON | WS_TABSTOP, 78, 186, 110,
        15, IDC_EXCL_RUNNING);
    Add(page, L"BUTTON", L"Ent&fernen", BS_PUSHBUTTON | WS_TABSTOP, 193, 186, 60, 15,
        IDC_EXCL_REMOVE);
}

void LoadExclusions(HWND page, const std::u16string& select = u"") {
    HWND list = GetDlgItem(page, IDC_EXCL_LIST);
    int selected = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
    gWindow->exclusions = ReadExclusionList();
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < gWindow->exclusions.size(); ++i) {
        const std::wstring line = W(ExclusionText(gWindow->exclusions[i]));
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        if (!select.empty() && gWindow->exclusions[i].name == select)
            selected = static_cast<int>(i);
    }
    const int count = static_cast<int>(gWindow->exclusions.size());
    if (count > 0)
        SendMessageW(list, LB_SETCURSEL, selected < 0 ? 0 : std::min(selected, count - 1), 0);
}

std::vector<std::u16string> RunningPrograms() {
    std::vector<std::u16string> names;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return names;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
        names.push_back(U(entry.szExeFile));
    CloseHandle(snap);
    return names;
}

INT_PTR CALLBACK PickProgramProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        HWND list = GetDlgItem(dlg, IDC_PROGRAMS);
        switch (msg) {
            case WM_INITDIALOG:
                SetWindowLongPtrW(dlg, DWLP_USER, lParam);
                for (const auto& name : ProgramChoices(RunningPrograms()))
                    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(name).c_str()));
                SendMessageW(list, LB_SETCURSEL, 0, 0);
                SetFocus(list);
                return FALSE;
            case WM_COMMAND: {
                const int id = LOWORD(wParam);
                if (id == IDOK || (id == IDC_PROGRAMS && HIWORD(wParam) == LBN_DBLCLK)) {
                    const auto row = SendMessageW(list, LB_GETCURSEL, 0, 0);
                    if (row == LB_ERR) return TRUE;
                    std::wstring text(
                        static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, row, 0)) + 1,
                        L'\0');
                    text.resize(static_cast<std::size_t>(SendMessageW(
                        list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()))));
                    *reinterpret_cast<std::u16string*>(GetWindowLongPtrW(dlg, DWLP_USER)) = U(text);
                    EndDialog(dlg, IDOK);
                    return TRUE;
                }
                if (id == IDCANCEL) {
                    EndDialog(dlg, IDCANCEL);
                    return TRUE;
                }
                return FALSE;
            }
            default:
                return FALSE;
        }
    } catch (...) {
        return FALSE;
    }
}

void AddExclusionFrom(HWND page, const std::u16string& pathOrName) {
    if (pathOrName.empty()) return;
    const std::u16string problem = AddExclusion(pathOrName);
    if (!problem.empty())
        MessageBoxW(gWindow->dlg, W(problem).c_str(), L"Ausnahmen", MB_OK | MB_ICONINFORMATION);
    LoadExclusions(page, FileNamePart(pathOrName));
    SetFocus(GetDlgItem(page, IDC_EXCL_LIST));
}

void CommandExclusions(HWND page, int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == IDC_EXCL_FILE)
        AddExclusionFrom(page, U(FileDialog(gWindow->dlg, false, L"Programm auswählen",
                                            L"Programme (*.exe)\0*.exe\0Alle Dateien (*.*)\0*.*\0",
                                            L"exe", L"")));
    if (id == IDC_EXCL_RUNNING) {
        std::u16string chosen;
        if (DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_PICK_PROGRAM), gWindow->dlg,
                            PickProgramProc, reinterpret_cast<LPARAM>(&chosen)) == IDOK)
            AddExclusionFrom(page, chosen);
    }
    if (id == IDC_EXCL_REMOVE) {
        HWND list = GetDlgItem(page, IDC_EXCL_LIST);
        const auto row = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (row == LB_ERR || static_cast<std::size_t>(row) >= gWindow->exclusions.size()) return;
        if (!RemoveExclusion(gWindow->exclusions[static_cast<std::size_t>(row)].name))
            MessageBoxW(gWindow->dlg, L"Der Eintrag ließ sich nicht entfernen.", L"Ausnahmen",
                        MB_OK | MB_ICONERROR);
        LoadExclusions(page);
        SetFocus(list);
    }
}

// ---------------------------------------------------------------- "Erweitert"
void BuildExtra(HWND page) {
    Add(page, L"BUTTON", L"&Diagnose: jede Zeile des Protokolls auch an einen Debugger geben",
        BS_3STATE | WS_TABSTOP, 7, 8, 322, 11, IDC_EXTRA_DIAG);
    Add(page, L"STATIC",
        L"Tasten umbelegen, für alle Benutzer dieses Computers: Windows fragt dafür nach "
        L"Administratorrechten, wirksam wird es nach einem Neustart.",
        SS_LEFT, 7, 32, 322, 20, -1);
    Add(page, L"BUTTON", L"CAPS&LOCK (Feststelltaste) ausschalten",
        BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 20, 56, 300, 11, IDC_EXTRA_CAPS);
    Add(page, L"BUTTON", L"&ROLLEN (Scroll Lock) ausschalten", BS_AUTOCHECKBOX | WS_TABSTOP, 20,
        70, 300, 11, IDC_EXTRA_SCROLL);
    Add(page, L"BUTTON", L"Tasten &umbelegen…", BS_PUSHBUTTON | WS_TABSTOP, 20, 86, 90, 15,
        IDC_EXTRA_APPLY);
    Add(page, L"STATIC", L"", SS_LEFT, 116, 89, 213, 10, IDC_EXTRA_STATE);
    Add(page, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 20, 106, 309, 28, IDC_EXTRA_PLAN);
    Add(page, L"STATIC", L"", SS_LEFT, 7, 186, 322, 18, IDC_PAGE_STATUS);
}

// What the button will do with the boxes as they are, said before it runs.
void ShowRemapPlan(HWND page) {
    SetDlgItemTextW(page, IDC_EXTRA_PLAN,
                    W(RemapPlanText(ReadRemapStore(), IsDlgButtonChecked(page, IDC_EXTRA_CAPS) != 0,
                                    IsDlgButtonChecked(page, IDC_EXTRA_SCROLL) != 0))
                        .c_str());
}

void LoadExtra(HWND page, bool withRemap = true) {
    const auto diag = ReadDiagnose();
    CheckDlgButton(page, IDC_EXTRA_DIAG,
                   !diag   ? BST_INDETERMINATE
                   : *diag ? BST_CHECKED
                           : BST_UNCHECKED);
    Status(page, diag ? u"" : u"Nicht lesbar (bleibt, bis Sie es ändern): Diagnose");
    if (!withRemap) return;
    const RRemapState state = ReadRemapState();
    CheckDlgButton(page, IDC_EXTRA_CAPS, state.capsLock ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_EXTRA_SCROLL, state.scrollLock ? BST_CHECKED : BST_UNCHECKED);
    std::wstring now;
    if (state.capsLock) now += L"CAPSLOCK";
    if (state.scrollLock) now += std::wstring(now.empty() ? L"" : L" und ") + L"ROLLEN";
    SetDlgItemTextW(page, IDC_EXTRA_STATE,
                    now.empty() ? L"Zurzeit ist keine Taste umbelegt."
                                : (L"Zurzeit umbelegt: " + now).c_str());
    ShowRemapPlan(page);
}

// The setup tool does the remap with administrator rights. The window does not wait for
// it: the icon, the menu and the commands share this thread.
void RunRemap(HWND page) {
    const std::u16string args = RemapArguments(IsDlgButtonChecked(page, IDC_EXTRA_CAPS) != 0,
                                               IsDlgButtonChecked(page, IDC_EXTRA_SCROLL) != 0);
    const std::u16string exe = Plat().GetModuleFileNameW();
    const std::wstring tool =
        W(exe.substr(0, exe.find_last_of(u"\\/") + 1)) + L"VtInst.exe";
    const std::wstring params = W(args);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = page;
    info.lpVerb = L"runas";
    info.lpFile = tool.c_str();
    info.lpParameters = params.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info) || !info.hProcess) {
        Status(page, GetLastError() == ERROR_CANCELLED
                         ? u"Abgebrochen: ohne Administratorrechte bleibt die Umbelegung."
                         : u"Das Setup-Programm VtInst ließ sich nicht starten.");
        return;
    }
    Status(page, u"VtInst " + args + u" läuft …");
    HANDLE process = info.hProcess;
    std::thread([process, page] {
        WaitForSingleObject(process, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        PostMessageW(page, WM_REMAP_DONE, code, 0);
    }).detach();
}

void CommandExtra(HWND page, int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == IDC_EXTRA_DIAG) {
        const bool on = IsDlgButtonChecked(page, id) != BST_CHECKED;
        if (!WriteDiagnose(on)) Status(page, u"„Diagnose“ ließ sich nicht schreiben.");
        LoadExtra(page, false);
    } else if (id == IDC_EXTRA_APPLY) {
        RunRemap(page);
    } else if (id == IDC_EXTRA_CAPS || id == IDC_EXTRA_SCROLL) {
        ShowRemapPlan(page);
    }
}

// ---------------------------------------------------------------- pages
void LoadPage(int index) {
    HWND page = gWindow->pages[index];
    gWindow->loading = true;
    switch (index) {
        case PAGE_GENERAL:
            LoadGeneral(page);
            break;
        case PAGE_MACROS:
            LoadMacros(page);
            break;
        case PAGE_UMLAUT:
            LoadUmlaut(page);
            break;
        case PAGE_TONES:
            LoadTones(page);
            break;
        case PAGE_EXCLUSIONS:
            LoadExclusions(page);
            break;
        case PAGE_EXTRA:
            LoadExtra(page);
            break;
        default:
            break;
    }
    gWindow->loading = false;
}

INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        if (!gWindow) return FALSE;
        int index = -1;
        for (int i = 0; i < PAGE_COUNT; ++i)
            if (gWindow->pages[i] == page) index = i;
        switch (msg) {
            case WM_INITDIALOG:
                return FALSE;
            case WM_COMMAND: {
                if (gWindow->loading || index < 0) return FALSE;
                const int id = LOWORD(wParam), code = HIWORD(wParam);
                if (index == PAGE_GENERAL) CommandGeneral(page, id, code);
                if (index == PAGE_MACROS) CommandMacros(page, id, code);
                if (index == PAGE_UMLAUT) CommandUmlaut(page, id, code);
                if (index == PAGE_TONES) CommandTones(page, id, code);
                if (index == PAGE_EXCLUSIONS) CommandExclusions(page, id, code);
                if (index == PAGE_EXTRA) CommandExtra(page, id, code);
                return TRUE;
            }
            case WM_REMAP_DONE:
                LoadExtra(page);
                if (wParam != 0) Status(page, u"VtInst hat die Tasten nicht umbelegt.");
                return TRUE;
            case WM_VKEYTOITEM:
                // Delete in the list removes the entry, like "Entfernen".
                if (index == PAGE_EXCLUSIONS && LOWORD(wParam) == VK_DELETE) {
                    CommandExclusions(page, IDC_EXCL_REMOVE, BN_CLICKED);
                    return -2;
                }
                return -1;
            case WM_NOTIFY: {
                const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
                if (index == PAGE_MACROS && hdr->idFrom == IDC_MACRO_LIST) {
                    if (hdr->code == NM_DBLCLK) EditMacro(page, false);
                    if (hdr->code == LVN_KEYDOWN &&
                        reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == VK_DELETE)
                        DeleteMacro(page);
                }
                return FALSE;
            }
            default:
                return FALSE;
        }
    } catch (const std::exception& e) {
        DebugLog(u"Einstellungen: %s", ToU16(e.what()));
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

void ShowPage(int index) {
    gWindow->current = index;
    TabCtrl_SetCurSel(gWindow->tabs, index);
    LoadPage(index);
    for (int i = 0; i < PAGE_COUNT; ++i)
        ShowWindow(gWindow->pages[i], i == index ? SW_SHOW : SW_HIDE);
}

// ---------------------------------------------------------------- export and import
std::wstring FileDialog(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const wchar_t* defExt, const wchar_t* initial) {
    wchar_t file[MAX_PATH] = {};
    lstrcpynW(file, initial, MAX_PATH);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = defExt;
    ofn.lpstrTitle = title;
    ofn.Flags =
        OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return ok ? std::wstring(file) : std::wstring();
}

const wchar_t kRegFilter[] = L"Registrierungsdateien (*.reg)\0*.reg\0Alle Dateien (*.*)\0*.*\0";

void Export(HWND owner) {
    const std::wstring file =
        FileDialog(owner, true, L"Einstellungen exportieren", kRegFilter, L"reg", L"Vantor32.reg");
    if (file.empty()) return;
    std::u16string error;
    if (ExportConfiguration(U(file), error))
        MessageBoxW(owner, (L"Die Einstellungen stehen jetzt in „" + file + L"“.").c_str(),
                    L"Einstellungen exportieren", MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxW(owner, W(error).c_str(), L"Einstellungen exportieren", MB_OK | MB_ICONERROR);
}

void Import(HWND owner) {
    const std::wstring file =
        FileDialog(owner, false, L"Einstellungen importieren", kRegFilter, L"reg", L"");
    if (file.empty()) return;
    if (ImportWithPreview(owner, U(file)) && gWindow) LoadPage(gWindow->current);
}

// ---------------------------------------------------------------- the window
// A field being edited is written when it loses the focus; closing takes it away first.
void Close(HWND dlg) {
    SetFocus(gWindow->tabs);
    DestroyWindow(dlg);
}

INT_PTR CALLBACK MainProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (msg) {
            case WM_INITDIALOG: {
                gWindow->dlg = dlg;
                gWindow->tabs = GetDlgItem(dlg, IDC_TABS);
                for (int i = 0; i < PAGE_COUNT; ++i) {
                    TCITEMW item{};
                    item.mask = TCIF_TEXT;
                    item.pszText = const_cast<wchar_t*>(kPageNames[i]);
                    TabCtrl_InsertItem(gWindow->tabs, i, &item);
                }
                RECT area;
                GetWindowRect(gWindow->tabs, &area);
                MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&area), 2);
                TabCtrl_AdjustRect(gWindow->tabs, FALSE, &area);
                HWND after = gWindow->tabs;
                for (int i = 0; i < PAGE_COUNT; ++i) {
                    HWND page = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_PAGE), dlg,
                                                   PageProc, 0);
                    gWindow->pages[i] = page;
                    if (i == PAGE_GENERAL) BuildGeneral(page);
                    if (i == PAGE_MACROS) BuildMacros(page);
                    if (i == PAGE_UMLAUT) BuildUmlaut(page);
                    if (i == PAGE_TONES) BuildTones(page);
                    if (i == PAGE_EXCLUSIONS) BuildExclusions(page);
                    if (i == PAGE_EXTRA) BuildExtra(page);
                    // after the tab control in the tab order, before the buttons
                    SetWindowPos(page, after, area.left, area.top, area.right - area.left,
                                 area.bottom - area.top, SWP_NOACTIVATE);
                    after = page;
                }
                ShowPage(PAGE_GENERAL);
                return TRUE;
            }
            case WM_NOTIFY: {
                const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
                if (hdr->idFrom == IDC_TABS && hdr->code == TCN_SELCHANGE)
                    ShowPage(TabCtrl_GetCurSel(gWindow->tabs));
                return FALSE;
            }
            case WM_COMMAND:
                switch (LOWORD(wParam)) {
                    case IDC_EXPORT:
                        Export(dlg);
                        return TRUE;
                    case IDC_IMPORT:
                        Import(dlg);
                        return TRUE;
                    case IDOK: {
                        // Enter in the macro list opens the selected macro; elsewhere every
                        // change is already written, so Enter closes like Escape.
                        HWND list = GetDlgItem(gWindow->pages[PAGE_MACROS], IDC_MACRO_LIST);
                        if (GetFocus() == list) {
                            EditMacro(gWindow->pages[PAGE_MACROS], false);
                            return TRUE;
                        }
                        Close(dlg);
                        return TRUE;
                    }
                    case IDCANCEL:
                        Close(dlg);
                        return TRUE;
                    default: {
                        // Enter on a focused button of a page: the dialog manager tells the
                        // main window, whose child the page is; the page handles its buttons.
                        HWND control = reinterpret_cast<HWND>(lParam);
                        HWND parent = control ? GetParent(control) : nullptr;
                        if (parent && parent != dlg && GetParent(parent) == dlg) {
                            SendMessageW(parent, WM_COMMAND, wParam, lParam);
                            return TRUE;
                        }
                        return FALSE;
                    }
                }
            case WM_CLOSE:
                Close(dlg);
                return TRUE;
            case WM_DESTROY:
                if (gWindow) gWindow->dlg = nullptr;
                return FALSE;
            default:
                return FALSE;
        }
    } catch (const std::exception& e) {
        DebugLog(u"Einstellungen: %s", ToU16(e.what()));
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

bool SwitchTabKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0) return false;
    if (msg.hwnd != gWindow->dlg && !IsChild(gWindow->dlg, msg.hwnd)) return false;
    int step = 0;
    if (msg.wParam == VK_TAB) step = GetKeyState(VK_SHIFT) < 0 ? PAGE_COUNT - 1 : 1;
    if (msg.wParam == VK_NEXT) step = 1;
    if (msg.wParam == VK_PRIOR) step = PAGE_COUNT - 1;
    if (!step) return false;
    ShowPage((gWindow->current + step) % PAGE_COUNT);
    SetFocus(gWindow->tabs);
    return true;
}

// One line for the command line: stderr when it leads somewhere, else the console the
// program was started from.
void ReportLine(const std::u16string& text, bool silent) {
    DebugLog(u"Vantor32: %s", text);
    const std::string utf8 = ToUtf8(text) + "\r\n";
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (err && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN &&
        WriteFile(err, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr))
        return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE con = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (con != INVALID_HANDLE_VALUE) {
            const std::wstring line = W(text) + L"\r\n";
            WriteConsoleW(con, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(con);
        }
        FreeConsole();
        return;
    }
    if (!silent) MessageBoxW(nullptr, W(text).c_str(), L"Vantor32", MB_OK | MB_ICONERROR);
}

}  // namespace

std::wstring W(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

std::u16string U(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}

std::u16string GetText(HWND wnd) {
    const int n = GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(wnd, text.data(), n + 1)));
    return U(text);
}

bool SettingsWindowOpen() noexcept {
    return gWindow != nullptr;
}

void RefreshSettingsWindow() noexcept {
    try {
        if (!gWindow || !gWindow->dlg || gWindow->current != PAGE_GENERAL) return;
        gWindow->loading = true;
        LoadGeneral(gWindow->pages[PAGE_GENERAL], false);
        gWindow->loading = false;
    } catch (...) {
        if (gWindow) gWindow->loading = false;
    }
}

void ShowSettingsWindow(HWND owner, SoundPlayer playSound) noexcept {
    try {
        if (gWindow) {
            if (gWindow->dlg) {
                ShowWindow(gWindow->dlg, SW_RESTORE);
                SetForegroundWindow(gWindow->dlg);
            }
            return;
        }
        INITCOMMONCONTROLSEX icc{sizeof(icc),
                                 ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        RSettingsWindow window;
        window.playSound = std::move(playSound);
        gWindow = &window;
        HWND dlg =
            CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_SETTINGS), owner, MainProc, 0);
        if (!dlg) {
            DebugLog(u"Einstellungen: das Fenster ließ sich nicht anlegen (%d)",
                     static_cast<int>(GetLastError()));
            gWindow = nullptr;
            return;
        }
        ShowWindow(dlg, SW_SHOW);
        SetForegroundWindow(dlg);
        SetFocus(window.tabs);
        MSG msg;
        while (window.dlg) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                DestroyWindow(window.dlg);
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got == -1) break;
            if (SwitchTabKey(msg)) continue;
            if (IsDialogMessageW(window.dlg, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        gWindow = nullptr;
    } catch (...) {
        gWindow = nullptr;
    }
}

int RunConfigCommandLine(int argc, wchar_t** argv) noexcept {
    try {
        std::vector<std::u16string> args;
        for (int i = 0; i < argc; ++i) args.push_back(U(argv[i]));
        std::u16string message;
        const auto command = ParseConfigCommand(args, message);
        if (!command) return -1;
        if (!message.empty()) {
            ReportLine(message, command->silent);
            return 1;
        }
        if (!command->isExport && !command->silent) {
            // Without /S the person sees what the file changes before anything is written.
            return ImportWithPreview(nullptr, command->file) ? 0 : 5;
        }
        const int code = RunConfigCommand(*command, message);
        if (code != 0) ReportLine(message, command->silent);
        return code;
    } catch (const std::exception& e) {
        ReportLine(ToU16(e.what()), true);
        return 9;
    } catch (...) {
        return 9;
    }
}

}  // namespace vt
