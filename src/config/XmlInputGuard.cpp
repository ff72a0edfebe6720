#include "config/XmlInputGuard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

namespace {

constexpr size_t kNone = std::string_view::npos;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// TinyXML's own character tests (IsWhiteSpace, IsAlpha, IsAlphaNum and the name
// characters of ReadName), locale included, so that the scan splits where it does.
bool IsSpace(unsigned char c) {
    return std::isspace(c) != 0 || c == '\n' || c == '\r';
}

bool IsNameStart(unsigned char c) {
    return c >= 127 || std::isalpha(c) != 0 || c == '_';
}

bool IsNameChar(unsigned char c) {
    return c >= 127 || std::isalnum(c) != 0 || c == '_' || c == '-' || c == '.' || c == ':';
}

// The text ends in a NUL for the parser; reading past the end gives that NUL.
unsigned char ByteAt(std::string_view text, size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

size_t SkipSpace(std::string_view text, size_t i) {
    while (i < text.size() && IsSpace(ByteAt(text, i))) ++i;
    return i;
}

// prefix is lower case when ignoreCase; only ASCII letters fold, as in TinyXML.
bool StartsWithAt(std::string_view text, size_t i, std::string_view prefix,
                  bool ignoreCase = false) {
    if (i > text.size() || text.size() - i < prefix.size()) return false;
    for (size_t k = 0; k < prefix.size(); ++k) {
        unsigned char c = ByteAt(text, i + k);
        if (ignoreCase && c < 128) c = static_cast<unsigned char>(std::tolower(c));
        if (c != static_cast<unsigned char>(prefix[k])) return false;
    }
    return true;
}

size_t FindAfter(std::string_view text, size_t from, std::string_view terminator) {
    const size_t at = text.find(terminator, from);
    return at == kNone ? kNone : at + terminator.size();
}

// Bytes a character takes by TinyXML's utf8ByteTable.
size_t SequenceLength(unsigned char lead) {
    if (lead < 0xC2) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return lead < 0xF5 ? 4 : 1;
}

// Every byte is checked as a possible lead byte, since where the parser's steps
// start depends on the markup around them.
bool CharactersAreWhole(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = ByteAt(text, i);
        const size_t length = SequenceLength(c);
        for (size_t k = 1; k < length; ++k) {
            if (ByteAt(text, i + k) < 0x80) return false;
        }
        if (c == 0xEF) {
            const unsigned char b1 = ByteAt(text, i + 1);
            const unsigned char b2 = ByteAt(text, i + 2);
            const bool byteOrderMark = b1 == 0xBB && b2 == 0xBF;
            const bool nonCharacter = b1 == 0xBF && (b2 == 0xBE || b2 == 0xBF);
            if ((byteOrderMark && i != 0) || nonCharacter) return false;
        }
    }
    return true;
}

enum class Scan { kDone, kParserStops, kEndOfText };

struct Attribute {
    Scan Status = Scan::kParserStops;
    size_t End = kNone;
};

// One attribute as TiXmlAttribute::Parse reads it, from its name: name, '=', then a
// quoted value or a bare one up to white space, '/' or '>'.
Attribute ScanAttribute(std::string_view text, size_t j) {
    Attribute attribute;
    if (!IsNameStart(ByteAt(text, j))) {
        attribute.Status = ByteAt(text, j) == 0 ? Scan::kEndOfText : Scan::kParserStops;
        return attribute;
    }
    while (IsNameChar(ByteAt(text, j))) ++j;
    j = SkipSpace(text, j);
    if (ByteAt(text, j) != '=') {
        attribute.Status = ByteAt(text, j) == 0 ? Scan::kEndOfText : Scan::kParserStops;
        return attribute;
    }
    j = SkipSpace(text, j + 1);
    const unsigned char quote = ByteAt(text, j);
    if (quote == '"' || quote == '\'') {
        const size_t close = text.find(static_cast<char>(quote), j + 1);
        if (close == kNone) {
            attribute.Status = Scan::kEndOfText;
            return attribute;
        }
        j = close + 1;
    } else {
        for (unsigned char c; (c = ByteAt(text, j)) != 0 && !IsSpace(c) && c != '/' && c != '>';
             ++j) {
            if (c == '"' || c == '\'') return attribute;  // a quote in a bare value is an error
        }
    }
    if (ByteAt(text, j) == 0) {
        attribute.Status = Scan::kEndOfText;
        return attribute;
    }
    attribute.Status = Scan::kDone;
    attribute.End = j;
    return attribute;
}

struct StartTag {
    Scan Status = Scan::kParserStops;
    size_t End = kNone;
    std::string_view Name;
    bool Empty = false;  // "<name ... />"
    size_t Attributes = 0;
};

// A start tag as TiXmlElement::Parse reads it, from the first byte of its name.
StartTag ScanStartTag(std::string_view text, size_t j) {
    StartTag tag;
    const size_t nameStart = j;
    while (IsNameChar(ByteAt(text, j))) ++j;
    tag.Name = text.substr(nameStart, j - nameStart);
    for (;;) {
        j = SkipSpace(text, j);
        const unsigned char c = ByteAt(text, j);
        if (c == 0) {
            tag.Status = Scan::kEndOfText;
            return tag;
        }
        if (c == '/') {
            if (ByteAt(text, j + 1) != '>') return tag;
            tag.Empty = true;
            tag.End = j + 2;
            tag.Status = Scan::kDone;
            return tag;
        }
        if (c == '>') {
            tag.End = j + 1;
            tag.Status = Scan::kDone;
            return tag;
        }
        const Attribute attribute = ScanAttribute(text, j);
        if (attribute.Status != Scan::kDone) {
            tag.Status = attribute.Status;
            return tag;
        }
        ++tag.Attributes;
        j = attribute.End;
    }
}

// A declaration as TiXmlDeclaration::Parse reads it, from just after "<?xml". Only
// version, encoding and standalone are read as attributes (their quoted values may
// hold '>'); anything else is skipped up to white space or '>'.
Attribute ScanDeclaration(std::string_view text, size_t j) {
    for (;;) {
        if (ByteAt(text, j) == 0) return {Scan::kEndOfText, kNone};
        if (ByteAt(text, j) == '>') return {Scan::kDone, j + 1};
        j = SkipSpace(text, j);
        if (ByteAt(text, j) == 0) return {Scan::kEndOfText, kNone};
        if (StartsWithAt(text, j, "version", true) || StartsWithAt(text, j, "encoding", true) ||
            StartsWithAt(text, j, "standalone", true)) {
            const Attribute attribute = ScanAttribute(text, j);
            if (attribute.Status != Scan::kDone) return attribute;
            j = attribute.End;
        } else {
            for (unsigned char c; (c = ByteAt(text, j)) != 0 && c != '>' && !IsSpace(c);) ++j;
        }
    }
}

struct FileDescriptor {
    int Fd = -1;
    ~FileDescriptor() {
        if (Fd >= 0) ::close(Fd);
    }
};

}  // namespace

