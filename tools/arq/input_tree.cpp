// Walking the paths given to arq create.
#include "tools/arq/input_tree.h"

#include <algorithm>
#include <map>

#include "engine/engine.h"
#include "fileio/paths.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"
#include "tools/arq/text.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Joins a folder and a name with the separator the folder was written with.
std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (AfterLastSeparator(folder, folder.size(), true) == folder.size()) return folder + name;
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
    for (size_t at = 0; at < path.size(); at++) {
        const char c = path[at];
        if (IsSeparator(c)) {
            flush();
        } else if (PlatIsLeadByte(static_cast<unsigned char>(c)) && at + 1 < path.size()) {
            component += c;
            component += path[++at]; // a trail byte may look like '\\'
        } else {
            component += c;
        }
    }
    flush();
    if (!path.empty() && IsSeparator(path[0])) out = "\\" + out;
    return Upper(out);
}

struct Collector {
    const std::string* archive;      // canonical path of the archive being written
    const std::string* archive_path; // as named, to find it under another spelling or a link
    const CollectOptions* options;
    std::vector<InputFile>* files;
    std::vector<std::string> folders; // the folders being walked, outermost first
    // The times of the folders that stored names hold, outermost first, and whether a
    // file already carries them.
    std::vector<std::pair<int64_t, bool>> stored_folders;
    int skipped; // things passed over, each with a message
    int empty_folders;
    int failed; // exit code of the first failure; the walk stops
};

int AddNames(const char* name, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(name);
    return 0;
}

void Visit(Collector* c, const std::string& source, const std::string& stored, bool named);

// Whether a file's own name (which holds no '/') as the host spells it holds '\\',
// which the platform, like the archive, takes for a folder separator: such a file
// cannot be reached by its name.
bool HoldsBackslash(const std::string& name) { return AfterLastSeparator(name, name.size(), false) != 0; }

struct NameSought {
    std::string name;
    bool found;
};

int FindName(const char* name, void* context) {
    NameSought* sought = static_cast<NameSought*>(context);
    sought->found = sought->found || sought->name == name;
    return sought->found ? 1 : 0;
}

// A path given on the command line that names nothing: whether its folder lists a file
// whose own name is the text behind the last '/', '\\' and all.
bool NamesFileWithBackslash(const std::string& path) {
    const size_t slash = path.rfind('/');
    NameSought sought = {slash == std::string::npos ? path : path.substr(slash + 1), false};
    if (!HoldsBackslash(sought.name)) return false;
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    PlatListFolder(folder.c_str(), FindName, &sought);
    return sought.found;
}

const char BACKSLASH_NAME[] = "its name holds '\\', which is taken for a folder separator (rename it)";

// Why a path that was named or listed cannot be opened; empty when nothing stands there.
std::string WhyUnreachable(const std::string& source, bool named) {
    if (PlatLinkLoops(source.c_str())) return "a link that leads round in a circle";
    if (PlatIsLink(source.c_str())) return "a link to nothing";
    if (named && NamesFileWithBackslash(source)) return BACKSLASH_NAME;
    return named ? std::string() : "gone while the folder was read";
}

void VisitFolder(Collector* c, const std::string& folder, const std::string& stored, int64_t mtime) {
    // A link back to a folder being walked would be walked for ever.
    for (const std::string& outer : c->folders) {
        if (PlatSameFile(outer.c_str(), folder.c_str())) {
            Complain("%s: passed over: a link to %s, which holds it", folder.c_str(), outer.c_str());
            c->skipped++;
            return;
        }
    }
    std::vector<std::string> names;
    if (PlatListFolder(folder.c_str(), AddNames, &names) != 0) {
        Complain("%s: passed over: cannot read the folder", folder.c_str());
        c->skipped++;
        return;
    }
    if (names.empty()) {
        c->empty_folders++;
        return;
    }
    std::sort(names.begin(), names.end());
    c->folders.push_back(folder);
    // "." and the root add no folder to the stored names.
    if (!stored.empty()) c->stored_folders.push_back(std::make_pair(mtime, false));
    for (const std::string& name : names) {
        if (c->failed != ARQ_EXIT_OK) break;
        // Asked for by its path, such a file would not be found, or another found.
        if (HoldsBackslash(name)) {
            Complain("%s: passed over: %s", Join(folder, name).c_str(), BACKSLASH_NAME);
            c->skipped++;
            continue;
        }
        Visit(c, Join(folder, name), stored.empty() ? name : stored + "\\" + name, false);
    }
    c->folders.pop_back();
    if (!stored.empty()) c->stored_folders.pop_back();
}

