#include "sequences/backup_staging.h"

namespace tarnwick {

StagedCopy::StagedCopy(BackupContext& run, const std::string& backup)
    : run_(run), backup_(backup), staging_(backup + std::string(StagingSuffix)),
      previous_(backup + std::string(PreviousSuffix)) {}

StagedCopy::~StagedCopy() {
    if (cleared_ && !swapped_ && run_.s.files.DirectoryExists(staging_))
        run_.s.folders.RemoveFolder(staging_);
}

// The previous copy is put back; a staging folder is never trusted.
bool StagedCopy::ClearLeftovers() {
    BackupServices& s = run_.s;
    if (s.files.DirectoryExists(previous_)) {
        if (!s.files.DirectoryExists(backup_)) {
            s.reporter.WriteLog("    Putting back the previous copy that an interrupted run left in " +
                                previous_ + "...");
            if (!s.folders.RenameFolder(previous_, backup_)) {
                run_.Fail("    It cannot be put back; not backed up so that it stays.");
                return false;
            }
        } else {
            s.reporter.WriteLog("    Removing an older copy that an interrupted run left in " + previous_ +
                                "...");
            if (!s.folders.RemoveFolder(previous_)) {
                run_.Fail("    It cannot be removed; not backed up.");
                return false;
            }
        }
    }
    if (s.files.DirectoryExists(staging_)) {
        s.reporter.WriteLog("    Removing the unfinished copy that an interrupted run left in " + staging_ +
                            "...");
        if (!s.folders.RemoveFolder(staging_)) {
            run_.Fail("    It cannot be removed; not backed up.");
            return false;
        }
    }
    cleared_ = true;
    return true;
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
        if (copy->second->size != f.size && !expected.anySize.contains(key)) {
            run_.Fail("    Copy incomplete: " + f.name + " holds " + std::to_string(copy->second->size) +
                      " of " + std::to_string(f.size) + " bytes; the previous copy stays.");
            return false;
        }
    }
    return true;
}

// The previous copy is moved aside before the new one takes its name, and deleted only after.
bool StagedCopy::Swap() {
    BackupFolders& folders = run_.s.folders;
    const bool hadCopy = run_.s.files.DirectoryExists(backup_);
    if (hadCopy && !folders.RenameFolder(backup_, previous_)) {
        run_.Fail("    The previous copy " + backup_ +
                  " cannot be moved aside; it stays, and the new copy is dropped.");
        return false;
    }
    if (!folders.RenameFolder(staging_, backup_)) {
        if (hadCopy) folders.RenameFolder(previous_, backup_); // else the next run puts it back
        run_.Fail("    The new copy cannot take the name " + backup_ + "; the previous copy stays.");
        return false;
    }
    if (hadCopy && !folders.RemoveFolder(previous_))
        run_.Fail("    The previous copy in " + previous_ +
                  " could not be removed; the next run removes it.");
    return true;
}

} // namespace tarnwick
