// Settings files damaged as hand edits, crashes and other programs damage
// them, made from a seed so that a failing case can be made again.
#pragma once
#include <windows.h>
#include <string>

namespace tt {

// What a case is besides its text.
enum class IniCase {
    Text,       // a file with the text below
    Huge,       // the text padded to some 10 MB
    Folder,     // a folder of the settings file's name
    Locked,     // a file held open by another with no sharing
};

// A damaged copy of `good` (a well-formed settings text of the program):
// values out of range (2^31 and beyond, negative counts), texts of 10 000
// characters and random bytes, keys without values, sections twice, lines cut
// short, counts far above the entries present, the file cut anywhere.
std::string DamagedIni(const std::string &good, unsigned seed, IniCase *kind);

// Puts the case at `path`; the returned handle (or null) holds a locked file
// until it is closed. Removes what an earlier case left there.
HANDLE PlaceIni(const std::string &path, const std::string &text, IniCase kind);
void RemoveIni(const std::string &path);

// The seeds to run: TAVOLIN_SETTINGS_SEED alone when it is set, else `count`
// from TAVOLIN_SETTINGS_FIRST (default 1), count from TAVOLIN_SETTINGS_CASES
// when set.
unsigned FirstSeed();
unsigned SeedCount(unsigned fallback);

}  // namespace tt
