#pragma once
// The machine's peer id from "dl_peer_id.dll", marked with the asking
// product's character.

#include <string>

namespace qm::win32::net {

// Returned whenever the library cannot answer.
extern const char peer_id_fallback[];  // "FFFFFFFFFFFFFFFF"

// The character put at the id's 16th place for a product value.
char peer_id_product_char(unsigned product);

// library_path null or empty: "dl_peer_id.dll" beside the module holding
// this code.
std::string get_peer_id(unsigned product, const wchar_t* library_path);

}  // namespace qm::win32::net
