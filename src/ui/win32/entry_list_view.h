#pragma once
// The list view that shows the control list: one line with a check box per entry and its stop action
// in a second column, one selected at most. What is drawn from here is not reported back as the user's doing.
#include <windows.h>
#include <commctrl.h>

#include "ui/main_view.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace tarnwick::win32 {

class EntryListView {
  public:
    void Attach(HWND list) { list_ = list; }

    void SetLines(const std::vector<ListLine>& lines);
    void SetLine(size_t index, const ListLine& line);
    void InsertLine(size_t index, const ListLine& line);
    void RemoveLine(size_t index);
    void SetSelection(std::optional<size_t> index);
    std::optional<size_t> Selection() const;

    // Passes on a check mark the user flipped and a selection the user changed.
    void OnItemChanged(const NMLISTVIEW& change, MainViewEvents& user) const;

  private:
    void Insert(size_t index, const ListLine& line);

    HWND list_ = nullptr;
    bool filling_ = false;
};

} // namespace tarnwick::win32
