#pragma once
// TfrmMain: the control list window and its tray icon. It shows the model and forwards the user's
// commands; it decides nothing a unit test could check.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "common/win32/handles.h"

#include <exception>
#include <string>
#include <vector>

namespace tarnwick::win32 {

// The program's side of the window: one call per thing the user (or Windows) did.
class MainWindowEvents {
public:
    virtual ~MainWindowEvents() = default;
    virtual void FormActivate() = 0;
    virtual void Command(int id) = 0;           // toolbar, buttons, tray menu
    virtual void CheckToggled(int index) = 0;   // the user flipped an entry's check mark
    virtual void SelectionChanged(int index) = 0;
    virtual void SettingsChanged() = 0;         // regional settings may have changed
    virtual bool QueryEndSession(LPARAM lParam) = 0;
    virtual void EndSession(bool ending, LPARAM lParam) = 0;
    virtual void FormDestroy() = 0;
    // An error escaped a handler; the handler is abandoned and the program goes on.
    virtual void HandlerFailed(const std::exception& e) = 0;
};

struct ListLine {
    std::string text;
    bool checked = false;
};

class MainWindow {
public:
    explicit MainWindow(MainWindowEvents& events);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Created hidden, like a form that the application shows when its loop starts.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }

    void SetCaption(const std::string& text);
    void SetToolDirCaption(const std::string& text);
    std::string ToolDirCaption() const;

    void ShowForm();     // visible, and brought up
    void HideForm();
    void EnableHideTimer();

    void AddTrayIcon();
    void RemoveTrayIcon();

    // The control list, redrawn from the model.
    void SetListLines(const std::vector<ListLine>& lines);
    void SetListLine(int index, const ListLine& line);
    void InsertListLine(int index, const ListLine& line);
    void RemoveListLine(int index);
    void SetListSelection(int index);
    int ListSelection() const;

    void SetCheck(int controlId, bool checked);
    bool Checked(int controlId) const;
    void EnableControl(int controlId, bool enabled);
    void SetUnsavedChanges(bool unsaved); // Save and Forget are enabled exactly while there are some

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void CreateFonts();
    void Layout();
    int Scale(int value) const { return MulDiv(value, dpi_, 96); }
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
    void OnTray(LPARAM mouseMessage);
    void OnNotify(const NMHDR& header, LRESULT& result);
    void FillTrayRecord();

    MainWindowEvents& events_;
    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    int dpi_ = 96;
    UINT taskbarCreated_ = 0;
    bool trayWanted_ = false;
    bool fillingList_ = false; // check marks set from code are not the user's toggles
    NOTIFYICONDATAA tray_{};
    UniqueMenu popup_;
    UniqueGdiObject font_, boldFont_, titleFont_, italicFont_;
    HIMAGELIST toolbarImages_ = nullptr;
    HIMAGELIST floppyImages_ = nullptr;
    HICON icon_ = nullptr, smallIcon_ = nullptr;
};

} // namespace tarnwick::win32
