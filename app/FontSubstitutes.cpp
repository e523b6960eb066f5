#include "app/FontSubstitutes.h"

#include <QStringList>

#include <cmath>

QFont FontSubstitutes::font(Face face, double points, bool bold, bool underline)
{
    QFont f;
    switch (face) {
    case Face::MsSansSerif:
    case Face::Arial:
        f.setFamilies(QStringList() << QStringLiteral("Liberation Sans") << QStringLiteral("Arial"));
        f.setStyleHint(QFont::SansSerif);
        break;
    case Face::MsSerif:
        f.setFamilies(QStringList() << QStringLiteral("Liberation Serif") << QStringLiteral("Times New Roman"));
        f.setStyleHint(QFont::Serif);
        break;
    case Face::Tahoma:
        f.setFamilies(QStringList() << QStringLiteral("DejaVu Sans Condensed") << QStringLiteral("Tahoma")
                                    << QStringLiteral("DejaVu Sans"));
        f.setStyleHint(QFont::SansSerif);
        break;
    }
    f.setPixelSize(int(std::lround(points * 96.0 / 72.0)));
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}
