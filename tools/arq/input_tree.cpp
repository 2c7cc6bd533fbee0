// Walking the paths given to arq create.
#include "tools/arq/input_tree.h"

#include <algorithm>
#include <map>

#include "engine/archive.h"
#include "engine/extract.h"
#include "fileio/paths.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Joins a folder and a name with the separator the folder was written with.
std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder[folder.size() - 1];
    if (IsSeparator(last) || last == ':') return folder + name;
    const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    return folder + separator + name;
}

std::string Upper(const std::string& text) {
    std::string out = text;
    PathUpperCase(&out[0]);
    return out;
}

// Path text compared for sameness: separators unified, "." components and
// repeated separators dropped, letters upper-cased.
std::string Canonical(const std::string& path) {
    std::string out;
    std::string component;
    auto flush = [&]() {
        if (component.empty() || component == ".") {
            component.clear();
            return;
        }
        if (!out.empty()) out += '\\';
        out += component;
        component.clear();
    };
    for (char c : path) {
        if (IsSeparator(c)) {
            flush();
        } else {
            component += c;
        }
    }
    flush();
    if (!path.empty() && IsSeparator(path[0])) out = "\\" + out;
    return Upper(out);
}

struct Collector {
    const std::string* archive; // canonical path of the archive being written
    const std::string* named;   // the archive as named, to find it under another spelling or a link
    std::vector<InputFile>* files;
    int skipped;
    int failed; // exit code of the first failure; the walk stops
};

int AddNames(const char* name, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(name);
    return 0;
}

void Visit(Collector* c, const std::string& source, const std::string& stored, bool named);

void VisitFolder(Collector* c, const std::string& folder, const std::string& stored) {
    std::vector<std::string> names;
    if (PlatListFolder(folder.c_str(), AddNames, &names) != 0) {
        Complain("%s: cannot read the folder", folder.c_str());
        c->failed = ARQ_EXIT_IO;
        return;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (c->failed != ARQ_EXIT_OK) return;
        Visit(c, Join(folder, name), stored.empty() ? name : stored + "\\" + name, false);
    }
}

void Visit(Collector* c, const std::string& source, const std::string& stored, bool named) {
    PlatStatInfo info;
    if (PlatStat(source.c_str(), &info) != 0) {
        Complain("%s: no such file or folder", source.c_str());
        c->failed = named ? ARQ_EXIT_NOT_FOUND : ARQ_EXIT_IO;
        return;
    }
    if (info.mode & EXTRACT_MODE_FOLDER) {
        VisitFolder(c, source, stored);
        return;
    }
    if (!(info.mode & ARQ_MODE_REGULAR)) {
        Complain("%s: passed over: not a regular file", source.c_str());
        c->skipped = 1;
        return;
    }
    // The archive does not hold itself (nor the file it replaces, which is gone then).
    if (Canonical(source) == *c->archive || PlatSameFile(source.c_str(), c->named->c_str())) {
        Complain("%s: passed over: it is the archive being written", source.c_str());
        return;
    }
    const std::string problem = StoredNameProblem(stored);
    if (!problem.empty()) {
        Complain("%s: cannot be stored: %s", source.c_str(), problem.c_str());
        c->failed = ARQ_EXIT_USAGE;
        return;
    }
    if (info.size > ARQ_FILE_MAX) {
        Complain("%s: cannot be stored: larger than %s bytes", source.c_str(),
                 std::to_string(ARQ_FILE_MAX).c_str());
        c->failed = ARQ_EXIT_USAGE;
        return;
    }
    InputFile file;
    file.source = source;
    file.stored = Upper(stored); // as the engine will read it
    file.size = info.size;
    file.mtime = info.mtime;
    file.executable = (info.mode & ARQ_MODE_OWNER_EXECUTE) ? 1 : 0;
    c->files->push_back(file);
}

bool IsDeviceName(const std::string& component) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    // Windows takes a device name whatever follows its first dot.
    std::string base = Upper(component.substr(0, component.find('.')));
    while (!base.empty() && base[base.size() - 1] == ' ')
        base.resize(base.size() - 1);
    for (const char* device : kDevices) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

} // namespace

std::string StoredNameProblem(const std::string& stored) {
    if (stored.empty()) return "empty name";
    if (stored.size() > ENTRY_NAME_MAX) {
        return "its stored name " + stored + " is longer than " + std::to_string(ENTRY_NAME_MAX) + " bytes";
    }
    size_t start = 0;
    while (start <= stored.size()) {
        size_t end = stored.find('\\', start);
        if (end == std::string::npos) end = stored.size();
        const std::string component = stored.substr(start, end - start);
        if (component.find(':') != std::string::npos) return "the name " + component + " holds ':'";
        if (component.find('/') != std::string::npos) return "the name " + component + " holds '/'";
        if (IsDeviceName(component)) return component + " is a device name on Windows";
        start = end + 1;
    }
    // Whatever else the extraction refuses (a name of dots or blanks only, an empty
    // folder name) is refused here too.
    std::string upper = Upper(stored);
    if (!StoredNameSafe(upper.c_str())) return "the extraction would refuse the name " + stored;
    return std::string();
}

int CollectInputs(const std::vector<std::string>& paths, const std::string& archivePath,
                  std::vector<InputFile>* files, int* skipped) {
    const std::string archive = Canonical(archivePath);
    Collector c = {&archive, &archivePath, files, 0, ARQ_EXIT_OK};
    for (const std::string& path : paths) {
        PlatStatInfo info;
        if (PlatStat(path.c_str(), &info) != 0) {
            Complain("%s: no such file or folder", path.c_str());
            return ARQ_EXIT_NOT_FOUND;
        }
        if (info.mode & EXTRACT_MODE_FOLDER) {
            VisitFolder(&c, path, std::string());
        } else {
            // A file is stored under its own name, whatever folders lead to it.
            std::string trimmed = path;
            size_t at = trimmed.size();
            while (at > 0 && !IsSeparator(trimmed[at - 1]) && trimmed[at - 1] != ':')
                at--;
            Visit(&c, path, trimmed.substr(at), true);
        }
        if (c.failed != ARQ_EXIT_OK) return c.failed;
    }
    // The engine folds a..z when it reads a name, so names differing only there clash.
    std::map<std::string, std::string> seen;
    for (const InputFile& file : *files) {
        const std::string key = Upper(file.stored);
        auto found = seen.find(key);
        if (found != seen.end()) {
            Complain("%s and %s would both be stored as %s", found->second.c_str(), file.source.c_str(),
                     key.c_str());
            return ARQ_EXIT_USAGE;
        }
        seen[key] = file.source;
    }
    *skipped = c.skipped;
    return ARQ_EXIT_OK;
}
