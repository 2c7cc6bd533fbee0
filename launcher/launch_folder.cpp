#include "launcher/launch_folder.h"

#include <cstdlib>
#include <cstring>

#include "launcher/play_runtime.h"

namespace {

const char FOLDER_NAME_FORMAT[] = "VRD%05u"; // an 8.3 name; the counter runs to 99999
const size_t FOLDER_NAME_LENGTH = 8;
const size_t FILE_NAME_ROOM = 12; // an 8.3 name, such as the show's or the player's
const size_t STOCK_FIRST_SIZE = 1024;
// Folders made from stored names nest no deeper than a path of 260 bytes allows.
const size_t STOCK_DEPTH_MAX = LAUNCH_FOLDER_PATH_MAX / 2;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct VisitContext {
    CLaunchFolder* folder;
    const char* parent;
    size_t depth;
    bool ok;
};

} // namespace

CLaunchFolder::CLaunchFolder() : m_path{}, m_stock(nullptr), m_used(0), m_size(0), m_listed(false) {}

CLaunchFolder::~CLaunchFolder() { std::free(m_stock); }

bool CLaunchFolder::Create(const char* parent) {
    const size_t length = std::strlen(parent);
    if (length == 0 || !IsSeparator(parent[length - 1])) return false;
    // The folder's name, its separator, an 8.3 file name and the NUL must fit behind it.
    if (length + FOLDER_NAME_LENGTH + 1 + FILE_NAME_ROOM + 1 > LAUNCH_FOLDER_PATH_MAX) return false;
    for (unsigned attempt = 0; attempt < LAUNCH_FOLDER_TRIES; ++attempt) {
        char path[LAUNCH_FOLDER_PATH_MAX];
        std::memcpy(path, parent, length);
        const int written = PlatFormatUnsigned(path + length, FOLDER_NAME_FORMAT, attempt);
        if (written <= 0) return false;
        // Made only when it did not exist: an existing folder, or a file, is someone else's.
        if (g_launchServices.makeFolder(path) != 0) continue;
        const size_t end = length + static_cast<size_t>(written);
        std::memcpy(m_path, path, end);
        m_path[end] = parent[length - 1]; // the separator the parent is spelt with
        m_path[end + 1] = '\0';
        return true;
    }
    return false;
}

bool CLaunchFolder::Add(char kind, const char* path) {
    const size_t need = std::strlen(path) + 2;
    if (m_used + need > m_size) {
        size_t size = m_size == 0 ? STOCK_FIRST_SIZE : m_size;
        while (m_used + need > size)
            size *= 2;
        char* grown = static_cast<char*>(std::realloc(m_stock, size));
        if (grown == nullptr) return false;
        m_stock = grown;
        m_size = size;
    }
    m_stock[m_used++] = kind;
    std::memcpy(m_stock + m_used, path, need - 1);
    m_used += need - 1;
    return true;
}

int CLaunchFolder::Visit(const char* name, void* context) {
    VisitContext* visit = static_cast<VisitContext*>(context);
    char path[LAUNCH_FOLDER_PATH_MAX];
    const size_t parentLength = std::strlen(visit->parent);
    const size_t nameLength = std::strlen(name);
    if (parentLength + nameLength + 1 > sizeof path) {
        visit->ok = false;
        return 1;
    }
    std::memcpy(path, visit->parent, parentLength);
    std::memcpy(path + parentLength, name, nameLength + 1);
    const int kind = g_launchServices.pathKind(path);
    if (kind == LAUNCH_PATH_FOLDER) {
        // Its separator must fit too.
        if (parentLength + nameLength + 2 > sizeof path) {
            visit->ok = false;
            return 1;
        }
        path[parentLength + nameLength] = visit->parent[parentLength - 1];
        path[parentLength + nameLength + 1] = '\0';
        if (!visit->folder->TakeStockOf(path, visit->depth + 1)) {
            visit->ok = false;
            return 1;
        }
        path[parentLength + nameLength] = '\0';
    }
    // A link is removed, never followed.
    const char letter = kind == LAUNCH_PATH_FOLDER ? 'd' : kind == LAUNCH_PATH_LINK ? 'l' : 'f';
    if (!visit->folder->Add(letter, path)) {
        visit->ok = false;
        return 1;
    }
    return 0;
}

bool CLaunchFolder::TakeStockOf(const char* folder, size_t depth) {
    if (depth > STOCK_DEPTH_MAX) return false;
    VisitContext context = {this, folder, depth, true};
    return g_launchServices.listFolder(folder, Visit, &context) == 0 && context.ok;
}

bool CLaunchFolder::TakeStock() {
    m_used = 0;
    m_listed = m_path[0] != '\0' && TakeStockOf(m_path, 0);
    return m_listed;
}

void CLaunchFolder::Remove() {
    if (m_path[0] == '\0' || !m_listed) return;
    for (size_t at = 0; at < m_used;) {
        const char kind = m_stock[at];
        const char* path = m_stock + at + 1;
        if (kind == 'd') {
            g_launchServices.removeFolder(path);
        } else {
            g_launchServices.removeFile(path);
        }
        at += std::strlen(path) + 2;
    }
    char folder[LAUNCH_FOLDER_PATH_MAX];
    const size_t length = std::strlen(m_path);
    std::memcpy(folder, m_path, length - 1);
    folder[length - 1] = '\0';
    g_launchServices.removeFolder(folder);
}
