// libFuzzer target: any bytes as a .h2drumkit. Unpacking writes nothing
// outside the kits folder and no link, and leaves no hidden folder behind.
#include "sound/KitArchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QString root = QDir::tempPath() + QStringLiteral("/fuzz_kitarchive.%1").arg(::getpid());
    const QString kits = root + QStringLiteral("/kits");
    QDir(root).removeRecursively();
    QDir().mkpath(kits);
    QFile input(root + QStringLiteral("/in.h2drumkit"));
    if (!input.open(QIODevice::WriteOnly) ||
        input.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        __builtin_trap();
    input.close();
    std::string why;
    const std::string xml =
        KitArchive::unpack(input.fileName().toStdString(), kits.toStdString(), why, nullptr, {64, 1 << 20, 4 << 20});
    if (xml.empty() == why.empty() || (!xml.empty() && !QFileInfo(QString::fromStdString(xml)).isFile()))
        __builtin_trap();
    if (QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size() != 2)
        __builtin_trap(); // something beside the kits folder and the input
    QDirIterator it(kits, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink() || info.fileName().startsWith(QLatin1String(".unpacking-")) ||
            !info.canonicalFilePath().startsWith(kits + '/'))
            __builtin_trap();
    }
    return 0;
}
