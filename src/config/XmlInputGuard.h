// Reads an XML file for TinyXML's in-memory parser and refuses input that the parser
// cannot take safely. TinyXML recurses once per nesting level and keeps a heap node for
// every piece of markup. Every element, comment, declaration and unknown node starts
// with a '<', and every text node ends at one (or at the end of the text), so the
// nesting depth is at most the number of '<' bytes and the node count at most twice
// that, however the parser splits the markup. Bounding the size and the '<' count
// therefore bounds the parser's depth, memory and time, well-formed or not.
//
// The text handed out is prepared as TiXmlDocument::LoadFile prepares a file (cut at
// the first NUL byte, CR LF and lone CR turned into LF) and ends in NUL padding,
// because TinyXML steps up to a few bytes past the terminator of malformed input.
//
// Threads: plain functions without shared state; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A list of 10 cameras whose two 255-byte names are escaped byte by byte (6 bytes
// each) takes about 33 KB; a usual one a few KB. The size also bounds TinyXML's
// attribute lookup, which is quadratic in the attributes of one element.
constexpr size_t kXmlMaxBytes = 64 * 1024;
// A list of 10 cameras needs 143 '<': the declaration, the root's two tags and 14 per
// camera.
constexpr size_t kXmlMaxMarkup = 1024;
constexpr size_t kXmlPaddingBytes = 16;  // NULs after the text

enum class XmlInputResult {
    kOk,
    kUnreadable,     // missing, not a regular file, or a read error
    kTooLarge,       // more than kXmlMaxBytes
    kTooMuchMarkup,  // more than kXmlMaxMarkup '<' bytes
};

// Reads path into text, prepared and padded, when the result is kOk; otherwise text
// is left empty.
XmlInputResult ReadXmlInput(const std::string& path, std::string* text);

// Cuts text at its first NUL byte and turns CR LF and lone CR into LF, in place.
void NormalizeXmlText(std::string* text);

// The number of '<' bytes: the bound on TinyXML's nesting depth, and half the bound on
// its node count.
size_t CountMarkup(std::string_view text);
