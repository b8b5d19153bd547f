#include "ui/win32/input_box.h"

#include <commdlg.h>

#include <vector>

namespace tarnwick::win32 {

namespace {

constexpr int kEditId = 100;
constexpr int kPromptId = 101;

// Builds a dialog template in memory, so the box needs no resource script.
class TemplateWriter {
public:
    void Word(WORD w) { bytes_.push_back(w); }
    void DWord(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const std::string& s) {
        const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
        std::wstring w(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w.data(), n);
        for (wchar_t c : w) Word(static_cast<WORD>(c)); // includes the terminating zero
    }
    void AlignDWord() {
        if (bytes_.size() % 2) Word(0);
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom, const std::string& text) {
        AlignDWord();
        DWord(style | WS_CHILD | WS_VISIBLE);
        DWord(0);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(id);
        Word(0xFFFF);
        Word(atom);
        Text(text);
        Word(0); // no creation data
        ++count_;
    }
    std::vector<WORD>& Bytes() { return bytes_; }
    int Count() const { return count_; }

private:
    std::vector<WORD> bytes_;
    int count_ = 0;
};

struct InputState {
    std::string initial;
    std::string result;
};

INT_PTR CALLBACK InputProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrA(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        state = reinterpret_cast<InputState*>(lParam);
        SetDlgItemTextA(dlg, kEditId, state->initial.c_str());
        SendDlgItemMessageA(dlg, kEditId, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dlg, kEditId));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            HWND edit = GetDlgItem(dlg, kEditId);
            std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
            text.resize(static_cast<size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
            state->result = text;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

std::optional<std::string> InputBox(HWND owner, const std::string& caption, const std::string& prompt,
                                    const std::string& initial) {
    TemplateWriter t;
    const DWORD style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.DWord(style);
    t.DWord(0);
    t.Word(0); // item count, filled in below
    t.Word(0);
    t.Word(0);
    t.Word(180);
    t.Word(63);
    t.Word(0); // no menu
    t.Word(0); // standard class
    t.Text(caption);
    t.Word(8);
    t.Text("MS Shell Dlg");
    t.Item(SS_LEFT | SS_NOPREFIX, 7, 7, 166, 10, kPromptId, 0x0082, prompt);
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 166, 12, kEditId, 0x0081, "");
    t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 69, 40, 50, 14, IDOK, 0x0080, "OK");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 123, 40, 50, 14, IDCANCEL, 0x0080, "Cancel");
    t.Bytes()[4] = static_cast<WORD>(t.Count());
    InputState state{initial, {}};
    const INT_PTR r =
        DialogBoxIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(t.Bytes().data()), owner,
                                InputProc, reinterpret_cast<LPARAM>(&state));
    if (r != IDOK) return std::nullopt;
    return state.result;
}

std::optional<std::string> ChooseFile(HWND owner, const std::string& filter, const std::string& initialDir) {
    std::string pairs = filter;
    for (char& c : pairs)
        if (c == '|') c = '\0';
    pairs.append(2, '\0');
    std::string file(4096, '\0');
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = pairs.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = initialDir.c_str();
    // One existing file, no read-only box, resizable; the program's own current folder stays as it was.
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING |
                OFN_NOCHANGEDIR;
    // Loaded on first use: the dialog library brings the printing libraries with it, which every start
    // of a tray program would otherwise pay for.
    static HMODULE dialogs = LoadLibraryA("comdlg32.dll");
    using GetOpenFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEA);
    const auto getOpenFileName = dialogs ? reinterpret_cast<GetOpenFileNameFn>(reinterpret_cast<void*>(
                                               GetProcAddress(dialogs, "GetOpenFileNameA")))
                                         : nullptr;
    if (!getOpenFileName || !getOpenFileName(&ofn)) return std::nullopt;
    file.resize(std::char_traits<char>::length(file.c_str()));
    return file;
}

} // namespace tarnwick::win32
