// The messages between the run and the web-post library's child: a count of fields, then
// each field as a count of units and the units, every number four bytes, low byte first.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

/// The most fields a request, or a reply, has.
inline constexpr std::size_t kMostRequestFields = 6;
inline constexpr std::size_t kMostReplyFields = 5;

/// A message's fields as bytes, and back; nothing for bytes that are not a message of
/// at most mostFields fields.
std::string encodeFields(std::initializer_list<std::wstring_view> fields);
std::optional<std::vector<std::wstring>> decodeFields(std::string_view bytes,
                                                      std::size_t mostFields);

}  // namespace tavrel