void NormalizeXmlText(std::string* text) {
    std::string& s = *text;
    const size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    size_t out = 0;
    for (size_t in = 0; in < s.size(); ++in) {
        if (s[in] == '\r') {
            s[out++] = '\n';
            if (in + 1 < s.size() && s[in + 1] == '\n') ++in;
        } else {
            s[out++] = s[in];
        }
    }
    s.resize(out);
}

XmlInputResult CheckXmlMarkup(std::string_view text, XmlMarkupStats* statsOut) {
    XmlMarkupStats stats;
    const auto finish = [&](XmlInputResult result) {
        if (statsOut != nullptr) *statsOut = stats;
        return result;
    };
    if (!CharactersAreWhole(text)) return finish(XmlInputResult::kBrokenCharacter);

    std::vector<std::string_view> open;  // the elements the parser is inside, innermost last
    size_t i = StartsWithAt(text, 0, kByteOrderMark) ? kByteOrderMark.size() : 0;
    for (;;) {
        i = SkipSpace(text, i);
        if (i >= text.size()) return finish(XmlInputResult::kOk);
        if (text[i] != '<') {
            // Stray text ends the document; inside an element it is a text node.
            if (open.empty()) return finish(XmlInputResult::kOk);
            if (++stats.Nodes > kXmlMaxNodes) return finish(XmlInputResult::kTooManyNodes);
            i = text.find('<', i);
            if (i == kNone) return finish(XmlInputResult::kOk);
        }
        if (!open.empty() && StartsWithAt(text, i, "</")) {
            // Only the exact end tag closes; anything else is an error that stops the parser.
            const std::string_view name = open.back();
            if (!StartsWithAt(text, i + 2, name) || ByteAt(text, i + 2 + name.size()) != '>') {
                return finish(XmlInputResult::kOk);
            }
            i += name.size() + 3;
            open.pop_back();
            continue;
        }
        if (++stats.Nodes > kXmlMaxNodes) return finish(XmlInputResult::kTooManyNodes);
        size_t end = kNone;
        if (StartsWithAt(text, i, "<?xml", true)) {
            const Attribute declaration = ScanDeclaration(text, i + 5);
            if (declaration.Status == Scan::kEndOfText) {
                return finish(XmlInputResult::kUnterminatedDeclaration);
            }
            end = declaration.End;
        } else if (StartsWithAt(text, i, "<!--")) {
            end = FindAfter(text, i + 4, "-->");
        } else if (StartsWithAt(text, i, "<![CDATA[")) {
            end = FindAfter(text, i + 9, "]]>");
        } else if (IsNameStart(ByteAt(text, i + 1))) {
            const StartTag tag = ScanStartTag(text, i + 1);
            stats.MaxAttributes = std::max(stats.MaxAttributes, tag.Attributes);
            if (tag.Attributes > kXmlMaxAttributes) {
                return finish(XmlInputResult::kTooManyAttributes);
            }
            // The parser enters this element, even an empty one or one it fails on.
            stats.MaxDepth = std::max(stats.MaxDepth, open.size() + 1);
            if (open.size() + 1 > kXmlMaxDepth) return finish(XmlInputResult::kTooDeep);
            end = tag.End;
            if (tag.Status == Scan::kDone && !tag.Empty) open.push_back(tag.Name);
        } else {
            // "<!DOCTYPE", "<?target" and any other '<' become an unknown node up to '>'.
            end = FindAfter(text, i + 1, ">");
        }
        if (end == kNone) return finish(XmlInputResult::kOk);  // the parser stops here
        i = end;
    }
}

XmlInputResult ReadXmlInput(const std::string& path, std::string* text) {
    text->clear();
    // Non-blocking, so that a FIFO in the file's place cannot hang the reader.
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.Fd < 0) return XmlInputResult::kUnreadable;
    struct stat st {};
    if (::fstat(file.Fd, &st) != 0 || !S_ISREG(st.st_mode)) return XmlInputResult::kUnreadable;
    if (static_cast<unsigned long long>(st.st_size) > kXmlMaxBytes) {
        return XmlInputResult::kTooLarge;
    }

    // Read at most one byte over the limit: the file may grow after fstat.
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (data.size() > kXmlMaxBytes) break;
            data.resize(std::min(std::max<size_t>(data.size() * 2, 4096), kXmlMaxBytes + 1));
        }
        const ssize_t n = ::read(file.Fd, data.data() + used, data.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return XmlInputResult::kUnreadable;
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    if (used > kXmlMaxBytes) return XmlInputResult::kTooLarge;
    data.resize(used);

    NormalizeXmlText(&data);
    const XmlInputResult result = CheckXmlMarkup(data);
    if (result != XmlInputResult::kOk) return result;
    data.append(kXmlPaddingBytes, '\0');
    *text = std::move(data);
    return XmlInputResult::kOk;
}
