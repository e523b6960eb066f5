#pragma once

#include "sound/Kit.h"

#include <string>
#include <string_view>

// Reads a Hydrogen drumkit: the `drumkit.xml` beside its samples. Both forms
// kits come in: instruments whose layers (`<layer>`: `<min>`/`<max>` velocity
// as 0..1, `<gain>`, `<pitch>`, `<filename>`) sit in `<instrumentComponent>`
// or directly in the instrument, and the older instruments of one
// `<filename>`; `<volume>`, `<gain>`, `<pan>` or `<pan_L>`/`<pan_R>`,
// `<pitchOffset>`, `<muteGroup>`, `<midiOutNote>` and
// `<sampleSelectionAlgo>` (ROUND_ROBIN and RANDOM both play the takes in
// turn).
//
// A kit loads what it can: an instrument without a sound is left out and a
// file name that leaves the kit's folder is refused, each said in
// Kit::skipped; a note several instruments claim is none of theirs. A document with
// a DTD (entities), nested deeper than kMaxDepth or larger than kMaxBytes is
// no kit. Plain C++ over Qt's XML reader; any thread.
class HydrogenKitReader
{
public:
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;
    static constexpr int kMaxDepth = 16;
    static constexpr int kMaxInstruments = 256;
    static constexpr int kMaxLayers = 32;

    // `folder`: where the file names are relative to (ends with '/'). Null
    // `why` stays empty on success.
    static bool read(std::string_view xml, const std::string &folder, Kit &kit, std::string &why);
    // The same for a drumkit.xml file (or the folder holding one).
    static bool readFile(const std::string &path, Kit &kit, std::string &why);
};
