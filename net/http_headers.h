// An ordered list of header fields. Names compare exactly (byte for byte, case
// included); duplicates are kept in arrival order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::win32::net {

class http_headers {
  public:
    using field = std::pair<std::string, std::string>;
    using const_iterator = std::vector<field>::const_iterator;

    // Value of the first field named exactly `name`; empty if there is none.
    std::string find(std::string_view name) const;
    // Like find, without a copy: null if there is no such field. The pointer
    // lives until the list is next changed.
    const std::string* find_value(std::string_view name) const;
    bool contains(std::string_view name) const;
    // Replaces the value of the first field named `name`, or removes that field
    // when `value` is empty; appends (name, value) when no such field exists,
    // even with an empty value.
    void set(std::string_view name, std::string_view value);
    // Appends without looking for an existing field.
    void add(std::string_view name, std::string_view value);
    void clear() { fields_.clear(); }
    void reserve(std::size_t fields) { fields_.reserve(fields); }

    bool empty() const { return fields_.empty(); }
    std::size_t size() const { return fields_.size(); }
    const field& operator[](std::size_t i) const { return fields_[i]; }
    const_iterator begin() const { return fields_.begin(); }
    const_iterator end() const { return fields_.end(); }
    const std::vector<field>& fields() const { return fields_; }

    bool operator==(const http_headers& other) const { return fields_ == other.fields_; }
    bool operator!=(const http_headers& other) const { return fields_ != other.fields_; }

  private:
    std::vector<field> fields_;
};

}  // namespace qm::win32::net
