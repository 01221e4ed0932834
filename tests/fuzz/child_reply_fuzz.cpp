// The run's decoder of the child's replies, with any bytes the child may send: a message
// it reads holds at most a reply's fields and accounts for every byte, and nothing is
// sized from a count before the bytes are known to hold it (libFuzzer's memory limit).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "platform/message_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto fields = tavrel::decodeFields(bytes, tavrel::kMostReplyFields)) {
        tavrel::fuzz::require(fields->size() <= tavrel::kMostReplyFields, "reply",
                              "more fields than a reply has");
        std::size_t words = 1;  // the count of fields, then each field's length and units
        for (const auto& field : *fields) {
            words += 1 + field.size();
        }
        tavrel::fuzz::require(words * 4 == size, "reply", "bytes read that the fields lack");
    }
    return 0;
}
