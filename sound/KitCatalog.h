#pragma once

#include "sound/Kit.h"

#include <string>
#include <utility>
#include <vector>

// The kits a user has, and the one they chose last.
// - Hydrogen drumkits: every folder with a drumkit.xml in the user's
//   Hydrogen data ($HOME/.hydrogen/data/drumkits), Tamvolo's own kits folder
//   ($XDG_DATA_HOME/tamvolo/kits, by default ~/.local/share/tamvolo/kits) and
//   the system's ($XDG_DATA_DIRS' hydrogen/data/drumkits, by default
//   /usr/local/share and /usr/share), the first of a name winning;
// - SFZ files in Tamvolo's kits folder and its folders one level down.
// The choice is a line in $XDG_CONFIG_HOME/tamvolo/kit (the kit's file;
// empty: the built-in kit), written by the careful writer.
// Reads files; any thread but the audio thread.
class KitCatalog
{
public:
    struct Entry
    {
        std::string name;
        std::string author;
        std::string license;
        std::string path; // its drumkit.xml or .sfz
        int instruments = 0;
        int skipped = 0; // what its file describes that cannot be played
    };

    static std::vector<std::string> hydrogenFolders();
    static std::string ownFolder();
    // Every kit found, by name, its description read (not its samples).
    static std::vector<Entry> list();

    // The kit `what` names: a kit's file, a folder holding a drumkit.xml, or
    // the name of a kit list() finds (letter case aside). Empty: none.
    static std::string resolve(const std::string &what);
    // Reads the kit's file by its kind (drumkit.xml or .sfz).
    static bool read(const std::string &path, Kit &kit, std::string &why);

    // Whether `path` names a kit by its file (a .h2drumkit, a drumkit.xml,
    // an .sfz), as a file opened or dropped on the window would.
    static bool isKitFile(const std::string &path);

    // The drum keys the user gave another instrument of the kit of `path`:
    // (index of KitSounds::kKeys, the instrument's name; empty: the built-in
    // sound). A line per key and kit in $XDG_CONFIG_HOME/tamvolo/kit-keys.
    static std::vector<std::pair<int, std::string>> keysOf(const std::string &path);
    static bool rememberKey(const std::string &path, int index, const std::string &instrument);

    static std::string choiceFile();
    // The kit chosen last ("": the built-in one).
    static std::string chosen();
    static bool choose(const std::string &path);
};
