// libFuzzer target: any bytes as a pattern file.
#include "services/PatternFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString pattern = PatternFile::parse(reinterpret_cast<const char *>(data), size);
    if (pattern.size() > PatternFile::kMaxChars || pattern.contains(QLatin1Char('\r')) ||
        pattern.contains(QLatin1Char('\n')))
        __builtin_trap();
    return 0;
}
