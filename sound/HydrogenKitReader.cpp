#include "sound/HydrogenKitReader.h"

#include "files/CarefulReader.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include <sys/stat.h>

namespace {

constexpr std::size_t kMaxElements = 200'000;

// The document as a small tree: element names, their text, their children.
struct Element
{
    std::string name;
    std::string text;
    std::vector<std::unique_ptr<Element>> children;

    const Element *child(std::string_view n) const
    {
        for (const auto &c : children)
            if (c->name == n)
                return c.get();
        return nullptr;
    }
    std::string textOf(std::string_view n) const
    {
        const Element *c = child(n);
        return c ? c->text : std::string();
    }
    // The number a child holds, or `otherwise` where it has none.
    double numberOf(std::string_view n, double otherwise) const
    {
        const Element *c = child(n);
        if (!c)
            return otherwise;
        bool ok = false;
        const double value = QString::fromStdString(c->text).trimmed().toDouble(&ok);
        return ok && std::isfinite(value) ? value : otherwise;
    }
};

bool parse(std::string_view xml, Element &root, std::string &why)
{
    QXmlStreamReader reader(QByteArray(xml.data(), qsizetype(xml.size())));
    std::vector<Element *> open{&root};
    std::size_t elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            why = "contiene una dichiarazione DOCTYPE (le entità non si leggono)";
            return false;
        case QXmlStreamReader::StartElement: {
            if (open.size() > std::size_t(HydrogenKitReader::kMaxDepth) || ++elements > kMaxElements) {
                why = "annidato troppo a fondo, o con troppi elementi";
                return false;
            }
            auto e = std::make_unique<Element>();
            e->name = reader.name().toString().toStdString();
            Element *raw = e.get();
            open.back()->children.push_back(std::move(e));
            open.push_back(raw);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (open.size() > 1)
                open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (open.back()->text.size() < 64 * 1024)
                open.back()->text += reader.text().toString().toStdString();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        why = "XML non valido (" + reader.errorString().toStdString() + ", riga " +
            std::to_string(reader.lineNumber()) + ")";
        return false;
    }
    return true;
}

std::string trimmed(const std::string &s)
{
    return QString::fromStdString(s).trimmed().toStdString();
}

int velocityOf(double fraction)
{
    return int(std::lround(std::clamp(fraction, 0.0, 1.0) * 127.0));
}

Kit::Layer layerOf(const Element &e, const std::string &folder, float pitchOffset)
{
    Kit::Layer layer;
    layer.file = Kit::inFolder(folder, trimmed(e.textOf("filename")));
    layer.minVelocity = std::max(1, velocityOf(e.numberOf("min", 0.0)));
    layer.maxVelocity = velocityOf(e.numberOf("max", 1.0));
    layer.gain = float(std::clamp(e.numberOf("gain", 1.0), 0.0, 8.0));
    layer.pitch = float(std::clamp(e.numberOf("pitch", 0.0) + pitchOffset, -24.0, 24.0));
    return layer;
}

} // namespace

