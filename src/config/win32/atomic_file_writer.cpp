#include "config/win32/atomic_file_writer.h"

#include <windows.h>

#include "common/win32/error_text.h"
#include "common/win32/handles.h"

#include <algorithm>

namespace tarnwick::win32 {

namespace {

Outcome Failure(const std::string& what, DWORD error) {
    return Outcome::Failed(what + ": " + LastErrorText(error) + ".");
}

Outcome WriteNewFile(const std::string& path, const std::string& bytes) {
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failure("Cannot create " + path, GetLastError());
    for (size_t done = 0; done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return Failure("Cannot write " + path, GetLastError());
        done += written;
    }
    // The move below must not reach the disk before the data does.
    if (!FlushFileBuffers(file.get())) return Failure("Cannot write " + path, GetLastError());
    // Closed by hand rather than by the owner, whose close cannot report the error a late write gives.
    if (!CloseHandle(file.release())) return Failure("Cannot write " + path, GetLastError());
    return Outcome::Done();
}

} // namespace

Outcome AtomicFileWriter::ReplaceWholeFile(const std::string& path, const std::string& bytes) {
    // A read-only file is the user's way of saying "keep this"; replacing it by a move would succeed on
    // some systems, so ask first.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return Outcome::Failed(path + " is read-only.");

    const std::string fresh = path + ".new";
    SetFileAttributesA(fresh.c_str(), FILE_ATTRIBUTE_NORMAL); // a stale copy left by a crash
    if (Outcome written = WriteNewFile(fresh, bytes); !written.ok) {
        DeleteFileA(fresh.c_str());
        return written;
    }
    if (!MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileA(fresh.c_str());
        return Failure("Cannot replace " + path, error);
    }
    return Outcome::Done();
}

} // namespace tarnwick::win32
