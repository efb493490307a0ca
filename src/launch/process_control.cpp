#include "launch/process_control.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>

#include "platform/files.h"
#include "platform/processes.h"

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string SkipBlanks(const std::string& text, size_t from) {
    while (from < text.size() && IsBlank(text[from])) ++from;
    return text.substr(std::min(from, text.size()));
}

bool IsProgramFile(const std::string& path) {
    std::string native = platform::NativePath(path);
    return platform::FileExists(native) && !platform::PathIsDirectory(native);
}

// The file a candidate names, as Windows looks for it: as it stands, or with ".exe" when its name has no
// extension.
std::optional<std::string> FindProgramFile(const std::string& candidate) {
    if (IsProgramFile(candidate)) return candidate;
    size_t slash = candidate.find_last_of("/\\");
    std::string name = slash == std::string::npos ? candidate : candidate.substr(slash + 1);
    if (name.find('.') == std::string::npos && IsProgramFile(candidate + ".exe")) return candidate + ".exe";
    return std::nullopt;
}

}  // namespace

int32_t CountProcessesByName(const std::string& name) {
    int32_t count = 0;
    for (const platform::ProcessRecord& record : platform::TakeProcessSnapshot())
        count += record.imageName == name ? 1 : 0;
    return count;
}

bool PostCloseToProcess(const std::string& name) {
    for (const platform::ProcessRecord& record : platform::TakeProcessSnapshot()) {
        if (!SameIgnoringCase(record.imageName, name)) continue;
        // Only the first match is asked; SIGTERM is a process's polite close request.
        int fd = platform::OpenProcess(record.pid);
        if (fd < 0) return false;
        bool asked = platform::SignalProcess(fd, SIGTERM);
        platform::CloseProcess(fd);
        return asked;
    }
    return false;
}

bool WaitForProcessExit(const std::string& name, double seconds, platform::IClock& clock) {
    uint32_t start = clock.TickCount();
    uint32_t limit = static_cast<uint32_t>(seconds * 1000.0);
    for (;;) {
        if (clock.TickCount() - start > limit) return false;
        bool found = false;
        for (const platform::ProcessRecord& record : platform::TakeProcessSnapshot())
            found |= SameIgnoringCase(record.imageName, name);
        clock.Sleep(100);
        if (!found) return true;
    }
}

bool TerminateProcessesByName(const std::string& name) {
    bool result = true;
    std::vector<int> handles;
    int index = 0;
    for (const platform::ProcessRecord& record : platform::TakeProcessSnapshot()) {
        std::printf("processInfo.szExeFile : %d, %s\n", index++, record.imageName.c_str());
        if (!SameIgnoringCase(record.imageName, name)) continue;
        int fd = platform::OpenProcess(record.pid);
        if (fd >= 0) handles.push_back(fd);
    }
    std::printf("vecHandleGameClient Size : %d\n", static_cast<int>(handles.size()));
    for (int fd : handles) {
        if (!platform::SignalProcess(fd, SIGKILL)) result = false;
        platform::CloseProcess(fd);
    }
    return result;
}

bool IsProcessRunning(const std::string& name) {
    for (const platform::ProcessRecord& record : platform::TakeProcessSnapshot()) {
        if (SameIgnoringCase(record.imageName, name)) return true;
    }
    return false;
}

bool PathExists(const std::string& path) { return !platform::FindFiles(path).empty(); }

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t n = commandLine.size();
    for (;;) {
        while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
        if (i >= n) break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || (commandLine[i] != ' ' && commandLine[i] != '\t'))) {
            if (commandLine[i] == '\\') {
                size_t slashes = 0;
                while (i < n && commandLine[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && commandLine[i] == '"') {
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(slashes, '\\');
                }
            } else if (commandLine[i] == '"') {
                if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += commandLine[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

GameRunner ChooseGameRunner(const std::string& configPath, const std::string& edition) {
    return {platform::FindCompatRunner(configPath), platform::CompatPrefix(edition)};
}

ProgramCommand ResolveCommandLine(const std::string& applicationName, const std::string& commandLine) {
    size_t begin = 0;
    while (begin < commandLine.size() && IsBlank(commandLine[begin])) ++begin;
    if (!applicationName.empty()) {
        if (commandLine.compare(begin, applicationName.size(), applicationName) == 0)
            return {applicationName, SkipBlanks(commandLine, begin + applicationName.size())};
        // Another first token: the program's name as the caller wrote it, quoted or not.
        size_t end = begin < commandLine.size() && commandLine[begin] == '"'
                         ? commandLine.find('"', begin + 1)
                         : commandLine.find_first_of(" \t", begin);
        return {applicationName, end == std::string::npos ? "" : SkipBlanks(commandLine, end + 1)};
    }
    if (begin < commandLine.size() && commandLine[begin] == '"') {
        size_t close = commandLine.find('"', begin + 1);
        if (close == std::string::npos) return {commandLine.substr(begin + 1), ""};
        std::string program = commandLine.substr(begin + 1, close - begin - 1);
        return {FindProgramFile(program).value_or(program), SkipBlanks(commandLine, close + 1)};
    }
    size_t firstEnd = commandLine.find_first_of(" \t", begin);
    for (size_t end = firstEnd;; end = commandLine.find_first_of(" \t", end + 1)) {
        std::string candidate = commandLine.substr(begin, end == std::string::npos ? end : end - begin);
        if (auto program = FindProgramFile(candidate))
            return {*program, end == std::string::npos ? "" : SkipBlanks(commandLine, end)};
        if (end == std::string::npos) break;
    }
    // Nothing found: the first token is the program that is missing.
    return {commandLine.substr(begin, firstEnd == std::string::npos ? firstEnd : firstEnd - begin),
            firstEnd == std::string::npos ? "" : SkipBlanks(commandLine, firstEnd)};
}

ProgramStart CreateProcess(const std::string& applicationName, const std::string& commandLine,
                           const std::string& workingFolder, const GameRunner& runner) {
    ProgramCommand command = ResolveCommandLine(applicationName, commandLine);
    std::string program = platform::NativePath(command.program);
    if (!IsProgramFile(program)) return {StartOutcome::Missing};
    std::vector<std::string> arguments = SplitCommandLine(command.arguments);
    std::string folder = platform::NativePath(workingFolder);
    bool windows = platform::IsWindowsProgram(program);
    platform::SpawnRequest request;
    if (windows) {
        if (!runner.runner) return {StartOutcome::NoRunner};
        request = platform::RunnerRequest(*runner.runner, runner.prefix, program, arguments, folder);
    } else {
        request.program = program;
        request.arguments.push_back(program);
        request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
        request.workingFolder = folder;
    }
    request.ownSession = true;
    platform::SpawnResult spawned = platform::SpawnProcess(request);
    switch (spawned.error) {
        case platform::SpawnError::None:
            return {StartOutcome::Started, spawned.pid};
        case platform::SpawnError::Missing:
            // The runner went away after it was chosen.
            return {windows ? StartOutcome::NoRunner : StartOutcome::Missing};
        case platform::SpawnError::NotExecutable:
            break;
    }
    return {StartOutcome::NotExecutable};
}

bool GameClientLimitReached() { return CountProcessesByName(kGameClientName) >= kGameClientLimit; }
