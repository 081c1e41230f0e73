#pragma once

#include <string_view>

// A header field's value or an element of it without the blanks (spaces
// and tabs) HTTP allows around it.
inline std::string_view trimmedField(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}
