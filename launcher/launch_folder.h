// The launch's own folder inside the temporary folder.
//
// Every launch extracts into a folder it has just made, under a name that did not
// exist: two launches at once, or files an earlier one left, never meet, and what
// stands in the folder when the extraction ends is what this launch wrote. That is
// taken stock of before the player starts, and removed afterwards, whole files or
// not, with the folder; what the player adds later is the player's, and the folder
// then stays.
#pragma once

#include <cstddef>

enum {
    LAUNCH_FOLDER_PATH_MAX = 260, // the longest path the launch uses, its NUL included
    LAUNCH_FOLDER_TRIES = 100000, // names tried before the launch gives up
};

class CLaunchFolder {
public:
    CLaunchFolder();
    ~CLaunchFolder(); // forgets the stock; removes nothing
    CLaunchFolder(const CLaunchFolder&) = delete;
    CLaunchFolder& operator=(const CLaunchFolder&) = delete;

    // Makes a new folder inside parent, a path that ends in a separator. false when
    // none can be made, or its path would leave no room for a file's name.
    bool Create(const char* parent);
    const char* Path() const { return m_path; } // ends in a separator; empty until made
    // Lists what the folder holds now, each folder after what it holds. false when it
    // cannot be read (nothing listed is then removed, and the folder stays).
    bool TakeStock();
    // Removes what the stock lists (read-only files too), then the folder, which
    // stays when anything else is left in it.
    void Remove();
    bool Listed() const { return m_listed; }

private:
    bool Add(char kind, const char* path);
    bool TakeStockOf(const char* folder, size_t depth);
    static int Visit(const char* name, void* context);

    char m_path[LAUNCH_FOLDER_PATH_MAX];
    char* m_stock; // entries of a kind byte ('f' file, 'd' folder, 'l' link) and a path, each NUL-ended
    size_t m_used; // bytes of m_stock in use
    size_t m_size; // bytes of m_stock
    bool m_listed; // TakeStock read the whole folder
};
