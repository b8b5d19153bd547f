#include "sequences/backup_staging.h"

#include "common/paths.h"

#include <algorithm>

namespace tarnwick {

StagedCopy::StagedCopy(BackupContext& run, const std::string& backup)
    : run_(run), backup_(backup), staging_(backup + std::string(StagingSuffix)),
      previous_(backup + std::string(PreviousSuffix)), keep_(BackupKeepCount(run.s.options)) {}

std::vector<std::string> StagedCopy::Folders() {
    std::vector<std::string> folders = {backup_, staging_, previous_};
    for (uint32_t number = 2; number <= keep_ + 1; ++number)
        folders.push_back(Generation(number));
    // Those a run may remove that are there already: generations beyond the count, copies put away.
    for (const std::string& tail : OwnFoldersNamed(""))
        folders.push_back(backup_ + ".tarnwick-" + tail);
    return folders;
}

StagedCopy::~StagedCopy() {
    if (cleared_ && !swapped_ && run_.s.files.DirectoryExists(staging_))
        run_.s.folders.RemoveFolder(staging_);
}

std::string OwnSuffix(std::string_view name) {
    const size_t at = FoldCase(name).rfind(".tarnwick-");
    return at == std::string::npos ? std::string() : std::string(name.substr(at));
}

bool StagedCopy::Ours(const std::string& folder) {
    if (run_.s.files.FileExists(Marker(folder))) return true;
    run_.Fail("    " + folder +
              " holds no marker of this program, so it is left as it is; the VM is not backed up.");
    return false;
}

// The previous copy is put back; a staging folder is never trusted.
bool StagedCopy::Prepare() {
    BackupServices& s = run_.s;
    for (const std::string_view suffix : EarlierSuffixes) {
        const std::string folder = backup_ + std::string(suffix);
        if (s.files.DirectoryExists(folder))
            s.reporter.WriteLog("    Leaving " + folder + " as it is: this program did not make it.");
    }
    RemovePutAway();
    if (!ClearSetAside()) return false;
    if (s.files.DirectoryExists(staging_)) {
        if (!Ours(staging_)) return false;
        s.reporter.WriteLog("    Removing the unfinished copy that an interrupted run left in " + staging_ +
                            "...");
        if (!RemoveOrPutAway(staging_)) {
            run_.Fail("    It cannot be removed; not backed up.");
            return false;
        }
    }
    // Marked before anything is copied in, so that whatever cuts the run short leaves a folder the next
    // run knows for its own.
    const bool made = s.folders.MakeFolder(staging_);
    if (!made || !s.folders.WriteSmallFile(Marker(staging_), std::string(MarkerText))) {
        if (made) s.folders.RemoveFolder(staging_); // empty, made just now
        run_.Fail("    The staging folder " + staging_ + " cannot be made; not backed up.");
        return false;
    }
    cleared_ = true;
    return true;
}

bool StagedCopy::ClearSetAside() {
    BackupServices& s = run_.s;
    if (!s.files.DirectoryExists(previous_)) return true;
    if (!Ours(previous_)) return false;
    if (!s.files.DirectoryExists(backup_)) {
        s.reporter.WriteLog("    Putting back the previous copy that an interrupted run left in " +
                            previous_ + "...");
        if (!s.folders.RenameFolder(previous_, backup_)) {
            run_.Fail("    It cannot be put back; not backed up so that it stays.");
            return false;
        }
        s.files.DeleteFile(Marker(backup_));
        return true;
    }
    s.reporter.WriteLog((keep_ > 1
                             ? "    Keeping as an older generation the copy that an interrupted run left in "
                             : "    Removing an older copy that an interrupted run left in ") +
                        previous_ + "...");
    if (!Retire(previous_)) {
        run_.Fail("    It cannot be removed; not backed up.");
        return false;
    }
    return true;
}

// A copy holds only top-level files, so any folder in it is the user's.
bool StagedCopy::Retire(const std::string& setAside) {
    BackupServices& s = run_.s;
    const std::optional<std::vector<std::string>> folders = s.folders.ListFolders(setAside);
    if (!folders) return false;
    for (const std::string& name : *folders) {
        if (s.folders.RenameFolder(setAside + "\\" + name, backup_ + "\\" + name)) continue;
        s.reporter.WriteLog("    The folder " + setAside + "\\" + name + " cannot be moved into " + backup_ +
                            "; it stays where it is.");
        return false;
    }
    return keep_ > 1 ? KeepAsGeneration(setAside) : RemoveOrPutAway(setAside) && KeepAsGeneration("");
}

std::vector<std::string> StagedCopy::OwnFoldersNamed(std::string_view tail) {
    const std::string_view target = DirectoryPart(backup_);
    const std::string prefix = FoldCase(FileNamePart(backup_)) + ".tarnwick-" + std::string(tail);
    std::vector<std::string> names;
    for (const std::string& name :
         run_.s.folders.ListFolders(std::string(target.substr(0, target.size() - 1)))
             .value_or(std::vector<std::string>()))
        if (FoldCase(name).starts_with(prefix)) names.push_back(name.substr(prefix.size()));
    return names;
}

// A folder that cannot be removed now (a file in it is held open) moves out of the way under another
// marked name, which a later run removes: it never holds up the next copy. The removal may have taken
// the marker already, so it is written again first.
bool StagedCopy::RemoveOrPutAway(const std::string& folder) {
    BackupServices& s = run_.s;
    if (s.folders.RemoveFolder(folder)) return true;
    s.folders.WriteSmallFile(Marker(folder), std::string(MarkerText));
    std::string away;
    for (uint32_t number = 2; away.empty() || s.files.DirectoryExists(away); ++number)
        away = backup_ + std::string(PutAwaySuffix) + std::to_string(number);
    if (!s.folders.RenameFolder(folder, away)) {
        s.reporter.WriteLog("    " + folder +
                            " cannot be removed now (a file in it is open); a later run removes it.");
        return false;
    }
    s.reporter.WriteLog("    " + folder + " cannot be removed now (a file in it is open); moved to " + away +
                        ", which a later run removes.");
    return true;
}

// What earlier runs put away; one that still cannot be removed waits for a later run.
void StagedCopy::RemovePutAway() {
    BackupServices& s = run_.s;
    for (const std::string& number :
         OwnFoldersNamed(PutAwaySuffix.substr(std::string_view(".tarnwick-").size()))) {
        const std::string folder = backup_ + std::string(PutAwaySuffix) + number;
        if (!s.files.FileExists(Marker(folder)) || s.folders.RemoveFolder(folder)) continue;
        s.folders.WriteSmallFile(Marker(folder), std::string(MarkerText));
        s.reporter.WriteLog("    " + folder + " still cannot be removed; a later run tries again.");
    }
}

std::vector<uint32_t> StagedCopy::Generations() {
    std::vector<uint32_t> numbers;
    for (const std::string& digits : OwnFoldersNamed("")) {
        if (digits.empty() || digits.size() > 6 || digits[0] == '0' ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        if (const uint32_t number = static_cast<uint32_t>(std::stoul(digits)); number >= 2)
            numbers.push_back(number);
    }
    std::sort(numbers.rbegin(), numbers.rend());
    return numbers;
}

// Each older generation moves one number up, the set-aside copy becomes the second; only then are
// those beyond the count removed, so that a failure on the way keeps every one. setAside "": no new
// generation, only those beyond the count go.
bool StagedCopy::KeepAsGeneration(const std::string& setAside) {
    BackupServices& s = run_.s;
    std::vector<uint32_t> numbers = Generations();
    for (uint32_t& number : numbers) {
        const std::string folder = Generation(number);
        if (!s.files.FileExists(Marker(folder))) {
            s.reporter.WriteLog("    " + folder +
                                " holds no marker of this program, so it is left as it is.");
            return false;
        }
        if (setAside.empty()) continue;
        if (!s.folders.RenameFolder(folder, Generation(number + 1))) {
            s.reporter.WriteLog("    The older copy " + folder +
                                " cannot be renamed; every generation stays.");
            return false;
        }
        ++number;
    }
    if (!setAside.empty() && !s.folders.RenameFolder(setAside, Generation(2))) {
        s.reporter.WriteLog("    The previous copy " + setAside + " cannot be renamed to " + Generation(2) +
                            "; every generation stays.");
        return false;
    }
    bool removed = true;
    for (const uint32_t number : numbers)
        if (number > keep_) removed = RemoveOrPutAway(Generation(number)) && removed;
    return removed;
}

bool StagedCopy::Commit(const ExpectedCopy& expected) {
    swapped_ = Verify(expected) && Swap();
    return swapped_;
}

bool StagedCopy::Verify(const ExpectedCopy& expected) {
    const std::optional<FileListing> staged = run_.s.folders.ListFiles(staging_);
    if (!staged) {
        run_.Fail("    Copy incomplete: " + staging_ + " cannot be read; the previous copy stays.");
        return false;
    }
    const auto copies = ByName(*staged);
    for (const auto& f : expected.files) {
        const std::string key = FoldCase(f.name);
        const auto copy = copies.find(key);
        if (copy == copies.end()) {
            run_.Fail("    Copy incomplete: " + f.name + " is missing; the previous copy stays.");
            return false;
        }
        if (expected.anySize.contains(key)) continue;
        if (copy->second->size != f.size) {
            run_.Fail("    Copy incomplete: " + f.name + " holds " + std::to_string(copy->second->size) +
                      " of " + std::to_string(f.size) + " bytes; the previous copy stays.");
            return false;
        }
        // A copy gives its target the source's time only once it completes; on Windows a copy ended
        // mid-file has the full size already.
        if (!SameWriteTime(copy->second->modified, f.modified)) {
            run_.Fail(
                "    Copy incomplete: " + f.name +
                " was not copied whole (its last-write time is not the VM's); the previous copy stays.");
            return false;
        }
    }
    return true;
}

// The previous copy is moved aside before the new one takes its name, and removed only after.
bool StagedCopy::Swap() {
    BackupFolders& folders = run_.s.folders;
    FileSystem& files = run_.s.files;
    const bool hadCopy = files.DirectoryExists(backup_);
    if (hadCopy && !(folders.WriteSmallFile(Marker(backup_), std::string(MarkerText)) &&
                     folders.RenameFolder(backup_, previous_))) {
        files.DeleteFile(Marker(backup_));
        run_.Fail("    The previous copy " + backup_ +
                  " cannot be moved aside; it stays, and the new copy is dropped.");
        return false;
    }
    if (!folders.RenameFolder(staging_, backup_)) {
        // Else the next run puts it back.
        if (hadCopy && folders.RenameFolder(previous_, backup_)) files.DeleteFile(Marker(backup_));
        run_.Fail("    The new copy cannot take the name " + backup_ + "; the previous copy stays.");
        return false;
    }
    files.DeleteFile(Marker(backup_));
    if (hadCopy && !Retire(previous_))
        run_.Fail("    The previous copy in " + previous_ +
                  " could not be removed; the next run removes it.");
    return true;
}

} // namespace tarnwick
