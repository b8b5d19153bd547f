#include "vmware_fixture.h"

#include "driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace e2e {

namespace {

const char* const kKeys[] = {"SOFTWARE\\VMware, Inc.\\VMware Workstation",
                             "SOFTWARE\\VMware, Inc.\\VMware Server"};

void MakeDirs(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

// One run of the simulator's control command. Under a loaded Wine a process start can fail now and then;
// an empty answer would then read as a state, so failed runs are retried and, in the end, named.
std::optional<std::string> RunCaptureOnce(const std::string& commandLine) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return std::nullopt;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    std::string out;
    bool ran = false;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                       &pi)) {
        CloseHandle(writeEnd);
        writeEnd = nullptr;
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got)
            out.append(buf, got);
        DWORD code = 1;
        ran = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0 &&
              GetExitCodeProcess(pi.hProcess, &code);
        // Every control command that succeeds either prints or changes nothing that a reader could miss;
        // a crash before the first byte is the case to retry.
        ran = ran && !(code != 0 && out.empty());
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    if (writeEnd) CloseHandle(writeEnd);
    CloseHandle(readEnd);
    if (!ran) return std::nullopt;
    return out;
}

std::string RunCapture(const std::string& commandLine) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (auto out = RunCaptureOnce(commandLine)) return *out;
        Sleep(200);
    }
    ADD_FAILURE() << "could not run: " << commandLine;
    return "<could not run the simulator>";
}

} // namespace

void RemoveVmwareKeys() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        for (const char* key : kKeys)
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, view, 0);
}

VmwareInstall::VmwareInstall(const std::string& root, const InstallOptions& o) : root_(root) {
    vmsim_ = ToWindowsPath(Settings().toolsDir + "/vmsim/vmsim.exe");
    home_ = root + "simhome\\";
    MakeDirs(home_);
    // The program and every tool it starts inherit this, so the test's state stays its own.
    SetEnvironmentVariableA("VMSIM_HOME", home_.c_str());
    RemoveVmwareKeys();
    if (o.product == Product::None) return;

    const bool server = o.product != Product::Workstation;
    installDir_ = root + (server ? "VMware\\VMware Server\\" : "VMware\\VMware Workstation\\");
    MakeDirs(installDir_);
    if (o.withVmwareExe) CopyFileA(vmsim_.c_str(), (installDir_ + "vmware.exe").c_str(), FALSE);
    CopyFileA(vmsim_.c_str(), (installDir_ + "vmsim.exe").c_str(), FALSE);
    if (o.withTool) {
        if (o.product == Product::Workstation)
            CopyFileA(vmsim_.c_str(), (installDir_ + "vmrun.exe").c_str(), FALSE);
        if (o.product == Product::Server)
            WriteFileBytes(installDir_ + "vmware-cmd.bat", "@\"%~dp0vmsim.exe\" --vmware-cmd %*\r\n");
        if (o.product == Product::ServerVix) {
            const std::string vix = root + "VMware\\VMware VIX\\";
            MakeDirs(vix);
            CopyFileA(vmsim_.c_str(), (vix + "vmrun.exe").c_str(), FALSE);
        }
    }

    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeys[server ? 1 : 0], 0, nullptr, 0, KEY_WRITE | o.view, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        if (o.dwordInstallPath) {
            DWORD one = 1;
            RegSetValueExA(key, "InstallPath", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
        } else {
            std::string path = installDir_;
            if (!o.trailingBackslash) path.pop_back();
            RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1));
        }
        RegCloseKey(key);
    }
}

VmwareInstall::~VmwareInstall() {
    RemoveVmwareKeys();
    SetEnvironmentVariableA("VMSIM_HOME", nullptr);
}

std::string VmwareInstall::MakeVm(const std::string& folder, const std::string& name, bool registered) {
    const std::string dir = root_ + "VMs\\" + folder + "\\";
    MakeDirs(dir);
    const std::string vmx = dir + name + ".vmx";
    WriteFileBytes(vmx, "config.version = \"8\"\r\ndisplayName = \"" + name + "\"\r\n");
    WriteFileBytes(dir + name + ".vmdk", "# Disk DescriptorFile\r\n");
    WriteFileBytes(dir + "nvram", std::string(64, '\x01'));
    if (registered) Ctl("add-vm \"" + vmx + "\"");
    return vmx;
}

std::string VmwareInstall::Ctl(const std::string& args) const {
    return RunCapture("\"" + vmsim_ + "\" --ctl " + args);
}

std::string VmwareInstall::State(const std::string& vmx) const {
    std::string s = Ctl("state \"" + vmx + "\"");
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n'))
        s.pop_back();
    return s;
}

namespace {

// Every journal line, split into its tab-separated fields.
std::vector<std::vector<std::string>> JournalFields(const std::string& home) {
    std::vector<std::vector<std::string>> out;
    const std::string text = ReadFileBytes(home + "vmsim-journal.txt");
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        size_t f = pos;
        while (true) {
            const size_t tab = text.find('\t', f);
            if (tab == std::string::npos || tab > end) {
                fields.push_back(text.substr(f, end - f));
                break;
            }
            fields.push_back(text.substr(f, tab - f));
            f = tab + 1;
        }
        out.push_back(std::move(fields));
        pos = end + 2;
    }
    return out;
}

} // namespace

std::vector<std::vector<std::string>> VmwareInstall::Journal() const {
    std::vector<std::vector<std::string>> out;
    for (const auto& fields : JournalFields(home_))
        if (fields.size() > 2) out.emplace_back(fields.begin() + 2, fields.end());
    return out;
}

std::vector<double> VmwareInstall::CallTimes() const {
    std::vector<double> out;
    for (const auto& fields : JournalFields(home_)) {
        if (fields.size() <= 2) continue;
        // "YYYY-MM-DD HH:MM:SS.mmm"
        const std::string& t = fields[0];
        const auto number = [&t](size_t at, size_t length) {
            return std::atof(t.substr(at, length).c_str());
        };
        out.push_back(t.size() < 23
                          ? 0.0
                          : number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2) + number(20, 3) / 1000);
    }
    return out;
}

std::vector<std::vector<std::string>> VmwareInstall::Calls() const {
    std::vector<std::vector<std::string>> out;
    for (const auto& j : Journal()) {
        std::vector<std::string> c{j.at(0)};
        c.insert(c.end(), j.begin() + 3, j.end());
        out.push_back(c);
    }
    return out;
}

} // namespace e2e
