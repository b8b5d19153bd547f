#pragma once
// The win-tier binary doubles as the child processes its tests start: a copy of it named child.exe
// or vmrun.exe does that child's work before main and ends. Keeps the tier one binary.
#include <windows.h>

#include "app/win32/file_log.h"
#include "common/win32/module.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tarnwick::win_test {

inline std::string DirOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\') + 1);
}

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// child.exe: words in pairs, done in order: "sleep <ms>", "cwd <file>" (writes the current directory),
// "log <file>" (appends 200 lines "<pid> <n>" as the program's log does), "exit <code>".
inline void RunChild(const std::vector<std::string>& args) {
    for (size_t i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "sleep") ::Sleep(std::strtoul(args[i + 1].c_str(), nullptr, 10));
        if (args[i] == "exit") ::ExitProcess(std::strtoul(args[i + 1].c_str(), nullptr, 10));
        if (args[i] == "log") {
            for (int n = 0; n < 200; ++n)
                win32::AppendLogLine(args[i + 1], std::to_string(::GetCurrentProcessId()) + " " +
                                                      std::to_string(n) + "\r\n");
        }
        if (args[i] == "cwd") {
            char dir[MAX_PATH];
            WriteFileText(args[i + 1], std::string(dir, ::GetCurrentDirectoryA(MAX_PATH, dir)));
        }
    }
    ::ExitProcess(0);
}

// vmrun.exe, a stand-in tool: appends its arguments, joined by '|', to journal.txt beside itself;
// fails with vmrun's wording when a .vmx argument does not exist; else prints stdout.txt from beside
// itself, if there is one.
inline void RunFakeTool(const std::vector<std::string>& args) {
    const std::string dir = DirOf(win32::ModuleFileName());
    std::string entry;
    for (size_t i = 1; i < args.size(); ++i)
        entry += (i > 1 ? "|" : "") + args[i];
    std::ofstream(dir + "journal.txt", std::ios::binary | std::ios::app) << entry << "\r\n";
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].ends_with(".vmx") && !Exists(args[i])) {
            _setmode(_fileno(stdout), _O_BINARY);
            std::printf("Error: Cannot open VM: %s, Cannot read the virtual machine configuration file\r\n",
                        args[i].c_str());
            ::ExitProcess(255);
        }
    }
    _setmode(_fileno(stdout), _O_BINARY); // the bytes as given, no CR added before LF
    std::fputs(ReadFileText(dir + "stdout.txt").c_str(), stdout);
    std::fflush(stdout);
    ::ExitProcess(0);
}

inline bool RunChildModeIfAsked() {
    const std::string exe = win32::ModuleFileName();
    const std::string name = exe.substr(exe.find_last_of('\\') + 1);
    if (name != "child.exe" && name != "vmrun.exe") return false;
    std::vector<std::string> args;
    for (int i = 0; i < __argc; ++i)
        args.emplace_back(__argv[i]);
    if (name == "child.exe") RunChild(args);
    RunFakeTool(args);
    return true;
}

inline const bool childModeDone = RunChildModeIfAsked();

// A fresh folder under the temporary directory, with its trailing backslash.
inline std::string MakeTempDir(const std::string& name) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    std::string dir =
        std::string(temp) + "tarnwick_" + name + "_" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

inline bool CopyOwnExe(const std::string& target) {
    return ::CopyFileA(win32::ModuleFileName().c_str(), target.c_str(), FALSE);
}

} // namespace tarnwick::win_test
