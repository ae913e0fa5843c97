// Battles whose names leave ASCII, through every turn operation: the game folder and the other
// folders as drive letters (through the Wine prefix) and as native paths, mixed both ways. What
// counts is the name on the disk byte for byte, the contents, and the lists the window shows.
#include "TurnFolders.h"
#include "app/Catalogue.h"
#include "app/CommentStore.h"
#include "archive/RarBytes.h"
#include "archive/ZipComponent.h"
#include "base/CodePage.h"
#include "mail/FakePrograms.h"
#include "ops/BattleTransfer.h"
#include "ops/DeleteEntry.h"
#include "ops/MailRequest.h"
#include "ops/PackBattle.h"
#include "ops/TurnZip.h"
#include "ops/UnpackArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace {

// Spelled as bytes, so that the encoding of this source file cannot hide a fault.
const std::string kOperation = "Op\xC3\xA9ration.bte";         // é
const std::string kOelberg = "\xC3\x96lberg.bte";              // Ö
const std::string kLodz = "\xC5\x81\xC3\xB3\x64\xC5\xBA.bte";  // Ł ó d ź
const std::vector<std::string> kAll = {kOperation, kOelberg, kLodz};
// OEM 437 has é and Ö but neither Ł nor ź: old archivers could only carry the first two.
const std::vector<std::string> kOemOnes = {kOperation, kOelberg};
const std::map<std::string, std::string> kOemBytes = {{kOperation, "Op\x82ration.bte"}, {kOelberg, "\x99lberg.bte"}};

const std::string kPlain = "Turn07.bte";

const std::map<std::string, std::string> kTitles = {
    {kOperation, "Operation Dawn"}, {kOelberg, "The hill of olives"}, {kLodz, "Lodz 1914"}, {kPlain, "Turn seven"}};

std::string Contents(const std::string& battle) { return BattleText("1 0", kTitles.at(battle), "3 12", "1"); }

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

std::string Hex(const std::vector<std::string>& names)
{
    std::string out;
    char byte[4];
    for (const auto& name : names) {
        out += "\n  ";
        for (unsigned char c : name) {
            std::snprintf(byte, sizeof byte, "%02X ", c);
            out += byte;
        }
    }
    return out;
}

// The folder holds exactly these names as UTF-8 bytes (no lone E9, no "Ã©"), each battle with
// its contents.
void ExpectBattlesIn(const std::string& folder, const std::vector<std::string>& battles)
{
    const auto onDisk = TempDir::Names(folder);
    EXPECT_EQ(onDisk, Sorted(battles)) << "in " << folder << ", on the disk:" << Hex(onDisk);
    for (const auto& battle : battles) {
        if (fs::exists(folder + "/" + battle)) {
            EXPECT_EQ(TempDir::Read(folder + "/" + battle), Contents(battle)) << battle;
        }
    }
}

// The battle list as the window fills it from a folder: each name with its title.
std::vector<std::pair<std::string, std::string>> BattleList(const std::string& storedFolder)
{
    std::vector<std::string> names, titles;
    app::CollectBattles(storedFolder, names, titles);
    std::vector<std::pair<std::string, std::string>> list;
    for (size_t i = 0; i < names.size() && i < titles.size(); ++i)
        list.emplace_back(names[i], titles[i]);
    std::sort(list.begin(), list.end());
    return list;
}

std::vector<std::pair<std::string, std::string>> Listed(const std::vector<std::string>& battles)
{
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& battle : battles)
        list.emplace_back(battle, kTitles.at(battle));
    std::sort(list.begin(), list.end());
    return list;
}

std::vector<std::string> ArchivesOf(const std::vector<std::string>& battles)
{
    std::vector<std::string> names;
    for (const auto& battle : battles)
        names.push_back(ops::ArchiveNameFor(battle));
    return Sorted(names);
}

// Zip archives as other tools write them, and a zip's members as a reader that follows the
// format reads them (UTF-8 when flagged, OEM 437 otherwise). Run in the temporary folder; the
// members' bytes come from src/.
const char* kZipTool = R"(import sys, zipfile

