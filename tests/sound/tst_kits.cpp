#include "audio/AudioEngine.h"
#include "audio/core/NoteTable.h"
#include "sound/HydrogenKitReader.h"
#include "sound/KitArchive.h"
#include "sound/KitCatalog.h"
#include "sound/KitLoader.h"
#include "sound/KitSampleDecoder.h"
#include "sound/KitSounds.h"
#include "sound/SampleService.h"
#include "sound/SfzKitReader.h"
#include "sound/SoundBank.h"
#include "support/WavBytes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>
#include <sndfile.h>

#include <cmath>
#include <mutex>

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// "name:min-max:take:pan:group" of each layer, a line an instrument.
QString described(const Kit &kit)
{
    QStringList lines;
    for (const Kit::Instrument &i : kit.instruments) {
        QString line = QString::fromStdString(i.name) +
            QStringLiteral(" note %1 pan %2 group %3 cut by %4:")
                .arg(i.note)
                .arg(double(i.pan))
                .arg(i.group)
                .arg(i.chokedBy.empty() ? 0 : i.chokedBy.front());
        for (const Kit::Layer &l : i.layers)
            line += QStringLiteral(" %1 %2-%3 take %4 gain %5 pitch %6")
                        .arg(QString::fromStdString(l.file.substr(l.file.rfind('/') + 1)))
                        .arg(l.minVelocity)
                        .arg(l.maxVelocity)
                        .arg(l.roundRobin)
                        .arg(double(l.gain), 0, 'g', 3)
                        .arg(double(l.pitch));
        lines << line;
    }
    return lines.join('\n');
}

// A .h2drumkit of `entries`: "name=bytes", "name/" a folder, "name->target" a link.
bool pack(const QString &path, const QList<QByteArray> &entries)
{
    archive *a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    bool ok = archive_write_open_filename(a, path.toLocal8Bit().constData()) == ARCHIVE_OK;
    for (const QByteArray &e : entries) {
        archive_entry *entry = archive_entry_new();
        const qsizetype equals = e.indexOf('='), arrow = e.indexOf("->");
        const bool link = arrow >= 0 && (equals < 0 || arrow < equals);
        const QByteArray name = e.left(link ? arrow : equals);
        const QByteArray data = equals < 0 || link ? QByteArray() : e.mid(equals + 1);
        archive_entry_set_pathname(entry, (name.isEmpty() ? e : name).constData());
        archive_entry_set_perm(entry, 0644);
        if (link) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, e.mid(arrow + 2).constData());
        } else if (e.endsWith('/')) {
            archive_entry_set_filetype(entry, AE_IFDIR);
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, data.size());
        }
        ok = ok && archive_write_header(a, entry) == ARCHIVE_OK &&
            archive_write_data(a, data.constData(), std::size_t(data.size())) == data.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

// Every file and folder under `folder`, relative, sorted.
QStringList tree(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

const QByteArray kKitXml =
    QByteArrayLiteral("<drumkit_info><name>Scatola</name><instrumentList>"
                      "<instrument><name>Kick</name><midiOutNote>36</midiOutNote><layer><min>0</min><max>1</max>"
                      "<filename>kick.wav</filename></layer></instrument>"
                      "<instrument><name>Snare</name><midiOutNote>38</midiOutNote><layer><min>0</min><max>1</max>"
                      "<filename>snare.wav</filename></layer></instrument></instrumentList></drumkit_info>");

} // namespace