bool HydrogenKitReader::read(std::string_view xml, const std::string &folder, Kit &kit, std::string &why)
{
    Element root;
    if (xml.size() > kMaxBytes) {
        why = "più grande di " + std::to_string(kMaxBytes / (1024 * 1024)) + " MB";
        return false;
    }
    if (!parse(xml, root, why))
        return false;
    const Element *info = root.child("drumkit_info");
    if (!info) {
        why = "non è un drumkit di Hydrogen (manca <drumkit_info>)";
        return false;
    }
    kit.name = trimmed(info->textOf("name"));
    kit.author = trimmed(info->textOf("author"));
    kit.license = trimmed(info->textOf("license"));
    const Element *list = info->child("instrumentList");
    int index = 0;
    static const std::vector<std::unique_ptr<Element>> kNone;
    std::vector<std::string> empty; // instruments without a sample
    for (const auto &e : list ? list->children : kNone) {
        if (e->name != "instrument")
            continue;
        ++index;
        Kit::Instrument instrument;
        instrument.name = trimmed(e->textOf("name"));
        if (instrument.name.empty())
            instrument.name = "#" + std::to_string(index);
        if (int(kit.instruments.size()) >= kMaxInstruments) {
            kit.skipped.push_back("«" + instrument.name + "»: oltre i primi " + std::to_string(kMaxInstruments) +
                                  " strumenti");
            continue;
        }
        const double gain = std::clamp(e->numberOf("gain", 1.0), 0.0, 8.0);
        instrument.volume = float(std::clamp(e->numberOf("volume", 1.0), 0.0, 8.0) * gain);
        if (e->child("pan")) {
            instrument.pan = float(std::clamp(e->numberOf("pan", 0.0), -1.0, 1.0));
        } else {
            const double left = std::clamp(e->numberOf("pan_L", 1.0), 0.0, 1.0);
            const double right = std::clamp(e->numberOf("pan_R", 1.0), 0.0, 1.0);
            instrument.pan = float(right - left);
        }
        const int mute = int(std::clamp(e->numberOf("muteGroup", -1), -1.0, 1000.0));
        if (mute >= 0 && mute < 1000) { // a mute group: its instruments cut each other
            instrument.group = mute + 1;
            instrument.chokedBy.push_back(mute + 1);
        }
        const int note = int(std::clamp(e->numberOf("midiOutNote", -1), -1.0, 128.0));
        if (note >= 0 && note <= 127)
            instrument.note = note;
        const float pitchOffset = float(std::clamp(e->numberOf("pitchOffset", 0.0), -24.0, 24.0));
        const std::string algorithm = trimmed(e->textOf("sampleSelectionAlgo"));
        const bool inTurn = algorithm == "ROUND_ROBIN" || algorithm == "RANDOM";

        std::vector<const Element *> layers;
        for (const auto &c : e->children) {
            if (c->name == "layer")
                layers.push_back(c.get());
            if (c->name == "instrumentComponent") {
                const double componentGain = std::clamp(c->numberOf("gain", 1.0), 0.0, 8.0);
                for (const auto &l : c->children)
                    if (l->name == "layer")
                        layers.push_back(l.get());
                instrument.volume *= float(componentGain);
            }
        }
        bool refused = false;
        for (const Element *l : layers) {
            if (int(instrument.layers.size()) >= kMaxLayers)
                break;
            Kit::Layer layer = layerOf(*l, folder, pitchOffset);
            if (layer.file.empty()) {
                refused = refused || !trimmed(l->textOf("filename")).empty();
                continue;
            }
            instrument.layers.push_back(std::move(layer));
        }
        if (layers.empty()) {
            // The older form: one file for the whole instrument.
            Kit::Layer layer;
            layer.file = Kit::inFolder(folder, trimmed(e->textOf("filename")));
            layer.pitch = std::clamp(pitchOffset, -24.0f, 24.0f);
            refused = layer.file.empty() && !trimmed(e->textOf("filename")).empty();
            if (!layer.file.empty())
                instrument.layers.push_back(std::move(layer));
        }
        if (refused)
            kit.skipped.push_back("«" + instrument.name + "»: un file fuori dalla cartella del kit");
        if (inTurn) {
            int turn = 0;
            for (Kit::Layer &layer : instrument.layers)
                layer.roundRobin = ++turn;
        }
        if (instrument.layers.empty()) {
            empty.push_back(instrument.name);
            continue;
        }
        kit.instruments.push_back(std::move(instrument));
    }
    if (!empty.empty()) {
        std::string names;
        for (const std::string &name : empty)
            names += (names.empty() ? "" : ", ") + name;
        kit.skipped.push_back("strumenti senza campione: " + names);
    }
    // A note several instruments claim is none of theirs (kits saved with
    // every note left at its default).
    std::map<int, int> claims;
    for (const Kit::Instrument &instrument : kit.instruments)
        ++claims[instrument.note];
    for (Kit::Instrument &instrument : kit.instruments)
        if (claims[instrument.note] > 1)
            instrument.note = -1;
    if (kit.instruments.empty()) {
        why = "nessuno strumento con un campione";
        return false;
    }
    return true;
}

bool HydrogenKitReader::readFile(const std::string &path, Kit &kit, std::string &why)
{
    std::string file = path;
    struct stat st
    {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        file = (path.ends_with('/') ? path : path + "/") + "drumkit.xml";
    std::string xml;
    if (CarefulReader::read(file, xml, kMaxBytes) != CarefulReader::Result::Read) {
        why = "non si legge (manca, o è più grande di " + std::to_string(kMaxBytes / (1024 * 1024)) + " MB)";
        return false;
    }
    kit.source = file;
    return read(xml, file.substr(0, file.rfind('/') + 1), kit, why);
}