class OemName(zipfile.ZipInfo):
    # An MS-DOS archiver: the name in OEM 437, no UTF-8 flag.
    def _encodeFilenameFlags(self):
        return self.filename.encode('cp437'), self.flag_bits

class Latin1Name(zipfile.ZipInfo):
    # A tool of another host that wrote its own 8-bit code page and said nothing about it.
    def _encodeFilenameFlags(self):
        return self.filename.encode('latin-1'), self.flag_bits

kind, archive, names = sys.argv[1], sys.argv[2], sys.argv[3:]
if kind == 'list':
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            line = b'%d\t%s\t%s\n' % (info.flag_bits >> 11 & 1, info.filename.encode('utf-8'), z.read(info).hex().encode())
            sys.stdout.buffer.write(line)
    sys.exit(0)
with zipfile.ZipFile(archive, 'w') as z:
    for name in names:
        info = {'oem': OemName, 'utf8': zipfile.ZipInfo, 'latin1': Latin1Name}[kind](name, (2024, 5, 1, 12, 0, 0))
        # MS-DOS for the first two: a UTF-8 flag must win over the host's OEM page.
        info.create_system = 3 if kind == 'latin1' else 0
        z.writestr(info, open('src/' + name, 'rb').read(), zipfile.ZIP_DEFLATED)
)";

struct ZipMember {
    bool utf8Flag;
    std::string name;
    std::string data;
    bool operator==(const ZipMember&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ZipMember& m)
{
    return out << (m.utf8Flag ? "[UTF-8] " : "[no flag] ") << m.name << Hex({m.name});
}

std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// A stored ACE 2.0 archive, laid out as the archiver lays one out; names go in as given (OEM).
std::string AceArchive(const std::vector<std::pair<std::string, std::string>>& members)
{
    using rarbytes::Put16;
    using rarbytes::Put32;
    // ACE checksums are the usual CRC-32 without its final inversion; headers keep the low half.
    const auto aceCrc = [](const std::string& bytes) { return rarbytes::Crc(bytes) ^ 0xFFFFFFFFu; };
    const auto block = [&](const std::string& body) {
        std::string b;
        Put16(b, aceCrc(body) & 0xFFFF);
        Put16(b, body.size());
        return b + body;
    };
    std::string main("\0\0\0**ACE**\x14\x14\x02\x00", 14);
    Put32(main, 0x41046F21);
    main.append(9, '\0');
    std::string out = block(main);
    for (const auto& [name, data] : members) {
        std::string h("\x01\x01\x00", 3);
        Put32(h, data.size());
        Put32(h, data.size());
        Put32(h, 0x41046DDA);
        Put32(h, 0x20);
        Put32(h, aceCrc(data));
        Put32(h, 0);  // stored
        Put16(h, 0);
        Put16(h, name.size());
        out += block(h + name) + data;
    }
    return out;
}

// "Łódź.bte" in the Unicode form of RAR 1.5-4 names: an 8-bit stand-in, a NUL, then the high byte
// 0x01 and two-bit opcodes four to a flag byte. Flags 0x41 (01 00 00 01): Ł = 0x0141 and ź =
// 0x017A take the high byte, ó = 0x00F3 and d stand alone; flags 0xC0 (11): ".bte" is copied from
// the stand-in (a run of 2 + 2).
const std::string kLodzRar4Name = std::string("Lodz.bte\0\x01\x41\x41\xF3\x64\x7A\xC0\x02", 17);

// Marks the one file header of a Rar4() archive as carrying a Unicode name, as WinRAR does.
std::string WithUnicodeName(std::string rar)
{
    const size_t header = 7 + 13;  // behind the signature and the main header
    const size_t size = static_cast<unsigned char>(rar[header + 5]) | static_cast<unsigned char>(rar[header + 6]) << 8;
    rar[header + 4] = static_cast<char>(rar[header + 4] | 0x02);  // flag 0x0200
    const uint32_t crc = rarbytes::Crc(rar.substr(header + 2, size - 2));
    rar[header] = static_cast<char>(crc & 0xFF);
    rar[header + 1] = static_cast<char>(crc >> 8 & 0xFF);
    return rar;
}

enum class Style { DriveLetter, Native };

struct Layout {
    const char* name;
    Style game;
    Style archives;  // the outgoing and incoming folders
};

class NonAsciiNames : public TurnFolders, public ::testing::WithParamInterface<Layout> {
protected:
    NonAsciiNames()
    {
        // d: is a folder of its own, reached only through the prefix's link.
        fs::create_directories(tmp / "wine/dosdevices");
        fs::create_directory_symlink(tmp / "drive-d", tmp / "wine/dosdevices/d:");
        for (const char* folder : {"game", "out", "in"})
            fs::create_directories(tmp / ("drive-d/" + std::string(folder)));
        config = MakeConfig(Stored("game", GetParam().game), Stored("out", GetParam().archives),
                            Stored("in", GetParam().archives));
        ops::SetUpTurnZip(zip);
        zip.SetDLLDirectory(TURNEX_BIN_DIR);
    }