// Kits as users have them: Hydrogen drumkits and SFZ files, read; which
// layer a hit plays; their samples decoded in every format kits ship; the
// seven drum keys finding their instruments.
class TestKits : public QObject
{
    Q_OBJECT

private slots:
    void aHydrogenKitReadsAsItsFileSays_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("read"); // described(), or "!" and why not
        QTest::addColumn<int>("skipped");
        const QByteArray head = "<?xml version='1.0'?><drumkit_info><name>K</name><instrumentList>";
        const QByteArray tail = "</instrumentList></drumkit_info>";
        QTest::newRow("layers in a component: velocities from 0..1, gains, pitches, the pan, a mute group")
            << head +
                "<instrument><name>Snare</name><pan>-0.5</pan><volume>0.5</volume><muteGroup>2</muteGroup>"
                "<midiOutNote>38</midiOutNote><instrumentComponent><gain>2</gain>"
                "<layer><filename>soft.wav</filename><min>0</min><max>0.5</max><gain>1</gain><pitch>1</pitch></layer>"
                "<layer><filename>hard.flac</filename><min>0.5</min><max>1</max><gain>0.5</gain></layer>"
                "</instrumentComponent></instrument>" +
                tail
            << "Snare note 38 pan -0.5 group 3 cut by 3: soft.wav 1-64 take 0 gain 1 pitch 1 hard.flac 64-127 take 0 "
               "gain 0.5 pitch 0"
            << 0;
        QTest::newRow("the older form: one file, pan_L and pan_R, takes in turn")
            << head +
                "<instrument><name>Kick</name><filename>k.wav</filename><pan_L>1</pan_L><pan_R>0.5</pan_R></instrument>"
                "<instrument><name>Hat</name><sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>"
                "<layer><filename>a.wav</filename></layer><layer><filename>b.wav</filename></layer></instrument>" +
                tail
            << "Kick note -1 pan -0.5 group 0 cut by 0: k.wav 1-127 take 0 gain 1 pitch 0\n"
               "Hat note -1 pan 0 group 0 cut by 0: a.wav 1-127 take 1 gain 1 pitch 0 b.wav 1-127 take 2 gain 1 pitch 0"
            << 0;
        QTest::newRow("an instrument without a sample and a file out of the folder are skipped, said") << head +
                "<instrument><name>Empty</name></instrument><instrument><name>Out</name><filename>../../etc/x.wav"
                "</filename></instrument><instrument><name>Ok</name><filename>sub/ok.wav</filename></instrument>" +
                tail << "Ok note -1 pan 0 group 0 cut by 0: ok.wav 1-127 take 0 gain 1 pitch 0" << 2;
        QTest::newRow("a note several instruments claim is none of theirs")
            << head +
                "<instrument><name>A</name><filename>a.wav</filename><midiOutNote>60</midiOutNote></instrument>"
                "<instrument><name>B</name><filename>b.wav</filename><midiOutNote>60</midiOutNote></instrument>" +
                tail
            << "A note -1 pan 0 group 0 cut by 0: a.wav 1-127 take 0 gain 1 pitch 0\n"
               "B note -1 pan 0 group 0 cut by 0: b.wav 1-127 take 0 gain 1 pitch 0"
            << 0;
        QTest::newRow("entities are refused")
            << QByteArray("<?xml version='1.0'?><!DOCTYPE d [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;'>]>"
                          "<drumkit_info><name>&b;</name></drumkit_info>")
            << "!" << 0;
        QTest::newRow("a document nested too deep is refused") << QByteArray("<drumkit_info>") +
                QByteArray("<a>").repeated(100) + QByteArray("</a>").repeated(100) +
                QByteArray("</drumkit_info>") << "!" << 0;
        QTest::newRow("broken XML is refused") << head + "<instrument><name>x"
                                               << "!" << 0;
    }

    void aHydrogenKitReadsAsItsFileSays()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, read);
        QFETCH(int, skipped);
        Kit kit;
        std::string why;
        const bool ok = HydrogenKitReader::read(xml.toStdString(), "/kits/k/", kit, why);
        QCOMPARE(ok, read != QLatin1String("!"));
        if (!ok) {
            QVERIFY(!why.empty());
            return;
        }
        QCOMPARE(described(kit), read);
        QCOMPARE(int(kit.skipped.size()), skipped);
        for (const Kit::Instrument &i : kit.instruments)
            for (const Kit::Layer &l : i.layers)
                QVERIFY(l.file.rfind("/kits/k/", 0) == 0);
    }

    void anSfzFileReadsAsItsRegionsSay_data()
    {
        QTest::addColumn<QByteArray>("sfz");
        QTest::addColumn<QString>("read");
        QTest::addColumn<int>("unknown");
        QTest::newRow("velocity layers, round robin, off_by, pan, tune; comments and unknown opcodes")
            << QByteArray("// a kit\n<control> default_path=smp/\n<group> key=42 group=1 off_by=2 pan=-100\n"
                          "<region> sample=hat soft.wav hivel=63 seq_length=2 seq_position=1 cutoff=300\n"
                          "<region> sample=hat soft 2.wav hivel=63 seq_length=2 seq_position=2\n"
                          "<region> sample=hat hard.wav lovel=64 tune=-50 volume=-6 /* loud */\n"
                          "<group> key=c#4 group=2\n<region> sample=open.flac amp_velcurve_127=1\n")
            << "hat soft note 42 pan -1 group 1 cut by 2: hat soft.wav 1-63 take 1 gain 1 pitch 0 hat soft 2.wav 1-63 "
               "take 2 gain 1 pitch 0 hat hard.wav 64-127 take 0 gain 0.501 pitch -0.5\n"
               "open note 61 pan 0 group 2 cut by 0: open.flac 1-127 take 0 gain 1 pitch 0"
            << 1;
        QTest::newRow("a region over keys plays its sample a semitone a key; one out of the folder is skipped")
            << QByteArray("<region> sample=tom.wav lokey=47 hikey=48 pitch_keycenter=47\n"
                          "<region> sample=../../x.wav key=36\n<region> key=37\n")
            << "tom 47 note 47 pan 0 group 0 cut by 0: tom.wav 1-127 take 0 gain 1 pitch 0\n"
               "tom 48 note 48 pan 0 group 0 cut by 0: tom.wav 1-127 take 0 gain 1 pitch 1"
            << 0;
    }

    void anSfzFileReadsAsItsRegionsSay()
    {
        QFETCH(QByteArray, sfz);
        QFETCH(QString, read);
        QFETCH(int, unknown);
        Kit kit;
        std::string why;
        QVERIFY(SfzKitReader::read(sfz.toStdString(), "/kits/", kit, why));
        QCOMPARE(described(kit), read);
        QCOMPARE(kit.unknownOpcodes, unknown);
    }

    void aHitPicksItsLayer_data()
    {
        QTest::addColumn<bool>("stacked");
        QTest::addColumn<int>("velocity");
        QTest::addColumn<std::vector<int>>("turns"); // the layers picked at turns 0, 1, 2...
        // Layers: 0 soft 1-40, 1 medium 41-100, 2 and 3 hard takes 101-127, 4 an empty range.
        QTest::newRow("a soft hit plays the soft layer") << false << 20 << std::vector<int>{0, 0};
        QTest::newRow("a hard hit plays the hard takes in turn") << false << 120 << std::vector<int>{2, 3, 2};
        QTest::newRow("stacked, a medium hit plays its range alone") << true << 60 << std::vector<int>{1};
    }

    void aHitPicksItsLayer()
    {
        QFETCH(bool, stacked);
        QFETCH(int, velocity);
        QFETCH(std::vector<int>, turns);
        NoteTable::Entry entry;
        const std::array<std::array<int, 3>, 5> layers = {
            {{1, 40, 0}, {41, 100, 0}, {101, 127, 1}, {101, 127, 2}, {90, 80, 0}}};
        for (const auto &[lo, hi, take] : layers)
            entry.layers[std::size_t(entry.layerCount++)] =
                NoteTable::Layer{nullptr, std::uint8_t(lo), std::uint8_t(hi), std::uint8_t(take), 1.0f, nullptr};
        entry.stacked = stacked;
        for (std::size_t turn = 0; turn < turns.size(); ++turn) {
            std::array<int, NoteTable::kMaxStacked> picked{};
            QCOMPARE(entry.pick(velocity, unsigned(turn), picked), 1);
            QCOMPARE(picked[0], turns[turn]);
        }
    }

    void aVelocityNoRangeHoldsPlaysTheNearest()
    {
        NoteTable::Entry entry;
        entry.layers[0] = NoteTable::Layer{nullptr, 30, 60, 0, 1.0f, nullptr};
        entry.layers[1] = NoteTable::Layer{nullptr, 90, 127, 0, 1.0f, nullptr};
        entry.layerCount = 2;
        std::array<int, NoteTable::kMaxStacked> picked{};
        QCOMPARE(entry.pick(10, 0, picked), 1);
        QCOMPARE(picked[0], 0);
        QCOMPARE(entry.pick(80, 0, picked), 1);
        QCOMPARE(picked[0], 1);
    }

    void samplesDecodeAsKitsShipThem_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("WAV, 24-bit, 44.1 kHz, mono") << int(SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 44100 << 1;
        QTest::newRow("FLAC, 16-bit, 48 kHz, stereo") << int(SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 48000 << 2;
        QTest::newRow("Ogg Vorbis, 44.1 kHz, stereo") << int(SF_FORMAT_OGG | SF_FORMAT_VORBIS) << 44100 << 2;
        QTest::newRow("AIFF, float, 96 kHz, mono") << int(SF_FORMAT_AIFF | SF_FORMAT_FLOAT) << 96000 << 1;
        QTest::newRow("WAV, 32-bit, 22.05 kHz, stereo") << int(SF_FORMAT_WAV | SF_FORMAT_PCM_32) << 22050 << 2;
    }

    void samplesDecodeAsKitsShipThem()
    {
        // A second of 1 kHz at half scale comes out a second long at 48 kHz, still 1 kHz.
        QFETCH(int, format);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("s")).toStdString();
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
        QVERIFY(file);
        std::vector<float> frames(std::size_t(rate * channels));
        for (std::size_t i = 0; i < frames.size(); ++i)
            frames[i] = 0.5f * float(std::sin(2 * M_PI * 1000.0 * double(i / std::size_t(channels)) / rate));
        QCOMPARE(sf_writef_float(file, frames.data(), rate), sf_count_t(rate));
        sf_close(file);
        std::string why;
        const auto sound = KitSampleDecoder::load(path, 48000, why);
        QVERIFY2(sound, why.c_str());
        QCOMPARE(sound->channels, channels);
        QVERIFY2(std::abs(long(sound->frames()) - 48000) <= 48, qPrintable(QString::number(sound->frames())));
        int crossings = 0;
        for (std::size_t i = 1000; i + 1 < 47000; ++i)
            crossings += (sound->at(i, 0) < 0) != (sound->at(i + 1, 0) < 0) ? 1 : 0;
        // 46,000 frames of 1 kHz at 48 kHz: 958.3 periods, two crossings each.
        QVERIFY2(std::abs(crossings - 1917) <= 4, qPrintable(QString::number(crossings)));
    }

    void aFileThatIsNoSoundIsRefusedAndSaid()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.wav"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("RIFF....WAVEfmt garbage");
        f.close();
        std::string why;
        QVERIFY(!KitSampleDecoder::load(path.toStdString(), 48000, why));
        QVERIFY(!why.empty());
        QVERIFY(!KitSampleDecoder::load(dir.filePath(QStringLiteral("none.wav")).toStdString(), 48000, why));
    }

    void aSampleLinkedFromOutsideTheKitIsNotRead()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("kit")));
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE *file =
            sf_open(dir.filePath(QStringLiteral("outside.wav")).toLocal8Bit().constData(), SFM_WRITE, &info);
        QVERIFY(file);
        const std::vector<float> tone(480, 0.5f);
        sf_writef_float(file, tone.data(), 480);
        sf_close(file);
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("outside.wav")), dir.filePath(QStringLiteral("kit/link.wav"))));
        QVERIFY(QFile::copy(dir.filePath(QStringLiteral("outside.wav")), dir.filePath(QStringLiteral("kit/in.wav"))));
        Kit kit;
        kit.source = dir.filePath(QStringLiteral("kit/drumkit.xml")).toStdString();
        for (const char *name : {"link.wav", "in.wav"}) {
            Kit::Instrument instrument;
            instrument.name = name;
            instrument.layers.push_back(
                Kit::Layer{1, 127, 1.0f, 0.0f, dir.filePath(QStringLiteral("kit/")).toStdString() + name, 0, {}});
            kit.instruments.push_back(instrument);
        }
        const auto sounds = KitSounds::load(kit, 48000);
        QVERIFY(sounds->instruments()[0].layers.empty());
        QCOMPARE(int(sounds->instruments()[1].layers.size()), 1);
        QVERIFY(!sounds->skipped().empty() && sounds->skipped().front().find("fuori") != std::string::npos);
    }

    void theDrumKeysFindTheirInstruments_data()
    {
        QTest::addColumn<QStringList>("instruments"); // "name" or "name@note"
        QTest::addColumn<QString>("keys");            // V B J H G F K: the instrument of each, or -
        QTest::newRow("by General MIDI notes, whatever the names")
            << QStringList{"a@49", "b@36", "c@38", "d@42", "e@50", "f@45", "g@41"} << "b c d e f g a";
        QTest::newRow("by English names, the toms by height")
            << QStringList{"Crash 18", "Floor Tom", "Tom 2", "Tom 1", "Hat Closed", "Snare", "Kick", "Kick Stomp"}
            << "Kick Snare Hat-Closed Tom-1 Tom-2 Floor-Tom Crash-18";
        QTest::newRow("by Italian names; what a kit lacks is left to the built-in sound")
            << QStringList{"Cassa", "Rullante", "Charleston", "Piatto"} << "Cassa Rullante Charleston - - - Piatto";
    }

    void theDrumKeysFindTheirInstruments()
    {
        QFETCH(QStringList, instruments);
        QFETCH(QString, keys);
        Kit kit;
        for (const QString &described : instruments) {
            Kit::Instrument i;
            i.name = described.section('@', 0, 0).toStdString();
            i.note = described.contains('@') ? described.section('@', 1).toInt() : -1;
            i.layers.push_back(Kit::Layer{});
            kit.instruments.push_back(i);
        }
        QStringList found;
        for (int k = 0; k < KitSounds::kDrumKeys; ++k) {
            const int i = KitSounds::drumOf(kit, k);
            found << (i < 0 ? QStringLiteral("-")
                            : QString::fromStdString(kit.instruments[std::size_t(i)].name).replace(' ', '-'));
        }
        QCOMPARE(found.join(' '), keys);
    }

    void anArchiveIsUnpackedAmongTheUsersKits_data()
    {
        QTest::addColumn<QList<QByteArray>>("entries");
        QTest::addColumn<QStringList>("unpacked"); // the kits folder after; empty: refused
        QTest::addColumn<int>("skipped");
        const QByteArray xml = "Scatola/drumkit.xml=" + kKitXml;
        QTest::newRow("as Hydrogen packs a kit: its folder")
            << QList<QByteArray>{"Scatola/", xml, "Scatola/kick.wav=RIFF"}
            << QStringList{"Scatola", "Scatola/drumkit.xml", "Scatola/kick.wav"} << 0;
        QTest::newRow("a link is left out and said") << QList<QByteArray>{xml, "Scatola/snare.wav->/etc/passwd"}
                                                     << QStringList{"Scatola", "Scatola/drumkit.xml"} << 1;
        QTest::newRow("a name through .. refuses the whole archive")
            << QList<QByteArray>{xml, "Scatola/../../fuori.wav=x"} << QStringList{} << 0;
        QTest::newRow("an absolute name refuses it")
            << QList<QByteArray>{xml, "/tmp/fuori.wav=x"} << QStringList{} << 0;
        QTest::newRow("without a drumkit.xml it is refused")
            << QList<QByteArray>{"Scatola/kick.wav=x"} << QStringList{} << 0;
    }

    void anArchiveIsUnpackedAmongTheUsersKits()
    {
        QFETCH(QList<QByteArray>, entries);
        QFETCH(QStringList, unpacked);
        QFETCH(int, skipped);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("scatola.h2drumkit"));
        QVERIFY(pack(archive, entries));
        const QString kits = dir.filePath(QStringLiteral("home/kits"));
        std::string why;
        std::vector<std::string> left;
        const std::string xml = KitArchive::unpack(archive.toStdString(), kits.toStdString(), why, &left);
        QCOMPARE(tree(kits), unpacked);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{"home", "scatola.h2drumkit"}));
        QCOMPARE(int(left.size()), skipped);
        if (unpacked.isEmpty()) {
            QVERIFY(xml.empty() && !why.empty());
            return;
        }
        QCOMPARE(QString::fromStdString(xml), kits + QStringLiteral("/Scatola/drumkit.xml"));
        QCOMPARE(KitArchive::unpack(archive.toStdString(), kits.toStdString(), why), xml); // again: the same kit
        QVERIFY(pack(archive, {"Scatola/drumkit.xml=" + kKitXml + ' '}));
        QCOMPARE(QString::fromStdString(KitArchive::unpack(archive.toStdString(), kits.toStdString(), why)),
                 kits + QStringLiteral("/Scatola 2/drumkit.xml")); // another of its name: beside it
    }

    void aKitOpenedFromAnArchiveKeepsItsKeysAtTheNextStart()
    {
        QTemporaryDir home;
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("share")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS", home.filePath(QStringLiteral("none")).toLocal8Bit());
        qputenv("SDL_AUDIODRIVER", "dummy");
        qputenv("TAMVOLO_AUDIO", "sdl");
        const QByteArray tone = WavBytes::constant(4800, 0.5);
        QVERIFY(pack(home.filePath(QStringLiteral("scatola.h2drumkit")),
                     {"Scatola/drumkit.xml=" + kKitXml, "Scatola/kick.wav=" + tone, "Scatola/snare.wav=" + tone}));
        auto engine = std::make_shared<AudioEngine>();
        QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
        SoundBank bank(engine);
        std::mutex mutex;
        std::vector<KitLoader::Told> told;
        const auto listen = [&](const KitLoader::Told &t) {
            const std::lock_guard lock(mutex);
            if (t.finished)
                told.push_back(t);
        };
        const auto loaded = [&] {
            const std::lock_guard lock(mutex);
            return told.size();
        };
        const std::string unpacked =
            home.filePath(QStringLiteral("share/tamvolo/kits/Scatola/drumkit.xml")).toStdString();
        {
            KitLoader loader(engine, bank.samples(), listen);
            loader.load(home.filePath(QStringLiteral("scatola.h2drumkit")).toStdString());
            QTRY_COMPARE_WITH_TIMEOUT(loaded(), std::size_t(1), 10000);
            QVERIFY(told.front().loaded);
            QCOMPARE(bank.samples()->kit()->kit().source, unpacked);
            QCOMPARE(KitCatalog::chosen(), unpacked);
            QCOMPARE(bank.samples()->kit()->instrumentForKey(0), 0); // V: the kick
            loader.assignKey(0, 1);
            QTRY_COMPARE_WITH_TIMEOUT(bank.samples()->kit()->instrumentForKey(0), 1, 10000);
            loader.builtIn();
            QTRY_COMPARE_WITH_TIMEOUT(loaded(), std::size_t(2), 10000);
        }
        KitLoader again(engine, bank.samples(), listen);
        again.load(unpacked);
        QTRY_COMPARE_WITH_TIMEOUT(loaded(), std::size_t(3), 10000);
        QCOMPARE(bank.samples()->kit()->instrumentForKey(0), 1); // V plays the snare, as the user chose
    }
};

QTEST_MAIN(TestKits)
#include "tst_kits.moc"
