#pragma once

#include "files/CarefulWriter.h"
#include "sound/TakeEditor.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The recorder's take for one key, without a window: the key and its sample
// file, the take as recorded and the part of it kept, its bytes as they are
// heard and saved, whether they are saved; and what it does in the user's
// sample folder: save the take, remove the user's file so that the
// program's plays again, keep an unsaved take beside the folder for the
// next start and take it back then.
//
// The UI thread; each file action blocks for one small file.
class KeyTake
{
public:
    // `userFolder` tells the user's sample folder (empty: there is none).
    explicit KeyTake(std::function<std::string()> userFolder);

    // The key chosen (Windows-1252, upper case) and its one sample file;
    // what was taken for another key goes.
    void chooseKey(std::uint8_t code, const QString &file);
    std::uint8_t code() const { return m_code; }
    const QString &file() const { return m_file; }

    // A new take, as recorded, with the part kept (none: no take).
    void setTake(std::vector<float> recorded, TakeEditor::Span kept);
    // Another part of the take kept: to save again.
    void keep(TakeEditor::Span kept);
    const std::vector<float> &recorded() const { return m_recorded; }
    // The part kept, as it plays, and its WAV bytes, as they are heard and saved.
    const std::vector<float> &kept() const { return m_kept; }
    const std::string &wav() const { return m_wav; }
    bool hasTake() const { return !m_kept.empty(); }
    // A take there is, and not saved: it may not go without a question.
    bool unsaved() const { return hasTake() && !m_saved; }

    // The user's file for the key, and the one that plays now (letter case
    // and accents as the player finds it: K.WAV for k.wav), or empty.
    QString userFile() const;
    QString userFilePlaying() const;

    // Writes the take over the file that plays now, else under its own name
    // (the folder made where needed); a link there is replaced, not
    // followed. What was written to, and how it went.
    struct Saved
    {
        QString path;
        CarefulWriter::Result result = CarefulWriter::Result::Written;
    };
    Saved save();
    // Removes every file of the user's that would answer for the key (k.wav,
    // then K.WAV...), so that the program's sample plays again: empty where
    // that is done, else the file that could not be removed.
    QString restore();

    // The program ends where nobody can be asked: an unsaved take is kept
    // beside the user's sample folder ("ripresa-non-salvata-CODE.wav").
    // False where there was none or it could not be written.
    bool keepUnsaved() const;
    // A take kept so, waiting in the folder beside `userFolder`: its path.
    static QString keptTake(const std::string &userFolder);
    // The same, beside the folder this take's user has now.
    QString keptTake() const;
    // The kept take read back: its key, and the take (all of it kept,
    // unsaved); its file is gone. None, and the file left for the user to
    // look at, where it is not a take of ours (`keyFile` tells a key's one
    // sample file, empty where it has none).
    std::optional<std::uint8_t> takeBackKept(const std::function<QString(std::uint8_t)> &keyFile);

private:
    std::function<std::string()> m_userFolder;
    std::uint8_t m_code = 0;
    QString m_file;
    std::vector<float> m_recorded;
    std::vector<float> m_kept;
    std::string m_wav;
    bool m_saved = false;
};
