#pragma once
// Reader of the game's configuration and tips XML files, and their mapping
// onto the remote values of GameConfig.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/game_config.h"

// One node of a parsed document: an element or one run of character data.
class XmlNode {
  public:
    enum Kind { kElement, kText };

    XmlNode(Kind kind, std::wstring name_or_text, XmlNode* parent)
        : kind_(kind), value_(std::move(name_or_text)), parent_(parent) {}

    Kind kind() const { return kind_; }
    // The element's name; for a text node, its text.
    const std::wstring& Name() const { return value_; }
    // All character data directly inside the element, in document order.
    const std::wstring& Text() const;
    std::map<std::wstring, std::wstring>& Attributes() { return attributes_; }
    const std::map<std::wstring, std::wstring>& Attributes() const { return attributes_; }
    const std::vector<std::unique_ptr<XmlNode>>& Children() const { return children_; }
    XmlNode* Parent() const { return parent_; }
    XmlNode* Append(std::unique_ptr<XmlNode> child);

  private:
    Kind kind_;
    std::wstring value_;
    XmlNode* parent_;
    std::map<std::wstring, std::wstring> attributes_;
    std::vector<std::unique_ptr<XmlNode>> children_;
    mutable bool text_ready_ = false;
    mutable std::wstring text_;
};

// The root element of the file at path, or null when the file cannot be read,
// is not well-formed as far as it goes, or has an encoding other than UTF-8,
// UTF-16, ISO-8859-1, US-ASCII and "gb2312".
std::unique_ptr<XmlNode> ParseXmlFile(const std::wstring& path);

// The configuration file's values; 1 when the file was read and has a root
// element. Only elements present overwrite their fields.
int ParseRemoteConfiguration(const std::wstring& path, RemoteGameValues& values);
// The tips file's text and URL, by the same rule.
int ParseTipsFile(const std::wstring& path, RemoteGameValues& values);

// "gamesize": leading blanks and a sign, digits up to the first other
// character; no digits or a negative number give 0, a number beyond the
// signed 64-bit range gives its largest value.
uint64_t ParseGameSize(const std::wstring& text);
