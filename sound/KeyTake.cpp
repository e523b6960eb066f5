#include "sound/KeyTake.h"

#include "files/CarefulReader.h"
#include "files/WavEncoder.h"
#include "keys/Cp1252.h"
#include "sound/SampleIndex.h"
#include "sound/WavLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kKeptPrefix = QStringLiteral("ripresa-non-salvata-");

// Beside the user's sample folder, so that it never plays as a sample.
QString keptFolder(const std::string &userFolder)
{
    return userFolder.empty() ? QString() : QDir::cleanPath(QString::fromStdString(userFolder) + "/..");
}

} // namespace

KeyTake::KeyTake(std::function<std::string()> userFolder)
    : m_userFolder(std::move(userFolder))
{}

void KeyTake::chooseKey(std::uint8_t code, const QString &file)
{
    m_code = code;
    m_file = file;
    setTake({}, {});
}

void KeyTake::setTake(std::vector<float> recorded, TakeEditor::Span kept)
{
    m_recorded = std::move(recorded);
    keep(kept);
}

void KeyTake::keep(TakeEditor::Span kept)
{
    m_kept = m_recorded.empty() ? std::vector<float>() : TakeEditor::edit(m_recorded, kept);
    m_wav = m_kept.empty() ? std::string() : WavEncoder::encode16(m_kept, 1, TakeEditor::kRate);
    m_saved = false;
}

QString KeyTake::userFile() const
{
    const std::string folder = m_userFolder ? m_userFolder() : std::string();
    if (folder.empty() || m_file.isEmpty())
        return {};
    return QString::fromStdString(folder) + m_file;
}

QString KeyTake::userFilePlaying() const
{
    const std::string folder = m_userFolder ? m_userFolder() : std::string();
    if (folder.empty() || m_file.isEmpty())
        return {};
    SampleIndex index(folder, SampleIndex::Reading::Here);
    const auto found = index.resolve(folder + m_file.toStdString());
    return found ? QString::fromStdString(*found) : QString();
}

KeyTake::Saved KeyTake::save()
{
    const QString path = userFile();
    const QString earlier = userFilePlaying();
    // The player plays no links, and the folder is the user's: a link there
    // is replaced. The bytes heard are the bytes saved.
    const QString target = earlier.isEmpty() ? path : earlier;
    const CarefulWriter::Result result = QDir().mkpath(QFileInfo(path).absolutePath())
        ? CarefulWriter::write(QFile::encodeName(target).toStdString(), m_wav, CarefulWriter::Links::Replace)
        : CarefulWriter::Result::NotAllowed;
    if (result == CarefulWriter::Result::Written)
        m_saved = true;
    return {target, result};
}

QString KeyTake::restore()
{
    QString playing = userFilePlaying();
    for (int removed = 0; !playing.isEmpty() && removed < 16; ++removed) {
        if (!QFile::remove(playing))
            return playing;
        playing = userFilePlaying();
    }
    // The take stays saved: one just saved and now removed was chosen to go,
    // and is not asked about again; an unsaved one still is.
    return {};
}

bool KeyTake::keepUnsaved() const
{
    const QString folder = keptFolder(m_userFolder ? m_userFolder() : std::string());
    if (!unsaved() || folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    const QString path = folder + '/' + kKeptPrefix + QString::number(m_code) + ".wav";
    return CarefulWriter::write(path.toStdString(), m_wav) == CarefulWriter::Result::Written;
}

QString KeyTake::keptTake(const std::string &userFolder)
{
    const QString folder = keptFolder(userFolder);
    if (folder.isEmpty())
        return {};
    const QStringList found = QDir(folder).entryList({kKeptPrefix + "*.wav"}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : folder + '/' + found.front();
}

QString KeyTake::keptTake() const
{
    return keptTake(m_userFolder ? m_userFolder() : std::string());
}

std::optional<std::uint8_t> KeyTake::takeBackKept(const std::function<QString(std::uint8_t)> &keyFile)
{
    const QString path = keptTake();
    bool known = false;
    const int code = QFileInfo(path).completeBaseName().mid(kKeptPrefix.size()).toInt(&known);
    std::string bytes;
    const bool read = known && code > 0 && code < 256 &&
        CarefulReader::read(path.toStdString(), bytes, std::size_t(WavLoader::kMaxFileBytes)) ==
            CarefulReader::Result::Read;
    const auto sound = read ? WavLoader::decode(bytes.data(), bytes.size(), TakeEditor::kRate) : nullptr;
    const std::uint8_t key = Cp1252::toUpper(std::uint8_t(code));
    const QString file = sound && sound->channels == 1 ? keyFile(key) : QString();
    if (file.isEmpty())
        return std::nullopt;
    chooseKey(key, file);
    m_recorded = sound->samples;
    m_kept = m_recorded;
    m_wav = std::move(bytes);
    m_saved = false;
    QFile::remove(path);
    return key;
}