    // A folder as the program holds it: "d:\folder" on the Wine drive, or its native path.
    std::string Stored(const std::string& folder, Style style) const
    {
        return style == Style::DriveLetter ? "d:\\" + folder : tmp / folder;
    }
    // Where that folder is on this machine.
    std::string Real(const std::string& folder, Style style) const
    {
        return style == Style::DriveLetter ? tmp / ("drive-d/" + folder) : tmp / folder;
    }
    std::string GameFolder() const { return Real("game", GetParam().game); }
    std::string OutFolder() const { return Real("out", GetParam().archives); }
    std::string InFolder() const { return Real("in", GetParam().archives); }

    void AddBattles(const std::vector<std::string>& battles)
    {
        for (const auto& battle : battles)
            TempDir::Write(GameFolder() + "/" + battle, Contents(battle));
    }

    void Python(const std::vector<std::string>& args)
    {
        WriteZipTool();
        std::string command = "cd '" + tmp.path() + "' && python3 zip-tool.py";
        for (const auto& arg : args)
            command += " '" + arg + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    // A zip of the battles' contents, made by Python's zipfile as kind says.
    void MakeZip(const std::string& kind, const std::string& archive, const std::vector<std::string>& battles)
    {
        std::vector<std::string> args = {kind, archive};
        for (const auto& battle : battles) {
            TempDir::Write(tmp / ("src/" + battle), Contents(battle));
            args.push_back(battle);
        }
        Python(args);
    }
    void WriteZipTool() { TempDir::Write(tmp / "zip-tool.py", kZipTool); }
    std::vector<ZipMember> ZipMembers(const std::string& archive)
    {
        WriteZipTool();
        std::vector<ZipMember> members;
        FILE* listing = popen(("cd '" + tmp.path() + "' && python3 zip-tool.py list '" + archive + "'").c_str(), "r");
        char line[65536];
        while (listing && fgets(line, sizeof line, listing)) {
            std::string text(line);
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
            const auto tab1 = text.find('\t');
            const auto tab2 = text.find('\t', tab1 + 1);
            members.push_back(
                {text.substr(0, tab1) == "1", text.substr(tab1 + 1, tab2 - tab1 - 1), Unhex(text.substr(tab2 + 1))});
        }
        if (listing)
            pclose(listing);
        return members;
    }

    ZipComponent zip;
};

const Layout kLayouts[] = {
    {"GameOnADriveLetterArchivesNative", Style::DriveLetter, Style::Native},
    {"GameNativeArchivesOnADriveLetter", Style::Native, Style::DriveLetter},
    {"AllOnADriveLetter", Style::DriveLetter, Style::DriveLetter},
    {"AllNative", Style::Native, Style::Native},
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

std::string LayoutName(const ::testing::TestParamInfo<Layout>& info) { return info.param.name; }

}  // namespace

TEST_P(NonAsciiNames, CompressPacksEachBattleUnderItsNameAndReadsItBackTheSame)
{
    AddBattles(kAll);
    for (const auto& battle : kAll)
        EXPECT_EQ(ops::PackBattle(config, battle, zip, desktop), ops::PackOutcome::Packed) << battle;
    EXPECT_EQ(desktop.Messages(), std::vector<std::string>(3, "File successfully zipped!"));
    EXPECT_EQ(TempDir::Names(OutFolder()), ArchivesOf(kAll)) << Hex(TempDir::Names(OutFolder()));
    EXPECT_EQ(Sorted(app::ListArchives(config.Current().OutgoingDir())), ArchivesOf(kAll));

    // Any reader that follows the format gets the name: UTF-8, and flagged as such.
    for (const auto& battle : kAll) {
        const std::string archive = OutFolder() + "/" + ops::ArchiveNameFor(battle);
        EXPECT_EQ(ZipMembers(archive), (std::vector<ZipMember> {{true, battle, Contents(battle)}}));
    }

    // And this program, given one back, puts the same name in the game folder.
    for (const auto& battle : kAll)
        fs::copy_file(OutFolder() + "/" + ops::ArchiveNameFor(battle), InFolder() + "/" + ops::ArchiveNameFor(battle));
    fs::remove_all(GameFolder());
    fs::create_directory(GameFolder());
    desktop.shown.clear();
    for (const auto& battle : kAll)
        EXPECT_EQ(ops::UnpackArchive(config, ops::ArchiveNameFor(battle), zip, desktop), ops::ArchiveKind::Zip);
    EXPECT_EQ(desktop.Messages(), std::vector<std::string>(3, "File(s) extracted succesfully(unzip) !"));
    ExpectBattlesIn(GameFolder(), kAll);
}

TEST_P(NonAsciiNames, DecompressBringsTheNamesOutOfEveryKindOfArchive)
{
    const std::string kZipDone = "File(s) extracted succesfully(unzip) !";
    const std::string kRarDone = "File(s) extracted succesfully(unrar) !";
    const std::string kAceDone = "File(s) extracted succesfully(unace) !";
    const auto writeRar = [this](const std::string& archive, const std::string& bytes) {
        TempDir::Write(InFolder() + "/" + archive, bytes);
    };
    struct Received {
        const char* what;
        std::string archive;  // its name in the incoming folder
        std::function<void()> make;
        std::vector<std::string> battles;  // what comes out
        std::string success;
    };
    const std::string operationZip = ops::ArchiveNameFor(kOperation);
    const std::string lodzZip = ops::ArchiveNameFor(kLodz);
    const std::string oelbergRar = kOelberg.substr(0, kOelberg.size() - 4) + ".rar";
    const std::string lodzRar = kLodz.substr(0, kLodz.size() - 4) + ".rar";
    const std::string operationRar = kOperation.substr(0, kOperation.size() - 4) + ".rar";
    const std::string oelbergAce = kOelberg.substr(0, kOelberg.size() - 4) + ".ace";
    const std::vector<Received> cases = {
        {"zip of an MS-DOS archiver, OEM names", operationZip,
         [&] { MakeZip("oem", InFolder() + "/" + operationZip, kOemOnes); }, kOemOnes, kZipDone},
        {"zip with the UTF-8 flag", lodzZip, [&] { MakeZip("utf8", InFolder() + "/" + lodzZip, kAll); }, kAll,
         kZipDone},
        {"RAR 1.5-4, OEM names", oelbergRar,
         [&] {
             writeRar(oelbergRar, rarbytes::Rar4({rarbytes::File(kOemBytes.at(kOperation), Contents(kOperation)),
                                                  rarbytes::File(kOemBytes.at(kOelberg), Contents(kOelberg))}));
         },
         kOemOnes, kRarDone},
        {"RAR 1.5-4, Unicode name",
         lodzRar,
         [&] { writeRar(lodzRar, WithUnicodeName(rarbytes::Rar4({rarbytes::File(kLodzRar4Name, Contents(kLodz))}))); },
         {kLodz},
         kRarDone},
        {"RAR5, UTF-8 names", operationRar,
         [&] {
             std::vector<rarbytes::Entry> entries;
             for (const auto& battle : kAll)
                 entries.push_back(rarbytes::File(battle, Contents(battle)));
             writeRar(operationRar, rarbytes::Rar5(entries));
         },
         kAll, kRarDone},
        {"ACE, OEM names", oelbergAce,
         [&] {
             TempDir::Write(InFolder() + "/" + oelbergAce, AceArchive({{kOemBytes.at(kOperation), Contents(kOperation)},
                                                                       {kOemBytes.at(kOelberg), Contents(kOelberg)}}));
         },
         kOemOnes, kAceDone},
    };
    std::vector<std::string> received;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(GameFolder());
        fs::create_directory(GameFolder());
        desktop.shown.clear();
        c.make();
        received.push_back(c.archive);
        ops::UnpackArchive(config, c.archive, zip, desktop);
        EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {c.success}));
        ExpectBattlesIn(GameFolder(), c.battles);
        EXPECT_EQ(BattleList(config.GameDir), Listed(c.battles));
    }
    // The incoming list shows the archives' own names right too.
    EXPECT_EQ(Sorted(app::ListArchives(config.Current().IncomingDir())), Sorted(received));
}

