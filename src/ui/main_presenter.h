#pragma once
// Decides what the main window's commands do and redraws the window from the model's change signal.
#include "common/run_files.h"
#include "common/services.h"
#include "config/config_store.h"
#include "config/control_list.h"
#include "sequences/ports.h"
#include "ui/main_view.h"
#include "ui/modal_count.h"

#include <cstddef>
#include <optional>

namespace tarnwick {

// The two commands the sequences carry out.
class SequenceCommands {
  public:
    virtual ~SequenceCommands() = default;
    // The launch button: the selected entry.
    virtual void LaunchSelected() = 0;
    // The tray menu's Exit: offers the suspension, then closes the program.
    virtual void ExitWithSuspendOffer() = 0;
};

struct MainPresenterServices {
    const RunFiles& files;
    ControlList& list;
    ConfigStore& config;
    Dialogs& dialogs;
    VmOperations& vms;
    SequenceCommands& sequences;
    const ModalCount& modals;
};

class MainPresenter final : public MainViewEvents {
  public:
    // Listens to the list for as long as it lives.
    MainPresenter(MainPresenterServices services, MainView& view);
    ~MainPresenter() override;
    MainPresenter(const MainPresenter&) = delete;
    MainPresenter& operator=(const MainPresenter&) = delete;

    void Command(UserCommand command) override;
    void EntryToggled(size_t index) override;
    void SelectionChanged(std::optional<size_t> index) override;
    void EntryMenuAsked(size_t index) override;

  private:
    void ModelChanged(const ListChange& change);
    ListLine Line(size_t index) const;
    void AddFile();
    void AddDelay();
    void AddWait();
    void AddRunningVms();
    void BeepUnless(bool acted);

    MainPresenterServices s_;
    MainView& view_;
};

} // namespace tarnwick
