#pragma once
// Whether a zip entry's name stays inside the folder it is extracted into.
// Portable: the names are checked as bytes, both "/" and "\" separating parts.

// False for a name that is empty, starts with a separator (an absolute or UNC
// path), holds a ":" (a drive letter or an alternate data stream) or has a
// part that climbs (".." and the forms Windows reads as "..", such as "...",
// or ".. " with trailing blanks). Such an entry is never written.
bool zip_entry_name_is_safe(const char* name);
