#include "hypervisor/tool_commands.h"

#include <algorithm>

namespace tarnwick {

const char* const SnapshotName = "Tarnwick_Backup";

const char* const ToolsStateVerb = "checkToolsState";

bool ToolsStateMeansReady(std::string_view output) {
    return TrimControls(output) == "running";
}

std::string_view SuccessText(bool useVmrun) {
    return useVmrun ? "result: The operation was successful" : "() = 1";
}

std::string QuoteForCmd(const std::string& text) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : text) {
        if (c == '%') {
            quoted.append(backslashes, '\\');
            quoted += "\"%\"";
        } else {
            quoted += c;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    quoted += '"';
    return quoted;
}

std::string BuildToolCommandLine(bool useVmrun, const std::string& toolPath, const std::string& verb,
                                 const std::string& vmPath, const std::optional<std::string>& capturePath) {
    std::string line = "cmd /c \"" + QuoteForCmd(toolPath) + " ";
    if (useVmrun) {
        line += verb;
        if (!vmPath.empty()) line += " " + QuoteForCmd(vmPath);
        if (verb == "snapshot" || verb == "deletesnapshot") line += std::string(" ") + SnapshotName;
        if (verb == "stop") line += " soft";
    } else {
        if (!vmPath.empty()) line += QuoteForCmd(vmPath) + " ";
        line += verb;
        if (verb == "stop") line += " trysoft";
    }
    if (capturePath) line += " > " + QuoteForCmd(*capturePath);
    line += '"';
    return line;
}

bool ContainsDoubleQuote(std::string_view text) {
    return text.find('"') != std::string_view::npos;
}

std::string TrimControls(std::string_view text) {
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isControl(text[begin]))
        ++begin;
    while (end > begin && isControl(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

bool OutputMeansSuccess(const std::string& trimmedOutput, bool useVmrun) {
    const std::string_view success = SuccessText(useVmrun);
    if (trimmedOutput.size() > success.size() && trimmedOutput.ends_with(success)) return true;
    return trimmedOutput.empty();
}

std::string IndentTextLines(std::string_view text, int indent) {
    const size_t eof = text.find('\x1a');
    if (eof != std::string_view::npos) text = text.substr(0, eof);
    const std::string blanks(indent > 0 ? static_cast<size_t>(indent) : 0, ' ');
    std::string result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t cr = text.find('\r', pos);
        if (cr == std::string_view::npos) cr = text.size();
        result += blanks;
        result.append(text.substr(pos, cr - pos));
        result += "\r\n";
        pos = cr + 1;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return result;
}

std::string ReadTextFile(FileSystem& files, const std::string& fileName, int indent) {
    const std::optional<std::string> content = files.ReadWholeFile(fileName);
    return content ? IndentTextLines(*content, indent) : std::string();
}

bool IsQueryVerb(std::string_view verb) {
    return verb == "list" || verb == "-l" || verb == "getstate" || verb == ToolsStateVerb;
}

uint32_t ToolRunSeconds(std::string_view verb, std::optional<uint32_t> toolTimeout) {
    const uint32_t limit = toolTimeout.value_or(DefaultToolTimeout);
    return IsQueryVerb(verb) ? std::min(limit, QueryTimeoutCap) : limit;
}

std::string TimedOutLine(const std::string& commandLine, uint32_t seconds) {
    return "      Ended after the limit of " + std::to_string(seconds) + " seconds: " + commandLine;
}

std::string StalledLine(const std::string& commandLine, uint32_t seconds) {
    return "      Ended after " + std::to_string(seconds) + " seconds without progress: " + commandLine;
}

std::vector<std::string> SplitListing(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::vector<std::string> items;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        items.emplace_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return items;
}

} // namespace tarnwick
