#include "app/remote_config.h"

#include <expat.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>

#include "host/strings.h"

namespace {

// Deeper documents are refused: the tree is freed recursively, and no
// configuration comes near this.
const int kMaxDepth = 256;

struct ParseState {
    XML_Parser parser = nullptr;
    std::unique_ptr<XmlNode> root;
    XmlNode* current = nullptr;
    int depth = 0;
};

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* state = static_cast<ParseState*>(data);
    if (++state->depth > kMaxDepth) {
        XML_StopParser(state->parser, XML_FALSE);
        return;
    }
    auto element =
        std::make_unique<XmlNode>(XmlNode::kElement, utf8_to_utf16(name), state->current);
    for (const XML_Char** a = attributes; a && a[0]; a += 2) {
        element->Attributes()[utf8_to_utf16(a[0])] = utf8_to_utf16(a[1] ? a[1] : "");
    }
    if (!state->root) {
        state->root = std::move(element);
        state->current = state->root.get();
    } else if (state->current) {
        state->current = state->current->Append(std::move(element));
    }
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
    auto* state = static_cast<ParseState*>(data);
    --state->depth;
    if (state->current) {
        state->current = state->current->Parent();
    }
}

void XMLCALL OnText(void* data, const XML_Char* text, int length) {
    auto* state = static_cast<ParseState*>(data);
    if (!state->current || length <= 0) {
        return;
    }
    const std::string run(text, static_cast<size_t>(length));
    state->current->Append(
        std::make_unique<XmlNode>(XmlNode::kText, utf8_to_utf16(run), state->current));
}

int XMLCALL ConvertGb2312(void*, const char* bytes) {
    const char pair[3] = {bytes[0], bytes[1], 0};
    const std::wstring wide = cp936_to_utf16(pair);
    if (wide.empty() || wide[0] == 0) {
        return -1;
    }
    return static_cast<int>(static_cast<unsigned>(wide[0]));
}

int XMLCALL OnUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    if (!name || std::string(name) != "gb2312") {
        return XML_STATUS_ERROR;
    }
    for (int i = 0; i < 256; ++i) {
        info->map[i] = i < 128 ? i : -2;
    }
    info->data = nullptr;
    info->convert = ConvertGb2312;
    info->release = nullptr;
    return XML_STATUS_OK;
}

void MapPublic(const XmlNode& section, RemoteGameValues& values) {
    for (const auto& child : section.Children()) {
        if (child->kind() != XmlNode::kElement) {
            continue;
        }
        const std::wstring& name = child->Name();
        if (name == L"torvaneversion") {
            values.torvane_version = child->Text();
        } else if (name == L"torvaneurl") {
            values.torvane_url = child->Text();
        } else if (name == L"addinurl") {
            values.addin_url = child->Text();
        }
    }
}

void MapGame(const XmlNode& section, RemoteGameValues& values) {
    for (const auto& child : section.Children()) {
        if (child->kind() != XmlNode::kElement) {
            continue;
        }
        const std::wstring& name = child->Name();
        if (name == L"skinurl") {
            values.skin_url = child->Text();
        } else if (name == L"tabinfourl") {
            values.tab_info_url = child->Text();
        } else if (name == L"taburl") {
            values.tab_url = child->Text();
        } else if (name == L"newsurl") {
            values.news_url = child->Text();
        } else if (name == L"hotspoturl") {
            values.hotspot_url = child->Text();
        } else if (name == L"gamesize") {
            values.game_size = ParseGameSize(child->Text());
        } else if (name == L"gameurls") {
            values.game_urls.clear();
            for (const auto& url : child->Children()) {
                if (url->kind() == XmlNode::kElement && url->Name() == L"gameurl") {
                    values.game_urls.push_back(url->Text());
                }
            }
        }
    }
}

}  // namespace

const std::wstring& XmlNode::Text() const {
    if (kind_ == kText) {
        return value_;
    }
    if (!text_ready_) {
        text_.clear();
        for (const auto& child : children_) {
            if (child->kind_ == kText) {
                text_ += child->value_;
            }
        }
        text_ready_ = true;
    }
    return text_;
}

XmlNode* XmlNode::Append(std::unique_ptr<XmlNode> child) {
    text_ready_ = false;
    children_.push_back(std::move(child));
    return children_.back().get();
}

std::unique_ptr<XmlNode> ParseXmlFile(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) {
        return nullptr;
    }
    XML_Parser parser = XML_ParserCreate_MM(nullptr, nullptr, nullptr);
    if (!parser) {
        fclose(file);
        return nullptr;
    }
    ParseState state;
    state.parser = parser;
    XML_SetUserData(parser, &state);
    XML_SetStartElementHandler(parser, OnStart);
    XML_SetEndElementHandler(parser, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    XML_SetUnknownEncodingHandler(parser, OnUnknownEncoding, nullptr);

    bool failed = false;
    static const size_t kBlock = 16384;
    std::unique_ptr<char[]> block(new char[kBlock]);
    for (;;) {
        const size_t n = fread(block.get(), 1, kBlock, file);
        if (n == 0) {
            break;
        }
        // The end of input is never announced: an element left open at the
        // end of the file is not an error.
        if (XML_Parse(parser, block.get(), static_cast<int>(n), 0) == XML_STATUS_ERROR) {
            failed = true;
            break;
        }
        if (n < kBlock) {
            break;
        }
    }
    if (ferror(file)) {
        failed = true;
    }
    fclose(file);
    XML_ParserFree(parser);
    if (failed) {
        return nullptr;
    }
    return std::move(state.root);
}

int ParseRemoteConfiguration(const std::wstring& path, RemoteGameValues& values) {
    std::unique_ptr<XmlNode> root = ParseXmlFile(path);
    if (!root) {
        return 0;
    }
    for (const auto& child : root->Children()) {
        if (child->kind() != XmlNode::kElement) {
            continue;
        }
        if (child->Name() == L"public") {
            MapPublic(*child, values);
        } else if (child->Name() == L"game") {
            MapGame(*child, values);
        }
    }
    return 1;
}

int ParseTipsFile(const std::wstring& path, RemoteGameValues& values) {
    std::unique_ptr<XmlNode> root = ParseXmlFile(path);
    if (!root) {
        return 0;
    }
    for (const auto& child : root->Children()) {
        if (child->kind() != XmlNode::kElement || child->Name() != L"downloader") {
            continue;
        }
        for (const auto& item : child->Children()) {
            if (item->kind() != XmlNode::kElement) {
                continue;
            }
            if (item->Name() == L"text") {
                values.tips_text = item->Text();
            } else if (item->Name() == L"url") {
                values.tips_url = item->Text();
            }
        }
    }
    return 1;
}

uint64_t ParseGameSize(const std::wstring& text) {
    errno = 0;
    const long long value = wcstoll(text.c_str(), nullptr, 10);
    // A negative size would read as an enormous one.
    if (value < 0) {
        return 0;
    }
    return static_cast<uint64_t>(value);
}
