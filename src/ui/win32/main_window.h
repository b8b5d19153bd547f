#pragma once
// TfrmMain: the control list window. It draws what the presenter tells it, asks the user when told to,
// and forwards the user's commands; it decides nothing a unit test could check.
#include <windows.h>
#include <commctrl.h>

#include "common/win32/handles.h"
#include "ui/main_view.h"
#include "ui/modal_count.h"
#include "ui/win32/about_box.h"
#include "ui/win32/control_hints.h"
#include "ui/win32/entry_list_view.h"
#include "ui/win32/main_window_layout.h"
#include "ui/win32/tray_icon.h"

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick::win32 {

// What Windows tells the program through the window, apart from the user's commands.
class MainWindowEvents {
  public:
    virtual ~MainWindowEvents() = default;
    virtual void Activated() = 0;
    virtual void SettingsChanged() = 0; // regional settings may have changed
    virtual bool QueryEndSession(LPARAM lParam) = 0;
    virtual void EndSession(bool ending, LPARAM lParam) = 0;
    virtual void RefusalStood() = 0; // the refusal's timer ran out
    virtual void Destroying() = 0;
    // An error escaped a handler; the handler is abandoned and the program goes on.
    virtual void HandlerFailed(const std::exception& e) = 0;
};

class MainWindow final : public MainView {
  public:
    // modals counts the program's modal boxes, this window's among them.
    MainWindow(MainWindowEvents& events, ModalCount& modals);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Created hidden, like a form that the application shows when its loop starts.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }
    // The owner of a box or dialog: the window while it is visible, else none.
    HWND DialogOwner() const;
    // Where the user's commands go; until then they are dropped.
    void ForwardUserActsTo(MainViewEvents& user) { user_ = &user; }
    void SetAboutBox(std::unique_ptr<AboutBox> about) { about_ = std::move(about); }

    void SetCaption(const std::string& text);
    void SetToolDirCaption(const std::string& text);

    void ShowAndRaise();
    void Hide();
    void EnableHideTimer();

    void AddTrayIcon();
    void RemoveTrayIcon();
    // The one notice of a run that failed in part, as a balloon over the tray icon (added if need be).
    void ShowNotice(const std::string& text);
    bool NoticeShowing() const { return tray_.NoticeShowing(); }
    // A /BKP run's place as the tray icon's tip (the icon added if need be), until EndProgress.
    void ShowProgress(const std::string& text);
    void EndProgress() { tray_.EndProgress(); }

    // MainView
    void SetListLines(const std::vector<ListLine>& lines) override { list_.SetLines(lines); }
    void SetListLine(size_t index, const ListLine& line) override { list_.SetLine(index, line); }
    void InsertListLine(size_t index, const ListLine& line) override { list_.InsertLine(index, line); }
    void RemoveListLine(size_t index) override { list_.RemoveLine(index); }
    void SetListSelection(std::optional<size_t> index) override { list_.SetSelection(index); }
    void ShowOptions(const ConfigOptions& options) override;
    void SetUnsavedChanges(bool unsaved) override;
    bool OptionChecked(OptionBox box) const override;
    std::optional<std::string> AskText(const std::string& caption, const std::string& prompt,
                                       const std::string& initial) override;
    std::optional<std::string> ChooseFile(const std::string& filter, const std::string& initialDir) override;
    std::optional<StopAction> ChooseStopAction(StopAction current) override;
    void ShowAbout() override;
    void OpenInEditor(const std::string& path) override;

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
    void Forward(int id);
    // anchor: the icon's point, from the shell of the current protocol; else 0.
    void OnTray(UINT event, WPARAM anchor);
    // The modal box the user is to answer, in front; false when none was found.
    bool RaiseModalBox() const;
    void OnNotify(const NMHDR& header);
    // WM_CONTEXTMENU from the list: at the pointer, or under the selected entry for the keyboard.
    void OnListMenu(LPARAM screenPoint);
    void OnDpiChanged(WPARAM wParam, const RECT& suggested);
    // As a dialog does: the control that had the focus when the window lost it gets it back.
    void RememberFocus();
    void RestoreFocus();
    const char* HintOf(int id) const;

    MainWindowEvents& events_;
    ModalCount& modals_;
    MainViewEvents* user_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND focus_ = nullptr;
    POINT entryMenuAt_{}; // screen point of the entry menu the user asked for
    int dpi_ = 96;
    std::string toolDir_;
    MainWindowLayout layout_;
    EntryListView list_;
    TrayIcon tray_;
    ControlHints hints_;
    UniqueIcon icon_, smallIcon_;
    std::unique_ptr<AboutBox> about_;
};

} // namespace tarnwick::win32
