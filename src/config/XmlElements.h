// What the camera list and the key file share of TinyXML: reading a child element's
// text, appending one, and printing a document exactly as TinyXML prints it to a
// file. Plain functions: any thread.
#pragma once

#include <tinyxml.h>

#include <string>

// The text of the first child element of element named name, when that child's first
// node is a text; null otherwise.
const char* ChildText(const TiXmlElement* element, const char* name);

// Gives an empty document the declaration <?xml version="1.0" ?> and a root element of
// that name, which it returns (null when it cannot be made).
TiXmlNode* StartXmlDocument(TiXmlDocument* document, const char* rootName);

// Appends <name>text</name> to parent.
void AppendTextElement(TiXmlNode* parent, const char* name, const std::string& text);

// The document as TiXmlDocument::SaveFile prints it to a file.
bool PrintXml(const TiXmlDocument& document, std::string* text);

// Parses what ReadXmlInput gave; null root when the text is not well-formed or has none.
const TiXmlElement* ParseXmlRoot(const std::string& text, TiXmlDocument* document);
