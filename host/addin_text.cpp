#include "host/addin_text.h"

const wchar_t addin_name[] = L"ZudUrirOzoduro";

namespace {

bool is_name_char(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_' || c == L'-' || c == L'.' || c == L':';
}

bool is_blank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Position of the first text attribute + "=" + quote whose name stands on
// its own, or npos.
size_t find_attribute(const std::wstring& text, const std::wstring& attribute, size_t from = 0) {
    const std::wstring head = attribute + L"=\"";
    for (size_t at = text.find(head, from); at != std::wstring::npos;
         at = text.find(head, at + 1)) {
        if (at == 0 || !is_name_char(text[at - 1])) {
            return at;
        }
    }
    return std::wstring::npos;
}

std::wstring xml_attribute_text(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
            case L'&':
                out += L"&amp;";
                break;
            case L'<':
                out += L"&lt;";
                break;
            case L'"':
                out += L"&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string addin_resource_list(const std::string& game_id) {
    const std::string& g = game_id;
    return "<QMUE><resource> <bitmap id=\"bitmap.zudurirozoduro." + g +
           ".toolbar.menu\" path=\"bitmap\\" + g +
           "toolbar.menu.png\" /> <bitmap id=\"bitmap.zudurirozoduro." + g +
           ".toolbar\" path=\"bitmap\\" + g + "toolbar.png\" /> </resource></QMUE>";
}

bool other_game_id(const std::wstring& folder_name, const std::wstring& game_id,
                   std::wstring& other_id) {
    const size_t at = folder_name.find(addin_name);
    if (at == std::wstring::npos) {
        return false;
    }
    const std::wstring id = folder_name.substr(at + std::wstring(addin_name).size());
    if (id.empty() || id == game_id) {
        return false;
    }
    other_id = id;
    return true;
}

bool rewrite_addin_cfg(std::wstring& cfg, const std::wstring& game_id, const std::wstring& title) {
    const std::wstring name_value = std::wstring(L"name=\"") + addin_name;
    size_t name_at = std::wstring::npos;
    for (size_t at = cfg.find(name_value); at != std::wstring::npos;
         at = cfg.find(name_value, at + 1)) {
        if (at == 0 || !is_name_char(cfg[at - 1])) {
            name_at = at;
            break;
        }
    }
    if (name_at == std::wstring::npos) {
        return false;
    }
    std::wstring out = cfg;
    out.insert(name_at + name_value.size(), game_id);
    const size_t show_at = find_attribute(out, L"show_name");
    if (show_at == std::wstring::npos) {
        return false;
    }
    const size_t value_at = show_at + std::wstring(L"show_name=\"").size();
    const size_t end = out.find(L'"', value_at);
    if (end == std::wstring::npos) {
        return false;
    }
    out.replace(value_at, end - value_at, xml_attribute_text(title));
    cfg = out;
    return true;
}

bool addin_cfg_has_attribute(const std::wstring& cfg, const std::wstring& name,
                             const std::wstring& value) {
    for (size_t at = cfg.find(name); at != std::wstring::npos; at = cfg.find(name, at + 1)) {
        if (at > 0 && is_name_char(cfg[at - 1])) {
            continue;
        }
        size_t p = at + name.size();
        while (p < cfg.size() && is_blank(cfg[p])) {
            ++p;
        }
        if (p >= cfg.size() || cfg[p] != L'=') {
            continue;
        }
        ++p;
        while (p < cfg.size() && is_blank(cfg[p])) {
            ++p;
        }
        if (p >= cfg.size() || (cfg[p] != L'"' && cfg[p] != L'\'')) {
            continue;
        }
        const wchar_t quote = cfg[p];
        if (cfg.compare(p + 1, value.size(), value) == 0 && p + 1 + value.size() < cfg.size() &&
            cfg[p + 1 + value.size()] == quote) {
            return true;
        }
    }
    return false;
}

std::wstring subscribe_list_with(const std::wstring& old, const std::wstring& game_id) {
    if (game_id.empty()) {
        return old;
    }
    size_t start = 0;
    while (start <= old.size()) {
        size_t end = old.find(L';', start);
        if (end == std::wstring::npos) {
            end = old.size();
        }
        if (old.compare(start, end - start, game_id) == 0 && end > start) {
            return old;
        }
        start = end + 1;
    }
    return game_id + L";" + old;
}
