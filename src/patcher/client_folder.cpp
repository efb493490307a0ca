#include "patcher/client_folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "platform/files.h"

namespace {

constexpr const char* kDeletableExtensions[] = {"ttf", "ini", "otf", "txt", "lua", "lub"};

bool EndsWithBackslash(const std::string& text) { return !text.empty() && text.back() == '\\'; }

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// Walks the components as the list is read: ".." takes the one before it along, "." and empty
// components go. A leading separator keeps the path rooted.
std::string Normalise(const std::string& path) {
    bool rooted = !path.empty() && path.front() == '\\';
    std::vector<std::string> kept;
    for (const std::string& part : SplitPath(path, '\\')) {
        if (part == "..") {
            if (!kept.empty()) kept.pop_back();
        } else if (part != "." && !part.empty()) {
            kept.push_back(part);
        }
    }
    std::string joined = rooted ? "\\" : "";
    for (size_t i = 0; i < kept.size(); ++i) joined += (i == 0 ? "" : "\\") + kept[i];
    return joined;
}

// The client folder in lower case with "\\" separators, walked like a list entry.
std::string DeleteListRoot(const std::string& clientFolder) {
    std::string root = LowerAscii(clientFolder);
    std::replace(root.begin(), root.end(), '/', '\\');
    return Normalise(root);
}

}  // namespace

std::vector<std::string> SplitPath(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (std::string& piece : pieces) {
        if (!piece.empty() && piece.front() == ' ') piece.erase(0, 1);
        if (!piece.empty() && piece.back() == ' ') piece.pop_back();
    }
    return pieces;
}

bool CopyFolderTree(std::string source, std::string destination) {
    source = source.empty() ? ".\\" : EndsWithBackslash(source) ? source : source + "\\";
    destination = destination.empty()              ? ".\\"
                  : EndsWithBackslash(destination) ? destination
                                                   : destination + "\\";
    auto entries = platform::FindFiles(source + "*.*");
    if (entries.empty()) {
        std::printf("No file in directory!\n");
        return true;
    }
    platform::CreateDirectory(destination);
    bool merged = true;
    for (const auto& entry : entries) {
        if (IsDotEntry(entry.name) || (entry.attributes & platform::kAttrReparsePoint) != 0) continue;
        if (platform::CopyFile(source + entry.name, destination + entry.name, false)) continue;
        if (entry.attributes == platform::kAttrDirectory && entry.size == 0) {
            merged = CopyFolderTree(source + entry.name + "\\", destination + entry.name + "\\") && merged;
        } else {
            merged = false;
        }
    }
    return merged;
}

bool MergeStagingFolder(const std::string& clientFolder) {
    std::string staging = clientFolder + "/" + "Temp";
    uint32_t attributes = platform::GetFileAttributes(staging);
    if (attributes == platform::kInvalidAttributes) return true;
    // A Temp that is a link leads out of the client folder: it is neither merged nor emptied.
    if ((attributes & platform::kAttrReparsePoint) != 0) return false;
    // A file that could not take its place (a full disk) keeps Temp for the next start.
    if (!CopyFolderTree(staging, clientFolder)) return false;
    DeleteFolderTree(staging);
    platform::RemoveDirectory(staging);
    return true;
}

void DeleteFolderTree(std::string folder) {
    if (folder.empty()) return;
    if (!EndsWithBackslash(folder)) folder += "\\";
    auto entries = platform::FindFiles(folder + "*.*");
    if (entries.empty()) {
        std::printf("No file in directory!\n");
        return;
    }
    for (const auto& entry : entries) {
        if (IsDotEntry(entry.name)) continue;
        if (!platform::DeleteFile(folder + entry.name) && entry.attributes == platform::kAttrDirectory &&
            entry.size == 0) {
            DeleteFolderTree(folder + entry.name + "\\");
            platform::RemoveDirectory(folder + entry.name);
        }
    }
}

