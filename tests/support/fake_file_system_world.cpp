#include "support/fake_platform.h"

#include <memory>
#include <optional>
#include <string>
#include "support/file_system_world.h"

namespace tavrel::contract {

namespace {

class FakeFileSystemWorld : public FileSystemWorld {
  public:
    FakeFileSystemWorld() { tree_.addFolder(root()); }

    FileSystem& fileSystem() override { return fileSystem_; }
    std::wstring root() override { return L"C:\\Scratch"; }
    void makeFolder(const std::wstring& path) override { tree_.addFolder(path); }
    void makeFile(const std::wstring& path, const std::string& bytes, bool readOnly) override {
        tree_.addFile(path, std::wstring(bytes.begin(), bytes.end()), readOnly);
    }
    std::optional<std::string> bytesOf(const std::wstring& path) override {
        const auto text = tree_.content(path);
        if (!text) {
            return std::nullopt;
        }
        std::string bytes;
        for (wchar_t c : *text) {
            bytes += static_cast<char>(c);
        }
        return bytes;
    }

  private:
    fake::Operations ops_;
    fake::FileTree tree_;
    fake::FakeFileSystem fileSystem_{tree_, ops_};
};

}  // namespace

std::unique_ptr<FileSystemWorld> makeFileSystemWorld() {
    return std::make_unique<FakeFileSystemWorld>();
}

}  // namespace tavrel::contract
