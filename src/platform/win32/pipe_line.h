// Whole messages over a pair of pipe handles: the line between the run and the child
// that hosts the web-post library, from either end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/child_automation.h"
#include "platform/win32/unique_resource.h"

namespace tavrel::win32 {

class PipeLine : public MessageLine {
  public:
    PipeLine(UniqueHandle reading, UniqueHandle writing)
        : reading_(std::move(reading)), writing_(std::move(writing)) {}

    bool send(const std::string& message) override;
    /// A length beyond any reply's reads as a message that cannot be read, not as one.
    std::optional<std::string> receive() override;
    void hangUp() override {
        reading_.reset();
        writing_.reset();
    }

  private:
    bool readExactly(char* into, DWORD size);

    UniqueHandle reading_;
    UniqueHandle writing_;
};

}  // namespace tavrel::win32
