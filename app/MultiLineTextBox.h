#pragma once

#include <QPlainTextEdit>

// A multi-line, read-only text box without scroll bars that keeps its text
// exactly as given (carriage returns, tabs and all) while showing it as lines.
class MultiLineTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit MultiLineTextBox(QWidget *parent);

    void setText(const QString &text);
    QString text() const { return m_text; }

private:
    QString m_text;
};
