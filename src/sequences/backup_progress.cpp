#include "sequences/backup_progress.h"

#include "common/paths.h"
#include "common/product.h"

#include <algorithm>

namespace tarnwick {

namespace {

std::string Figures(const BackupPlace& place) {
    return "(" + GigabytesText(place.done) + " of " + GigabytesText(place.size) + " GB)";
}

// A copy that has nothing to copy is whole; a file the VM grows meanwhile never takes it past whole.
std::string Percent(const BackupPlace& place) {
    const uint64_t percent = place.size == 0 ? 100 : std::min<uint64_t>(100, place.done * 100 / place.size);
    return std::to_string(percent) + "% ";
}

std::string StageText(const BackupPlace& place) {
    switch (place.stage) {
    case BackupStage::Listing:
    case BackupStage::Chosen:
        return "";
    case BackupStage::FirstPass:
        return ", first pass " + Percent(place) + Figures(place);
    case BackupStage::Suspending:
        return ", suspending";
    case BackupStage::SecondPass:
        return ", suspended, copying what changed " + Figures(place);
    case BackupStage::Resuming:
        return ", resuming";
    case BackupStage::UnderSnapshot:
        return ", copying under a snapshot " + Percent(place) + Figures(place);
    case BackupStage::Committing:
        return ", deleting the snapshot";
    case BackupStage::Done:
        return ", done";
    }
    return "";
}

std::string Seconds(uint64_t ms) {
    return std::to_string((ms + 500) / 1000) + " s";
}

} // namespace

std::string ProgressText(const BackupPlace& place) {
    const std::string head = TARNWICK_PROGRAM_NAME " backup";
    if (place.stage == BackupStage::Listing) return head;
    const std::string vm =
        ": VM " + std::to_string(place.number) + " of " + std::to_string(place.total) + ", ";
    const std::string tail = StageText(place);
    const size_t room =
        ProgressTextLimit - std::min(ProgressTextLimit, head.size() + vm.size() + tail.size());
    // The figures are what the tip is for; a long name gives way to them.
    if (place.name.size() <= room) return head + vm + place.name + tail;
    const std::string dots = "...";
    return head + vm + place.name.substr(0, room > dots.size() ? room - dots.size() : 0) + dots + tail;
}

std::string GigabytesText(uint64_t bytes) {
    constexpr unsigned Shift = 30;
    // In two parts, so that no product can overflow.
    const uint64_t whole = bytes >> Shift;
    const uint64_t rest = bytes & ((uint64_t{1} << Shift) - 1);
    const uint64_t tenths = whole * 10 + ((rest * 10 + (uint64_t{1} << (Shift - 1))) >> Shift);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

BackupProgress::BackupProgress(BackupProgressView& view) : view_(view) {
    Show();
}

void BackupProgress::Vm(size_t number, size_t total, const std::string& vmPath) {
    std::string_view name = FileNamePart(vmPath);
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    place_ = BackupPlace{BackupStage::Chosen, number, total, std::string(name), 0, 0};
    Show();
}

void BackupProgress::Stage(BackupStage stage, uint64_t size) {
    place_.stage = stage;
    place_.done = 0;
    place_.size = size;
    Show();
}

void BackupProgress::Copied(uint64_t done) {
    place_.done = done;
    Show();
}

void BackupProgress::Show() {
    std::string text = ProgressText(place_);
    if (text == shown_) return;
    shown_ = std::move(text);
    view_.ShowProgress(shown_);
}

std::string CopiedLine(const CopyTally& tally) {
    std::string line = "    Copied " + GigabytesText(tally.firstPass) + " GB while running, " +
                       GigabytesText(tally.secondPass) + " GB while suspended; the VM ";
    if (!tally.resumed) return line + "was not resumed.";
    return line + "was down " + Seconds(tally.downTo - tally.downFrom) + ".";
}

std::string CopiedUnderSnapshotLine(uint64_t bytes) {
    return "    Copied " + GigabytesText(bytes) + " GB under a snapshot; the VM was not stopped.";
}

} // namespace tarnwick
