#pragma once
// Fakes of the file, file writer and Run key services behind the configuration store.
#include "config/config_store.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::config_test {

struct Files : FileSystem {
    std::map<std::string, std::string> contents;
    bool unreadable = false;
    bool FileExists(const std::string& path) override { return contents.count(path) != 0; }
    bool DirectoryExists(const std::string&) override { return true; }
    std::optional<std::string> ReadWholeFile(const std::string& path) override {
        if (unreadable) throw IoError("The process cannot access the file");
        auto it = contents.find(path);
        if (it == contents.end()) return std::nullopt;
        return it->second;
    }
    bool DeleteFile(const std::string& path) override { return contents.erase(path) != 0; }
};

struct Writer : FileWriter {
    Files& files;
    std::string failure; // empty: writes go through
    int calls = 0;
    explicit Writer(Files& f) : files(f) {}
    Outcome ReplaceWholeFile(const std::string& path, const std::string& bytes) override {
        ++calls;
        if (!failure.empty()) return Outcome::Failed(failure);
        files.contents[path] = bytes;
        return Outcome::Done();
    }
};

struct Registry : AutostartStore {
    bool keyExists = true;
    std::map<std::string, std::string> strings;
    std::vector<std::string> others; // values of another type
    std::string writeFailure;
    int opened = 0;

    struct Key : RunKey {
        Registry& r;
        explicit Key(Registry& reg) : r(reg) {}
        bool ValueExists(const std::string& name) override {
            return r.strings.count(name) ||
                   std::find(r.others.begin(), r.others.end(), name) != r.others.end();
        }
        std::optional<std::string> ReadString(const std::string& name) override {
            auto it = r.strings.find(name);
            return it == r.strings.end() ? std::nullopt : std::optional<std::string>(it->second);
        }
        Outcome WriteString(const std::string& name, const std::string& data) override {
            if (!r.writeFailure.empty()) return Outcome::Failed(r.writeFailure);
            r.strings[name] = data;
            return Outcome::Done();
        }
        Outcome DeleteValue(const std::string& name) override {
            if (!r.writeFailure.empty()) return Outcome::Failed(r.writeFailure);
            r.strings.erase(name);
            return Outcome::Done();
        }
    };
    std::unique_ptr<RunKey> OpenRunKey() override {
        ++opened;
        return keyExists ? std::make_unique<Key>(*this) : nullptr;
    }
};

} // namespace tarnwick::config_test
