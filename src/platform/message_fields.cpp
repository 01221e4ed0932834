#include "platform/message_fields.h"

#include <cstddef>
#include <cstdint>

namespace tavrel {

namespace {

void appendWord(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xFFu);
    }
}

class FieldReader {
  public:
    explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

    bool readWord(std::uint32_t& value) {
        if (bytes_.size() - position_ < 4) {
            return false;
        }
        value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[position_++]))
                     << shift;
        }
        return true;
    }
    // A count that more words than remain would need is no count at all.
    bool readCount(std::uint32_t& count) {
        return readWord(count) && count <= (bytes_.size() - position_) / 4;
    }
    bool atEnd() const { return position_ == bytes_.size(); }

  private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

}  // namespace

std::string encodeFields(std::initializer_list<std::wstring_view> fields) {
    std::string bytes;
    appendWord(bytes, static_cast<std::uint32_t>(fields.size()));
    for (const std::wstring_view field : fields) {
        appendWord(bytes, static_cast<std::uint32_t>(field.size()));
        for (const wchar_t unit : field) {
            appendWord(bytes, static_cast<std::uint32_t>(unit));
        }
    }
    return bytes;
}

std::optional<std::vector<std::wstring>> decodeFields(std::string_view bytes,
                                                      std::size_t mostFields) {
    FieldReader reader(bytes);
    std::uint32_t count = 0;
    // Nothing is sized from a count before it is known to fit.
    if (!reader.readCount(count) || count > mostFields) {
        return std::nullopt;
    }
    std::vector<std::wstring> fields(count);
    for (std::wstring& field : fields) {
        std::uint32_t length = 0;
        if (!reader.readCount(length)) {
            return std::nullopt;
        }
        field.resize(length);
        for (wchar_t& unit : field) {
            std::uint32_t value = 0;
            reader.readWord(value);
            unit = static_cast<wchar_t>(value);
            if (static_cast<std::uint32_t>(unit) != value) {
                return std::nullopt;
            }
        }
    }
    if (!reader.atEnd()) {
        return std::nullopt;
    }
    return fields;
}

}  // namespace tavrel
