#pragma once
// Tool command lines, and what the tools' captured output means.
#include "common/services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The one snapshot the backup run takes and removes again.
extern const char* const SnapshotName;

// vmrun's query of a guest's VMware Tools; vmware-cmd has none. It prints "running" once they run
// (otherwise "installed", "unknown" or "not installed").
extern const char* const ToolsStateVerb;
bool ToolsStateMeansReady(std::string_view output);

// The text that ends a successful run's output: vmrun's or vmware-cmd's.
std::string_view SuccessText(bool useVmrun);

// Quoted for a `cmd /c` line. A '%' is left outside the quotes, between closing and reopening ones:
// cmd expands %NAME% also inside quotes, but leaves a name it does not know as it stands when it
// runs a command line (not a batch file), and no variable's name holds quotes. The program's argument
// parser then joins the pieces again. Backslashes before such a closing quote are doubled so that they
// stay backslashes for that parser. Without a '%' this is just the text between two quotes.
std::string QuoteForCmd(const std::string& text);

// The full `cmd /c ""<tool>" ..."` line for either back-end; capturePath nullopt: no redirection.
// The verb "stop" asks the guest to shut down ("soft", "trysoft"): the program never powers a VM off.
// The texts must hold no double quote (see ContainsDoubleQuote).
std::string BuildToolCommandLine(bool useVmrun, const std::string& toolPath, const std::string& verb,
                                 const std::string& vmPath, const std::optional<std::string>& capturePath);

bool ContainsDoubleQuote(std::string_view text);

// Without the characters of code 32 and below at either end.
std::string TrimControls(std::string_view text);

// Trimmed tool output judged: empty means success, and so does an output that is longer than the
// success text and ends with it. The success text alone is a failure.
bool OutputMeansSuccess(const std::string& trimmedOutput, bool useVmrun);

// Each line of text prefixed by indent blanks and ended by CR LF. A line ends at CR, with an LF right
// after it skipped; a lone LF stays inside its line; a character of code 26 ends the text.
std::string IndentTextLines(std::string_view text, int indent);

// A file read as IndentTextLines gives it; empty when the file does not exist. Throws IoError when
// it exists but cannot be read.
std::string ReadTextFile(FileSystem& files, const std::string& fileName, int indent);

// The limit of a start, suspend or snapshot run when the user has set none.
inline constexpr uint32_t DefaultToolTimeout = 300;
// Listings and state queries answer at once when the tool works at all; they wait no longer than this,
// or than the user's limit when it is lower.
inline constexpr uint32_t QueryTimeoutCap = 60;

bool IsQueryVerb(std::string_view verb); // list, -l, getstate, checkToolsState
// The seconds a tool run of this verb may take, given the user's limit (nullopt: none set).
uint32_t ToolRunSeconds(std::string_view verb, std::optional<uint32_t> toolTimeout);
// The one log line for a run whose limit passed.
std::string TimedOutLine(const std::string& commandLine, uint32_t seconds);
// The same for a run bounded by its progress, which made none for that long.
std::string StalledLine(const std::string& commandLine, uint32_t seconds);

// Items split at CR LF, CR or LF; a NUL ends the text; a final line break adds no empty item.
std::vector<std::string> SplitListing(std::string_view text);

} // namespace tarnwick
