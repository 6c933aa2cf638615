#include "net/http_headers.h"

#include <algorithm>

namespace qm::win32::net {

namespace {

template <typename Fields>
auto find_field(Fields& fields, std::string_view name) {
    return std::find_if(fields.begin(), fields.end(),
                        [name](const http_headers::field& f) { return f.first == name; });
}

}  // namespace

std::string http_headers::find(std::string_view name) const {
    const std::string* value = find_value(name);
    return value ? *value : std::string();
}

const std::string* http_headers::find_value(std::string_view name) const {
    auto it = find_field(fields_, name);
    return it == fields_.end() ? nullptr : &it->second;
}

bool http_headers::contains(std::string_view name) const {
    return find_field(fields_, name) != fields_.end();
}

void http_headers::set(std::string_view name, std::string_view value) {
    auto it = find_field(fields_, name);
    if (it == fields_.end()) {
        add(name, value);
    } else if (value.empty()) {
        fields_.erase(it);
    } else {
        it->second.assign(value.data(), value.size());
    }
}

void http_headers::add(std::string_view name, std::string_view value) {
    fields_.emplace_back(std::string(name), std::string(value));
}

}  // namespace qm::win32::net
