// Reads an XML file for TinyXML's in-memory parser and refuses input that the
// parser cannot take safely. TinyXML recurses once per nesting level, keeps a heap
// node for every piece of markup and looks every attribute up in a list, so depth,
// node count and attributes per element are checked before it runs. The scan splits
// the markup exactly where TinyXML 2.6.2 does, which holds only when no multi-byte
// lead byte swallows an ASCII byte and no byte-order-mark-like sequence sits past
// the start (TinyXML steps and skips over those in UTF-8 mode only); such text is
// refused as well. A declaration cut off by the end of the text is refused too:
// unpatched TinyXML asserts on it (CVE-2023-34194).
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

constexpr size_t kXmlMaxBytes = 16 * 1024 * 1024;  // a camera list is a few KiB
constexpr size_t kXmlMaxDepth = 64;                // the camera list nests 3 deep
constexpr size_t kXmlMaxNodes = 500000;            // markup pieces and texts; bounds memory
constexpr size_t kXmlMaxAttributes = 32;           // per element; the lookup is linear
constexpr size_t kXmlPaddingBytes = 16;            // NULs after the text

enum class XmlInputResult {
    kOk,
    kUnreadable,               // missing, not a regular file, or a read error
    kTooLarge,                 // more than kXmlMaxBytes
    kBrokenCharacter,          // see above: the parser would split it differently
    kUnterminatedDeclaration,  // "<?xml" without its closing '>'
    kTooDeep,                  // an element deeper than kXmlMaxDepth
    kTooManyNodes,             // more than kXmlMaxNodes
    kTooManyAttributes,        // an element with more than kXmlMaxAttributes
};

// What the scan met, up to where it stopped.
struct XmlMarkupStats {
    size_t MaxDepth = 0;  // of the deepest element, empty ones included
    size_t Nodes = 0;
    size_t MaxAttributes = 0;
};

// Reads path into text, prepared and padded, when the result is kOk; otherwise text
// is left empty.
XmlInputResult ReadXmlInput(const std::string& path, std::string* text);

// Cuts text at its first NUL byte and turns CR LF and lone CR into LF, in place.
void NormalizeXmlText(std::string* text);

// Scans prepared (unpadded) text the way TinyXML will parse it, up to where the
// parser would stop, and checks it against the limits above.
XmlInputResult CheckXmlMarkup(std::string_view text, XmlMarkupStats* stats = nullptr);
