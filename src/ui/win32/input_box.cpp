#include "ui/win32/input_box.h"

#include "common/win32/module.h"
#include "ui/win32/resource_ids.h"

#include <commdlg.h>

namespace tarnwick::win32 {

namespace {

struct InputState {
    const std::string& caption;
    const std::string& prompt;
    std::string text; // the initial text, then the answer
};

INT_PTR CALLBACK InputProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrA(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        state = reinterpret_cast<InputState*>(lParam);
        SetWindowTextA(dlg, state->caption.c_str());
        SetDlgItemTextA(dlg, IDC_INPUT_PROMPT, state->prompt.c_str());
        SetDlgItemTextA(dlg, IDC_INPUT_TEXT, state->text.c_str());
        SendDlgItemMessageA(dlg, IDC_INPUT_TEXT, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dlg, IDC_INPUT_TEXT));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            HWND edit = GetDlgItem(dlg, IDC_INPUT_TEXT);
            std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
            text.resize(
                static_cast<size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
            state->text = text;
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
    InputState state{caption, prompt, initial};
    const INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INPUT_BOX), owner,
                                      InputProc, reinterpret_cast<LPARAM>(&state));
    if (r != IDOK) return std::nullopt;
    return state.text;
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
    const auto getOpenFileName = ProcAddress<GetOpenFileNameFn>(dialogs, "GetOpenFileNameA");
    if (!getOpenFileName || !getOpenFileName(&ofn)) return std::nullopt;
    file.resize(std::char_traits<char>::length(file.c_str()));
    return file;
}

} // namespace tarnwick::win32