TEST_P(NonAsciiNames, AZipNameInAnUnknownCodePageIsRefusedAndSaidSo)
{
    // A tool of another host wrote "Opération" in Latin-1 without saying so: no file of that
    // byte (E9) may appear, and the player must learn what was left out in readable text.
    MakeZip("latin1", InFolder() + "/Mixed.zip", {kOperation, kPlain});
    ops::UnpackArchive(config, "Mixed.zip", zip, desktop);
    ExpectBattlesIn(GameFolder(), {kPlain});
    const auto errors = desktop.Errors();
    ASSERT_EQ(desktop.Messages().size(), 1u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(base::IsValidUtf8(errors[0])) << Hex({errors[0]});
    // The name as Windows tools would read its bytes, and why it stayed out.
    EXPECT_EQ(errors[0], "Mixed.zip: 1 of 2 members were extracted into the game folder.\nNot extracted:\n"
                         "    Op\xC3\xA9ration.bte: its name is in an unknown character set (not UTF-8), so it "
                         "would arrive under another name");
}

TEST_P(NonAsciiNames, CopyAndMoveTakeTheNamesToFoldersOfBothStyles)
{
    for (const Style destination : {Style::DriveLetter, Style::Native}) {
        SCOPED_TRACE(destination == Style::DriveLetter ? "to a drive letter" : "to a native folder");
        const std::string copies = "Kopie \xC3\xBC";  // ü
        const std::string moved = "Ablage \xC3\xBC";
        fs::create_directories(Real(copies, destination));
        fs::create_directories(Real(moved, destination));
        AddBattles(kAll);
        desktop.shown.clear();

        for (const auto& battle : kAll) {
            desktop.folderAnswers = {Stored(copies, destination)};
            EXPECT_TRUE(ops::CopyBattle(config, battle, desktop));
        }
        ExpectBattlesIn(Real(copies, destination), kAll);
        ExpectBattlesIn(GameFolder(), kAll);

        for (const auto& battle : kAll) {
            desktop.folderAnswers = {Stored(moved, destination)};
            EXPECT_TRUE(ops::MoveBattle(config, battle, desktop));
        }
        ExpectBattlesIn(Real(moved, destination), kAll);
        ExpectBattlesIn(GameFolder(), {});
        EXPECT_EQ(BattleList(config.GameDir), Listed({}));
        EXPECT_EQ(BattleList(Stored(moved, destination)), Listed(kAll));
        // Only the folder browsers: neither operation reports its outcome.
        EXPECT_EQ(desktop.Of(Shown::Folder).size(), desktop.shown.size());
    }
}

TEST_P(NonAsciiNames, DeleteTakesTheBattleAndOnlyItsOwnNote)
{
    AddBattles(kAll);
    app::SaveComment(kLodz, "held the city");
    app::SaveComment(kOelberg, "lost the hill");
    app::SaveComment(kOperation, "dawn attack");
    // The keys in Windows-1252; the page lacks Ł and ź, so that key keeps its UTF-8 bytes.
    const std::string lodzKey = kLodz;
    const std::string notes = TempDir::Read(tmp / "prog/user.dat");
    EXPECT_NE(notes.find(lodzKey), std::string::npos);
    EXPECT_NE(notes.find("\xD6lberg.bte"), std::string::npos);
    EXPECT_NE(notes.find("Op\xE9ration.bte"), std::string::npos);

    desktop.boxAnswers = {base::IDYES};
    EXPECT_TRUE(ops::DeleteEntry(config, ops::Tab::Battles, kLodz, desktop));
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"You want delete file " + kLodz + "! Are you sure?"}));
    ExpectBattlesIn(GameFolder(), {kOperation, kOelberg});
    EXPECT_EQ(BattleList(config.GameDir), Listed({kOperation, kOelberg}));
    EXPECT_FALSE(app::FindComment(kLodz).has_value());
    EXPECT_EQ(TempDir::Read(tmp / "prog/user.dat").find(lodzKey), std::string::npos);
    EXPECT_EQ(app::FindComment(kOelberg), "lost the hill");
    EXPECT_EQ(app::FindComment(kOperation), "dawn attack");

    // An archive of such a name goes from its folder and leaves every note alone.
    const std::string archive = ops::ArchiveNameFor(kOelberg);
    TempDir::Write(OutFolder() + "/" + archive, "PK\x05\x06");
    const std::string kept = TempDir::Read(tmp / "prog/user.dat");
    desktop.boxAnswers = {base::IDYES};
    EXPECT_TRUE(ops::DeleteEntry(config, ops::Tab::Outgoing, archive, desktop));
    EXPECT_TRUE(fs::is_empty(OutFolder()));
    EXPECT_EQ(TempDir::Read(tmp / "prog/user.dat"), kept);
}

