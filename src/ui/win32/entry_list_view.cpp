#include "ui/win32/entry_list_view.h"

#include "common/scope_exit.h"

namespace tarnwick::win32 {

namespace {

int Item(size_t index) {
    return static_cast<int>(index);
}

void SetAtLogoff(HWND list, size_t index, const ListLine& line) {
    LVITEMA item{};
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(line.atLogoff.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
}

} // namespace

void EntryListView::Insert(size_t index, const ListLine& line) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = Item(index);
    item.pszText = const_cast<char*>(line.text.c_str());
    SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    SetAtLogoff(list_, index, line);
    ListView_SetCheckState(list_, Item(index), line.checked);
}

void EntryListView::SetLines(const std::vector<ListLine>& lines) {
    const auto filling = ScopedValue(filling_, true);
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list_);
    ListView_SetItemCount(list_, static_cast<int>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i)
        Insert(i, lines[i]);
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
}

void EntryListView::SetLine(size_t index, const ListLine& line) {
    const auto filling = ScopedValue(filling_, true);
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(line.text.c_str());
    SendMessageA(list_, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    SetAtLogoff(list_, index, line);
    ListView_SetCheckState(list_, Item(index), line.checked);
}

void EntryListView::InsertLine(size_t index, const ListLine& line) {
    const auto filling = ScopedValue(filling_, true);
    Insert(index, line);
    ListView_EnsureVisible(list_, Item(index), FALSE);
}

void EntryListView::RemoveLine(size_t index) {
    const auto filling = ScopedValue(filling_, true);
    ListView_DeleteItem(list_, Item(index));
}

void EntryListView::SetSelection(std::optional<size_t> index) {
    const auto filling = ScopedValue(filling_, true);
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (index) {
        ListView_SetItemState(list_, Item(*index), LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list_, Item(*index), FALSE);
    }
}

std::optional<size_t> EntryListView::Selection() const {
    const int item = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    return item >= 0 ? std::optional<size_t>(static_cast<size_t>(item)) : std::nullopt;
}

void EntryListView::OnItemChanged(const NMLISTVIEW& change, MainViewEvents& user) const {
    if (filling_ || change.iItem < 0 || !(change.uChanged & LVIF_STATE)) return;
    const UINT flipped = change.uNewState ^ change.uOldState;
    // A line's first state image arrives as a change from none; only a change between two is a click.
    if ((flipped & LVIS_STATEIMAGEMASK) && (change.uOldState & LVIS_STATEIMAGEMASK) != 0)
        user.EntryToggled(static_cast<size_t>(change.iItem));
    if (flipped & LVIS_SELECTED) user.SelectionChanged(Selection());
}

} // namespace tarnwick::win32