void Visit(Collector* c, const std::string& source, const std::string& stored, bool named) {
    PlatStatInfo info;
    if (PlatStat(source.c_str(), &info) != 0) {
        const std::string why = WhyUnreachable(source, named);
        if (why.empty()) {
            Complain("%s: no such file or folder", source.c_str());
            c->failed = ARQ_EXIT_NOT_FOUND;
            return;
        }
        Complain("%s: passed over: %s", source.c_str(), why.c_str());
        c->skipped++;
        return;
    }
    if (info.mode & PLAT_MODE_FOLDER) {
        VisitFolder(c, source, stored, info.mtime);
        return;
    }
    if (!(info.mode & PLAT_MODE_FILE)) {
        Complain("%s: passed over: not a regular file", source.c_str());
        c->skipped++;
        return;
    }
    // The archive does not hold itself (nor the file it replaces, which is gone then).
    if (Canonical(source) == *c->archive || PlatSameFile(source.c_str(), c->archive_path->c_str())) {
        Complain("%s: passed over: it is the archive being written", source.c_str());
        return;
    }
    if (PlatAccess(source.c_str(), ARQ_ACCESS_READ) != 0) {
        Complain("%s: passed over: cannot be read", source.c_str());
        c->skipped++;
        return;
    }
    InputFile file;
    const std::string problem = StoredNameOf(stored, c->options->code_page, c->options->keep_case, &file);
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
    file.source = source;
    file.size = info.size;
    file.mtime = info.mtime;
    file.executable = (info.mode & PLAT_MODE_OWNER_EXECUTE) ? 1 : 0;
    file.name_case =
        static_cast<uint8_t>(c->options->keep_case ? NAME_CASE_KEEP : static_cast<int>(WRITER_NAME_CASE));
    // Written once for each folder: on the first file stored from it.
    bool unwritten = false;
    for (const auto& folder : c->stored_folders)
        unwritten = unwritten || !folder.second;
    for (auto& folder : c->stored_folders) {
        if (unwritten) file.folder_times.push_back(folder.first);
        folder.second = true;
    }
    c->files->push_back(file);
}

// The name a named path is stored under: its last component, none for "." or "..",
// a root or a bare drive, whose contents go in without a folder of their own.
std::string OwnName(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && AfterLastSeparator(path, end, false) == end)
        end--;
    const size_t at = AfterLastSeparator(path, end, true);
    const std::string name = path.substr(at, end - at);
    return name == "." || name == ".." ? std::string() : name;
}

bool IsAbsolute(const std::string& path) {
    return (!path.empty() && IsSeparator(path[0])) || (path.size() >= 2 && path[1] == ':');
}

// Names that the extraction would write to one file: the same name, or with
// --keep-case names differing only in letter case, which Windows does not tell apart
// either but which are stored as asked. Every clash is named. ARQ_EXIT_OK or the code.
int CheckClashes(const Collector& c) {
    const unsigned before = PlatCodePage();
    PlatSetCodePage(c.options->code_page);
    std::map<std::string, size_t> exact;
    std::map<std::string, size_t> folded;
    int clashes = 0;
    int caseTwins = 0;
    for (size_t i = 0; i < c.files->size(); i++) {
        const std::string& stored = (*c.files)[i].stored;
        auto found = exact.find(stored);
        if (found != exact.end()) {
            Complain("%s and %s would both be stored as %s", (*c.files)[found->second].source.c_str(),
                     (*c.files)[i].source.c_str(), ShownHostName((*c.files)[i].shown).c_str());
            clashes++;
            continue;
        }
        exact[stored] = i;
        if (!folded.insert(std::make_pair(Upper(stored), i)).second) caseTwins++;
    }
    PlatSetCodePage(before);
    if (clashes > 0) {
        if (clashes > 1) Complain("%d names clash; nothing was written", clashes);
        return ARQ_EXIT_USAGE;
    }
    if (caseTwins > 0) {
        Complain(
            "%d name%s differ%s from another only in letter case: extracted on Windows, one "
            "replaces the other",
            caseTwins, caseTwins == 1 ? "" : "s", caseTwins == 1 ? "s" : "");
    }
    return ARQ_EXIT_OK;
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

std::string StoredNameOf(const std::string& host, unsigned codePage, int keepCase, InputFile* file) {
    // The engine's upper-casing and its name checks pass over double-byte characters,
    // so they run in the archive's code page.
    const unsigned before = PlatCodePage();
    PlatSetCodePage(codePage);
    std::string problem;
    std::vector<char> converted(host.size() + 1);
    if (PlatNameFromHost(host.c_str(), converted.data(), static_cast<uint32_t>(converted.size())) < 0) {
        problem = "code page " + std::to_string(codePage) + " cannot hold its name " + host;
    } else {
        file->stored = converted.data();
        problem = StoredNameProblem(file->stored);
        if (!keepCase) file->stored = Upper(file->stored);
    }
    PlatSetCodePage(before);
    // The engine upper-cases a..z only, which the host's spelling holds as the same bytes.
    file->shown = host;
    if (!keepCase) {
        for (char& letter : file->shown)
            letter = static_cast<char>(CharUpperAZ(static_cast<unsigned char>(letter)));
    }
    return problem;
}

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
                  const CollectOptions& options, std::vector<InputFile>* files, int* skipped) {
    const std::string archive = Canonical(archivePath);
    if (!options.directory.empty() && !PathIsFolder(options.directory)) {
        Complain("%s: no such folder", options.directory.c_str());
        return ARQ_EXIT_NOT_FOUND;
    }
    Collector c;
    c.archive = &archive;
    c.archive_path = &archivePath;
    c.options = &options;
    c.files = files;
    c.skipped = 0;
    c.empty_folders = 0;
    c.failed = ARQ_EXIT_OK;
    for (const std::string& path : paths) {
        const std::string source =
            options.directory.empty() || IsAbsolute(path) ? path : Join(options.directory, path);
        Visit(&c, source, OwnName(path), true);
        if (c.failed != ARQ_EXIT_OK) return c.failed;
    }
    const int code = CheckClashes(c);
    if (code != ARQ_EXIT_OK) return code;
    if (c.empty_folders > 0) {
        Complain("%d empty folder%s not stored: an archive holds files only", c.empty_folders,
                 c.empty_folders == 1 ? "" : "s");
    }
    *skipped = c.skipped;
    return ARQ_EXIT_OK;
}