namespace {

class NonAsciiMail : public NonAsciiNames {
protected:
    // The mail library checks its installation once per process: the stand-ins go first on the
    // PATH before the first mail call and stay there.
    static void SetUpTestSuite()
    {
        if (!programs_) {
            programs_ = new FakePrograms;
            programs_->PutFirstOnPath();
        }
    }
    NonAsciiMail()
    {
        programs_->Clear();
        programs_->Write("xdg-email");
    }
    std::vector<std::string> MailTo(const std::string& subject, const std::string& file) const
    {
        return {"--utf8",
                "--subject",
                subject,
                "--body",
                "Mail from Turnmail Manager\nGood Luck",
                "--attach",
                fs::canonical(file).string()};
    }

    static FakePrograms* programs_;
    ScopedEnv mailer_ {"MAILER", "stand-in-mailer"};
};

FakePrograms* NonAsciiMail::programs_ = nullptr;

}  // namespace

TEST_P(NonAsciiMail, TheMailClientGetsTheNamesAsUtf8)
{
    AddBattles({kLodz});
    const std::string outgoing = ops::ArchiveNameFor(kLodz);
    const std::string incoming = ops::ArchiveNameFor(kOperation);
    TempDir::Write(OutFolder() + "/" + outgoing, "PK\x05\x06");
    TempDir::Write(InFolder() + "/" + incoming, "PK\x05\x06");
    const std::string title = "Bitwa o \xC5\x81\xC3\xB3\x64\xC5\xBA";  // as the battle list shows it

    EXPECT_EQ(ops::SendByMail(config, ops::Tab::Battles, kLodz, title), 0);
    EXPECT_EQ(programs_->Args("xdg-email"), MailTo(title, GameFolder() + "/" + kLodz));
    EXPECT_EQ(ops::SendByMail(config, ops::Tab::Outgoing, outgoing, outgoing), 0);
    EXPECT_EQ(programs_->Args("xdg-email"), MailTo(outgoing, OutFolder() + "/" + outgoing));
    EXPECT_EQ(ops::SendByMail(config, ops::Tab::Incoming, incoming, incoming), 0);
    EXPECT_EQ(programs_->Args("xdg-email"), MailTo(incoming, InFolder() + "/" + incoming));
    EXPECT_TRUE(desktop.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(FolderStyles, NonAsciiNames, ::testing::ValuesIn(kLayouts), LayoutName);
INSTANTIATE_TEST_SUITE_P(FolderStyles, NonAsciiMail, ::testing::ValuesIn(kLayouts), LayoutName);
