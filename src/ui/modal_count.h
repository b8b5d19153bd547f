#pragma once
// How many of the program's modal boxes are open. Each runs a message loop of its own, in which the tray
// icon and every handler of the main window still run; nothing that starts a sequence, saves, forgets or
// exits may begin from under one.
namespace tarnwick {

class ModalCount {
  public:
    // Counts one box for as long as it lives.
    class Open {
      public:
        explicit Open(ModalCount& count) : count_(count) { ++count_.open_; }
        ~Open() { --count_.open_; }
        Open(const Open&) = delete;
        Open& operator=(const Open&) = delete;

      private:
        ModalCount& count_;
    };

    bool Any() const { return open_ > 0; }

  private:
    int open_ = 0;
};

} // namespace tarnwick
