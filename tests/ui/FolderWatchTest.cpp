// The folder watch of the lists: a file written into the folder is reported once its burst has
// settled, only files the list is made from count, and rewrites of a listed file are seen however
// they are made.
#include "ops/FolderSnapshot.h"
#include "support/Soon.h"
#include "support/TempDir.h"
#include "ui/FolderWatch.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

class FolderWatchTest : public ::testing::Test {
protected:
    FolderWatchTest() { watch.Follow(tmp.path(), ops::ArchivePatterns()); }
    // Waits for the next report and returns its names.
    Names NextReport()
    {
        const qsizetype before = spy.count();
        if (!QTest::qWaitFor([&] { return spy.count() > before; }, 5000))
            return {"(no report)"};
        return spy.at(before).at(0).value<Names>();
    }

    TempDir tmp;
    FolderWatch watch;
    QSignalSpy spy {&watch, &FolderWatch::Changed};
};

}  // namespace

TEST_F(FolderWatchTest, AnArchiveCopiedInPiecesIsReportedOnceItsBurstSettles)
{
    // Forty pieces, 5 ms apart, as a copy or a mail client writes them.
    std::ofstream out(tmp / "Turn07.zip", std::ios::binary);
    int pieces = 0;
    QTimer writer;
    QObject::connect(&writer, &QTimer::timeout, [&] {
        out << std::string(1000, 'z') << std::flush;
        if (++pieces == 40)
            writer.stop();
    });
    writer.start(5);
    EXPECT_EQ(NextReport(), (Names {"Turn07.zip"}));
    ASSERT_SOON(!writer.isActive());
    out.close();
    // A file written after the copy ended is reported last: by then every report of the copy has come.
    TempDir::Write(tmp / "marker.zip", "");
    ASSERT_SOON_EQ(spy.last().at(0).value<Names>().back(), "marker.zip");
    // The list refilled a few times at most, not forty.
    EXPECT_LE(spy.count(), 4);
    for (const auto& report : spy)
        for (const std::string& name : report.at(0).value<Names>())
            EXPECT_TRUE(name == "Turn07.zip" || name == "marker.zip") << name;
}

TEST_F(FolderWatchTest, OnlyTheFilesTheListIsMadeFromAreReported)
{
    TempDir::Write(tmp / "readme.txt", "not listed");
    TempDir::Write(tmp / ".turnex-0123456789abcdef", "a copy on its way");
    TempDir::Write(tmp / "b.RAR", "listed");
    EXPECT_EQ(NextReport(), (Names {"b.RAR"}));
    EXPECT_EQ(spy.count(), 1);
    // The hidden copy takes its name: that is when the archive appears.
    fs::rename(tmp / ".turnex-0123456789abcdef", tmp / "c.ace");
    EXPECT_EQ(NextReport(), (Names {"c.ace"}));
}

TEST_F(FolderWatchTest, ARewriteOfAListedFileIsSeenInPlaceAndByRename)
{
    TempDir::Write(tmp / "a.zip", "first");
    EXPECT_EQ(NextReport(), (Names {"a.zip"}));
    // In place, same size: the folder itself does not change, the file does.
    TempDir::Write(tmp / "a.zip", "FIRST");
    EXPECT_EQ(NextReport(), (Names {"a.zip"}));
    // Written beside it and renamed over it, as a careful program saves: same size, same time,
    // another file. Then again in place, which only a watch on the new file sees.
    TempDir::Write(tmp / "a.tmp", "fIRST");
    fs::last_write_time(tmp / "a.tmp", fs::last_write_time(tmp / "a.zip"));
    fs::rename(tmp / "a.tmp", tmp / "a.zip");
    EXPECT_EQ(NextReport(), (Names {"a.zip"}));
    TempDir::Write(tmp / "a.zip", "Second");
    EXPECT_EQ(NextReport(), (Names {"a.zip"}));
    fs::remove(tmp / "a.zip");
    EXPECT_EQ(NextReport(), (Names {"a.zip"}));
}

TEST_F(FolderWatchTest, InAFolderOfYearsOfArchivesTheNewestAreWatched)
{
    const std::string many = tmp / "many";
    const auto lastYear = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    for (size_t i = 0; i < FolderWatch::kMostFilesWatched + 20; ++i) {
        TempDir::Write(many + "/old" + std::to_string(i) + ".zip", "old");
        fs::last_write_time(many + "/old" + std::to_string(i) + ".zip", lastYear);
    }
    TempDir::Write(many + "/today.zip", "new");
    watch.Follow(many, ops::ArchivePatterns());
    // Rewritten in place: only a watch on the file itself sees it.
    TempDir::Write(many + "/today.zip", "NEW");
    EXPECT_EQ(NextReport(), (Names {"today.zip"}));
}

TEST(DeferredFolderWatch, WatchesNothingUntilBegunThenReportsWhatCameMeanwhile)
{
    TempDir tmp;
    TempDir::Write(tmp / "listed.zip", "listed");
    FolderWatch watch;
    QSignalSpy spy {&watch, &FolderWatch::Changed};
    watch.Defer();
    watch.Follow(tmp.path(), ops::ArchivePatterns());
    TempDir::Write(tmp / "early.zip", "came before the watches were set");
    TempDir::Write(tmp / "listed.zip", "rewritten");
    QTest::qWait(FolderWatch::kLongestWaitMs + 100);
    EXPECT_EQ(spy.count(), 0);

    watch.Begin();
    ASSERT_SOON(spy.count() == 1);
    EXPECT_EQ(spy.at(0).at(0).value<Names>(), (Names {"early.zip", "listed.zip"}));
    // From then on the folder and its files are followed as usual.
    TempDir::Write(tmp / "early.zip", "rewritten in place");
    ASSERT_SOON(spy.count() == 2);
    EXPECT_EQ(spy.at(1).at(0).value<Names>(), (Names {"early.zip"}));
}
