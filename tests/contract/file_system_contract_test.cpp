// What the program relies on from file and folder operations. Runs against the
// fake natively and against the Win32 implementation under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"
#include "prereq/who_else_may_change.h"
#include "support/file_system_world.h"

namespace tavrel::contract {
namespace {

class FileSystemContract : public testing::Test {
  protected:
    FileSystemContract() : world_(makeFileSystemWorld()), fs_(world_->fileSystem()) {}

    std::wstring at(const std::wstring& relative) { return world_->root() + L"\\" + relative; }

    template <class Operation>
    std::int32_t errorNumberOf(Operation&& operation) {
        try {
            operation();
        } catch (const Error& error) {
            EXPECT_FALSE(error.description().empty());
            return error.number();
        }
        return 0;
    }

    std::unique_ptr<FileSystemWorld> world_;
    FileSystem& fs_;
};

TEST_F(FileSystemContract, ExistenceTestsFollowWindowsPathRules) {
    world_->makeFolder(at(L"Agent Folder"));
    world_->makeFile(at(L"Agent Folder\\Report.txt"), "x", false);

    struct Case {
        const wchar_t* relative;
        bool isFile;
        bool isFolder;
    };
    const Case cases[] = {
        {L"Agent Folder\\Report.txt", true, false},
        {L"agent folder\\REPORT.TXT", true, false},
        {L"Agent Folder\\\\Report.txt", true, false},
        {L"Agent Folder", false, true},
        {L"Agent Folder\\", false, true},
        {L"AGENT FOLDER", false, true},
        {L"Agent Folder\\Missing.txt", false, false},
        {L"Missing Folder\\", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << testing::PrintToString(c.relative));
        EXPECT_EQ(fs_.fileExists(at(c.relative)), c.isFile);
        EXPECT_EQ(fs_.folderExists(at(c.relative)), c.isFolder);
    }
}

TEST_F(FileSystemContract, CreatedTextFileReplacesOldContentWithCrLfLines) {
    world_->makeFile(at(L"log.txt"), "left by an earlier run\r\n", false);
    auto stream = fs_.createTextFile(at(L"log.txt"));
    stream->writeLine(L"first");
    // Each line is in the file as soon as it is written, before any close.
    EXPECT_EQ(world_->bytesOf(at(L"log.txt")), std::optional<std::string>("first\r\n"));
    stream->writeLine(L"");
    stream->close();
    EXPECT_EQ(world_->bytesOf(at(L"log.txt")), std::optional<std::string>("first\r\n\r\n"));
    EXPECT_EQ(errorNumberOf([&] { stream->writeLine(L"after close"); }), errnum::kBadFileName);
}

TEST_F(FileSystemContract, RefusedOperationsRaiseTheirErrorAndChangeNothing) {
    world_->makeFile(at(L"locked.txt"), "kept", true);
    world_->makeFile(at(L"source.txt"), "source", false);
    world_->makeFile(at(L"target.txt"), "target", false);
    world_->makeFolder(at(L"Existing"));

    struct Case {
        const char* what;
        std::function<void()> operation;
        std::int32_t number;
    };
    const Case cases[] = {
        {"replace a read-only file", [&] { fs_.createTextFile(at(L"locked.txt")); },
         errnum::kPermissionDenied},
        {"delete a read-only file", [&] { fs_.deleteFile(at(L"locked.txt")); },
         errnum::kPermissionDenied},
        {"delete a missing file", [&] { fs_.deleteFile(at(L"missing.txt")); },
         errnum::kFileNotFound},
        {"move onto an existing file", [&] { fs_.moveFile(at(L"source.txt"), at(L"target.txt")); },
         errnum::kFileAlreadyExists},
        {"move a missing file", [&] { fs_.moveFile(at(L"missing.txt"), at(L"new.txt")); },
         errnum::kFileNotFound},
        {"move into a missing folder",
         [&] { fs_.moveFile(at(L"source.txt"), at(L"Missing\\source.txt")); },
         errnum::kPathNotFound},
        {"create an existing folder", [&] { fs_.createFolder(at(L"Existing")); },
         errnum::kFileAlreadyExists},
        {"create a folder in a missing one", [&] { fs_.createFolder(at(L"Missing\\Child")); },
         errnum::kPathNotFound},
        {"create a file in a missing folder", [&] { fs_.createTextFile(at(L"Missing\\new.txt")); },
         errnum::kPathNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(errorNumberOf(c.operation), c.number);
    }
    EXPECT_EQ(world_->bytesOf(at(L"locked.txt")), std::optional<std::string>("kept"));
    EXPECT_EQ(world_->bytesOf(at(L"source.txt")), std::optional<std::string>("source"));
    EXPECT_EQ(world_->bytesOf(at(L"target.txt")), std::optional<std::string>("target"));
    EXPECT_FALSE(fs_.folderExists(at(L"Missing")));
}

TEST_F(FileSystemContract, MoveDeleteAndCreateFolderDoTheirWork) {
    world_->makeFile(at(L"TavrelLog.txt"), "log", false);
    world_->makeFile(at(L"old.txt"), "old", false);

    fs_.createFolder(at(L"ApplicationLog"));
    fs_.moveFile(at(L"TavrelLog.txt"), at(L"\\Applicationlog\\TavrelLog.txt"));
    fs_.deleteFile(at(L"old.txt"));

    EXPECT_TRUE(fs_.folderExists(at(L"ApplicationLog")));
    EXPECT_EQ(world_->bytesOf(at(L"TavrelLog.txt")), std::nullopt);
    EXPECT_EQ(world_->bytesOf(at(L"ApplicationLog\\TavrelLog.txt")),
              std::optional<std::string>("log"));
    EXPECT_EQ(world_->bytesOf(at(L"old.txt")), std::nullopt);
}

TEST_F(FileSystemContract, FileOpenForWritingCannotBeMovedOrDeleted) {
    auto stream = fs_.createTextFile(at(L"open.txt"));
    stream->writeLine(L"busy");
    EXPECT_NE(errorNumberOf([&] { fs_.moveFile(at(L"open.txt"), at(L"moved.txt")); }), 0);
    EXPECT_NE(errorNumberOf([&] { fs_.deleteFile(at(L"open.txt")); }), 0);
    stream.reset();
    fs_.moveFile(at(L"open.txt"), at(L"moved.txt"));
    EXPECT_EQ(world_->bytesOf(at(L"moved.txt")), std::optional<std::string>("busy\r\n"));
}

// What this account makes is its own and no one else's; the finish and the spool take a
// folder that is not found for one that is not there.
TEST_F(FileSystemContract, WhatThisAccountMakesOnlyItMayChangeAndAMissingOneIsNotFound) {
    world_->makeFolder(at(L"Agent"));
    world_->makeFile(at(L"Agent\\Mavlin.dll"), "x", false);
    const std::wstring runningSid = fs_.runningAccountSid();

    for (const auto& path : {at(L"Agent"), at(L"Agent\\Mavlin.dll")}) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_EQ(
            findOthersRight(fs_.readSecurity(path), ObjectPlace::UsedItself, runningSid).right,
            nullptr);
    }
    EXPECT_EQ(errorNumberOf([&] { fs_.readSecurity(at(L"Agent\\ApplicationLog")); }),
              errnum::kFileNotFound);
}

}  // namespace
}  // namespace tavrel::contract
