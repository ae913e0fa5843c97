// Two running copies of turnex share turnex.dat and user.dat, and either may be a link into
// another folder. The copies here are real processes, started together at a gate.
#include "app/CommentStore.h"
#include "app/ConfigStore.h"
#include "base/Errors.h"
#include "base/ProgramDir.h"
#include "base/Registry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace app;

namespace {

// Runs body(copy) in `copies` child processes that start at the same moment. Returns what went
// wrong: one line per copy that failed, empty when every copy got through.
std::string RaceCopies(const std::string& folder, int copies, const std::function<void(int)>& body)
{
    int gate[2];
    if (pipe(gate) != 0)
        return "no pipe";
    std::vector<pid_t> children;
    for (int copy = 0; copy < copies; ++copy) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            char c;
            while (read(gate[0], &c, 1) < 0 && errno == EINTR) {
            }
            std::string failure;
            try {
                body(copy);
            } catch (const std::exception& e) {
                failure = e.what();
            }
            if (!failure.empty())
                std::ofstream(folder + "/copy-" + std::to_string(copy) + ".failed") << failure;
            _exit(failure.empty() ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);  // opens the gate for all of them at once
    std::string failures;
    for (size_t copy = 0; copy < children.size(); ++copy) {
        int status = 0;
        waitpid(children[copy], &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            continue;
        const std::string report = folder + "/copy-" + std::to_string(copy) + ".failed";
        failures += "copy " + std::to_string(copy) + ": " + TempDir::Read(report) + "\n";
        fs::remove(report);
    }
    return failures;
}

// Every note of a user.dat, by name; fails the test when the file is not whole records.
std::map<std::string, std::string> ParseNotes(const std::string& file, int* duplicates = nullptr)
{
    const std::string bytes = TempDir::Read(file);
    EXPECT_EQ(bytes.size() % CommentRecordLayout::Size, 0u) << "a partial record";
    std::map<std::string, std::string> notes;
    for (size_t at = 0; at + CommentRecordLayout::Size <= bytes.size(); at += CommentRecordLayout::Size) {
        const auto nameLength = static_cast<uint8_t>(bytes[at + CommentRecordLayout::NameLength]);
        const auto commentLength = static_cast<uint8_t>(bytes[at + CommentRecordLayout::CommentLength]);
        EXPECT_LE(nameLength, CommentRecordLayout::NameCapacity);
        const std::string name = bytes.substr(at + CommentRecordLayout::Name, nameLength);
        if (notes.count(name) && duplicates)
            ++*duplicates;
        notes[name] = bytes.substr(at + CommentRecordLayout::Comment, commentLength);
    }
    return notes;
}

class StoreSharingTest : public ::testing::Test {
protected:
    void SetUp() override { base::SetProgramDirectory(tmp.path()); }
    std::string Notes() const { return tmp / "user.dat"; }
    std::string Config() const { return tmp / "turnex.dat"; }
    TempDir tmp;
};

constexpr int kNotesPerCopy = 150;

}  // namespace

TEST_F(StoreSharingTest, TwoCopiesSavingAndRemovingNotesLoseNone)
{
    SaveComment("kept.bte", "from before");
    // Copy 0 only saves; copy 1 saves and removes notes of its own between them.
    const std::string failures = RaceCopies(tmp.path(), 2, [](int copy) {
        for (int i = 0; i < kNotesPerCopy; ++i) {
            const std::string name = (copy == 0 ? "a" : "b") + std::to_string(i) + ".bte";
            SaveComment(name, "note of " + name);
            if (copy == 1) {
                SaveComment("gone" + std::to_string(i), "short-lived");
                RemoveComments("gone" + std::to_string(i));
            }
        }
    });
    EXPECT_EQ(failures, "");

    int duplicates = 0;
    const auto notes = ParseNotes(Notes(), &duplicates);
    EXPECT_EQ(duplicates, 0);
    EXPECT_EQ(notes.size(), 1u + 2 * kNotesPerCopy);
    EXPECT_EQ(notes.at("kept.bte"), "from before");
    for (int i = 0; i < kNotesPerCopy; ++i) {
        for (const char* prefix : {"a", "b"}) {
            const std::string name = prefix + std::to_string(i) + ".bte";
            ASSERT_TRUE(notes.count(name)) << name << " was lost";
            EXPECT_EQ(notes.at(name), "note of " + name);
        }
        EXPECT_FALSE(notes.count("gone" + std::to_string(i)));
    }
}

TEST_F(StoreSharingTest, TwoCopiesCreatingAMissingStoreAtOnceBothSucceed)
{
    for (int round = 0; round < 25; ++round) {
        fs::remove(Notes());
        const std::string failures = RaceCopies(tmp.path(), 2, [round](int copy) {
            const std::string name = "r" + std::to_string(round) + "c" + std::to_string(copy);
            if (FindComment(name))
                throw std::runtime_error("a note before any was saved");
            SaveComment(name, "saved");
        });
        ASSERT_EQ(failures, "") << "round " << round;
        EXPECT_EQ(ParseNotes(Notes()).size(), 2u) << "round " << round;
    }
}

TEST_F(StoreSharingTest, ALinkedNoteStoreStaysALink)
{
    // A relative link to a file that does not exist yet: the first selection creates it there.
    fs::create_directory(tmp / "synced");
    fs::create_symlink("synced/notes.dat", Notes());
    const std::string linked = tmp / "synced/notes.dat";

    EXPECT_FALSE(FindComment("a.bte"));
    EXPECT_TRUE(fs::is_regular_file(linked));
    SaveComment("a.bte", "first");
    SaveComment("b.bte", "second");
    RemoveComments("a.bte");
    EXPECT_TRUE(fs::is_symlink(Notes())) << "the removal replaced the link";
    SaveComment("c.bte", "third");
    EXPECT_TRUE(fs::is_symlink(Notes())) << "the save replaced the link";

    const auto notes = ParseNotes(linked);
    EXPECT_EQ(notes, (std::map<std::string, std::string> {{"b.bte", "second"}, {"c.bte", "third"}}));
    EXPECT_EQ(FindComment("c.bte").value(), "third");
    // The rewrite happened beside the target: the program folder holds only the link.
    EXPECT_EQ(TempDir::Names(tmp.path()), (std::vector<std::string> {"synced", "user.dat"}));
    EXPECT_EQ(TempDir::Names(tmp / "synced"), (std::vector<std::string> {"notes.dat", "notes.dat.lock"}));
}

TEST_F(StoreSharingTest, TheNoteStoreLockStaysBesideTheStore)
{
    SaveComment("a.bte", "x");
    RemoveComments("a.bte");
    EXPECT_EQ(TempDir::Names(tmp.path()), (std::vector<std::string> {"user.dat", "user.dat.lock"}));
}

TEST_F(StoreSharingTest, ALinkedConfigurationStaysALink)
{
    fs::create_directory(tmp / "synced");
    const std::string linked = tmp / "synced/turnex.dat";
    fs::create_symlink(linked, Config());

    ConfigState state;
    LoadConfiguration(state, base::RegistryHive::Parse(""));
    EXPECT_TRUE(fs::is_symlink(Config())) << "the first start replaced the link";
    EXPECT_EQ(fs::file_size(linked), kConfigSize);

    state.Profile(1).SetGameDir("d:\\games");
    SaveConfiguration(state);
    EXPECT_TRUE(fs::is_symlink(Config())) << "the save replaced the link";
    const std::string saved = TempDir::Read(linked);
    ASSERT_EQ(saved.size(), kConfigSize);
    EXPECT_EQ(saved.substr(GameProfileLayout::Size + GameProfileLayout::GameDir, 9), "\x08"
                                                                                     "d:\\games");
}

TEST_F(StoreSharingTest, TwoCopiesStartingAndSavingTogetherKeepTheConfigurationWhole)
{
    const std::string firstStarts = RaceCopies(tmp.path(), 2, [](int) {
        ConfigState state;
        LoadConfiguration(state, base::RegistryHive::Parse(""));
    });
    EXPECT_EQ(firstStarts, "");
    ASSERT_EQ(fs::file_size(Config()), kConfigSize);

    // A longer file keeps its tail through every save, whoever saves.
    std::string content = TempDir::Read(Config()) + std::string(700, 'T');
    TempDir::Write(Config(), content);
    const std::string saves = RaceCopies(tmp.path(), 2, [](int copy) {
        ConfigState state;
        LoadConfiguration(state, base::RegistryHive::Parse(""));
        for (int i = 0; i < 100; ++i) {
            state.Profile(0).SetGameDir(std::string(200, copy == 0 ? 'a' : 'b'));
            SaveConfiguration(state);
        }
    });
    EXPECT_EQ(saves, "");
    const std::string saved = TempDir::Read(Config());
    ASSERT_EQ(saved.size(), kConfigSize + 700);
    EXPECT_EQ(saved.substr(kConfigSize), std::string(700, 'T'));
    const std::string gameDir = saved.substr(GameProfileLayout::GameDir + 1, 200);
    EXPECT_TRUE(gameDir == std::string(200, 'a') || gameDir == std::string(200, 'b'));
}
