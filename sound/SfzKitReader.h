#pragma once

#include "sound/Kit.h"

#include <string>
#include <string_view>

// Reads an SFZ file as a kit: `<control>`, `<global>`, `<group>` and
// `<region>` headers, each region taking what the headers above it set;
// `sample`, `key`/`lokey`/`hikey`, `lovel`/`hivel`, `seq_length`/
// `seq_position`, `group`/`off_by`, `volume` (dB), `amp_velcurve_N`, `pan`,
// `tune` (cents)/`transpose`, `default_path`; notes as numbers or names
// ("c4" is 60, "c#4", "db4"). Opcodes it does not know are skipped and
// counted (Kit::unknownOpcodes); a region without a sample, or whose sample
// leaves the file's folder, is said in Kit::skipped.
//
// Each key a region covers is an instrument (named by its file and note);
// regions of one key are its layers, all sounding where their ranges
// overlap, as SFZ plays them. Plain C++; any thread.
class SfzKitReader
{
public:
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;
    static constexpr int kMaxRegions = 4096;

    // `folder`: where sample paths are relative to (ends with '/').
    static bool read(std::string_view text, const std::string &folder, Kit &kit, std::string &why);
    static bool readFile(const std::string &path, Kit &kit, std::string &why);
};
