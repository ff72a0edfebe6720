// Keeps the text of a line edit within a number of UTF-8 bytes: the size of the
// record field it goes into, which counts bytes, not characters. Typing past the
// limit is refused; a pasted text is cut to what still fits, at a character
// boundary, and the text around it stays as it was.
//
// Threads: the UI thread only, like its line edit.
#pragma once

#include <QValidator>

class CUtf8LimitValidator : public QValidator {
    Q_OBJECT

public:
    CUtf8LimitValidator(int maxBytes, QObject* parent);

    State validate(QString& input, int& pos) const override;

private:
    const int maxBytes_;
    // The text last accepted: the line edit changes its text before asking, so the
    // inserted part is found by comparing with this.
    mutable QString accepted_;
};

// The longest prefix of text, in whole characters, whose UTF-8 form has at most
// maxBytes bytes.
QString Utf8Prefix(const QString& text, int maxBytes);