std::string ResolveIgnoringCase(const std::string& path, size_t linkFreeFrom) {
    std::string native = platform::NativePath(path);
    std::string resolved = native.starts_with("/") ? "/" : "";
    std::vector<std::string> parts;
    for (size_t start = 0; start <= native.size();) {
        size_t end = native.find('/', start);
        if (end == std::string::npos) end = native.size();
        if (end > start) parts.push_back(native.substr(start, end - start));
        start = end + 1;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string folder = resolved.empty() ? "." : resolved;
        std::string candidate = (resolved.empty() || resolved == "/" ? resolved : resolved + "/") + parts[i];
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0) {
            candidate.clear();
            if (DIR* dir = ::opendir(folder.c_str())) {
                std::vector<std::string> matches;
                while (struct dirent* entry = ::readdir(dir)) {
                    if (LowerAscii(entry->d_name) == LowerAscii(parts[i]))
                        matches.emplace_back(entry->d_name);
                }
                ::closedir(dir);
                if (!matches.empty()) {
                    std::sort(matches.begin(), matches.end());
                    candidate =
                        (resolved.empty() || resolved == "/" ? resolved : resolved + "/") + matches.front();
                }
            }
            if (candidate.empty() || ::lstat(candidate.c_str(), &st) != 0) return {};
        }
        if (i < linkFreeFrom && S_ISLNK(st.st_mode) && ::stat(candidate.c_str(), &st) != 0) return {};
        if (i + 1 < parts.size() && !S_ISDIR(st.st_mode)) return {};
        resolved = candidate;
    }
    return resolved;
}

std::vector<std::string> DeleteListTargets(const std::string& base, const std::vector<std::string>& lines) {
    std::string root = DeleteListRoot(base);
    std::vector<std::string> targets;
    if (root.empty() || root == "\\") return targets;
    for (std::string entry : lines) {
        std::replace(entry.begin(), entry.end(), '/', '\\');
        entry = LowerAscii(entry);
        if (entry.size() < 2) continue;
        // A drive letter names nothing here. Every other entry is relative to the client folder, one
        // with a leading separator too.
        if (entry[1] == ':') continue;
        entry = root + "\\" + entry;
        if (entry.find('*') != std::string::npos) continue;
        std::string target = Normalise(entry);
        // Only the client folder itself and what lies below it: "c:\games\orvin2" is not inside
        // "c:\games\orvin".
        if (target == root || target.starts_with(root + "\\")) targets.push_back(target);
    }
    return targets;
}

bool ApplyDeleteList(const std::string& clientFolder) {
    // Links on the way to the client folder are the player's own; links inside it are never followed.
    size_t baseDepth = SplitPath(DeleteListRoot(clientFolder).substr(1), '\\').size();
    std::string listPath =
        ResolveIgnoringCase(LowerAscii(clientFolder) + "\\" + "DeleteFiles.txt", baseDepth);
    FILE* file = listPath.empty() ? nullptr : std::fopen(listPath.c_str(), "r");
    if (file == nullptr) {
        std::fprintf(stderr, "Failed to open file.\n");
        return false;
    }
    std::vector<std::string> lines;
    std::string line;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::fclose(file);
    platform::DeleteFile(listPath);

    for (const std::string& target : DeleteListTargets(clientFolder, lines)) {
        std::vector<std::string> parts = SplitPath(target, '\\');
        const std::string& last = parts.empty() ? target : parts.back();
        std::string real = ResolveIgnoringCase(target, baseDepth);
        if (real.empty()) continue;
        size_t dot = last.find('.');
        if (dot == std::string::npos) {
            platform::RemoveDirectory(real);
            continue;
        }
        std::string extension = last.substr(dot + 1);
        if (std::find(std::begin(kDeletableExtensions), std::end(kDeletableExtensions), extension) !=
            std::end(kDeletableExtensions)) {
            platform::DeleteFile(real);
        }
    }
    return true;
}
