#include "ui/Utf8LimitValidator.h"

#include <algorithm>

QString Utf8Prefix(const QString& text, int maxBytes) {
    int bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        // A surrogate pair is one character of four bytes.
        const bool pair =
            text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const int size = static_cast<int>(text.mid(end, length).toUtf8().size());
        if (bytes + size > maxBytes) break;
        bytes += size;
        end += length;
    }
    return text.left(end);
}

CUtf8LimitValidator::CUtf8LimitValidator(int maxBytes, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes) {}

QValidator::State CUtf8LimitValidator::validate(QString& input, int& pos) const {
    if (input.toUtf8().size() <= maxBytes_) {
        accepted_ = input;
        return Acceptable;
    }
    // What the edit kept of the accepted text: a common head and a common tail.
    const qsizetype shorter = std::min(input.size(), accepted_.size());
    qsizetype head = 0;
    while (head < shorter && input[head] == accepted_[head]) ++head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           input[input.size() - 1 - tail] == accepted_[accepted_.size() - 1 - tail]) {
        ++tail;
    }
    // Never split a surrogate pair between what was kept and what was inserted.
    if (head > 0 && input[head - 1].isHighSurrogate()) --head;
    if (tail > 0 && input[input.size() - tail].isLowSurrogate()) --tail;
    const QString kept = input.left(head) + input.right(tail);
    const int room = maxBytes_ - static_cast<int>(kept.toUtf8().size());
    const QString inserted = Utf8Prefix(input.mid(head, input.size() - head - tail), room);
    if (room < 0 || inserted.isEmpty()) return Invalid;
    input = input.left(head) + inserted + input.right(tail);
    pos = static_cast<int>(head + inserted.size());
    accepted_ = input;
    return Acceptable;
}
