#include "app/Spoken.h"

#include <QAccessible>
#include <QWidget>

void Spoken::describe(QWidget *w, const QString &text)
{
    if (!w || w->accessibleDescription() == text)
        return;
    w->setAccessibleDescription(text);
    QAccessibleEvent changed(w, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}
