#include "config/XmlElements.h"

#include <cstdio>
#include <cstdlib>

const char* ChildText(const TiXmlElement* element, const char* name) {
    if (element == nullptr || name == nullptr) return nullptr;
    const TiXmlElement* child = element->FirstChildElement(name);
    if (child == nullptr) return nullptr;
    const TiXmlNode* first = child->FirstChild();
    const TiXmlText* text = first != nullptr ? first->ToText() : nullptr;
    return text != nullptr ? text->Value() : nullptr;
}

TiXmlNode* StartXmlDocument(TiXmlDocument* document, const char* rootName) {
    document->InsertEndChild(TiXmlDeclaration("1.0", "", ""));
    return document->InsertEndChild(TiXmlElement(rootName));
}

void AppendTextElement(TiXmlNode* parent, const char* name, const std::string& text) {
    TiXmlNode* element = parent->InsertEndChild(TiXmlElement(name));
    if (element != nullptr) element->InsertEndChild(TiXmlText(text));
}

bool PrintXml(const TiXmlDocument& document, std::string* text) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* memory = ::open_memstream(&buffer, &size);
    if (memory == nullptr) return false;
    const bool printed = document.SaveFile(memory);
    const bool closed = std::fclose(memory) == 0;  // sets buffer and size
    if (printed && closed && buffer != nullptr) text->assign(buffer, size);
    std::free(buffer);
    return printed && closed;
}

const TiXmlElement* ParseXmlRoot(const std::string& text, TiXmlDocument* document) {
    document->Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    if (document->Error()) return nullptr;
    return document->RootElement();
}
