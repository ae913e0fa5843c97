// The details of a selected archive: its last write time, as the packed local date-time gives
// it, and its size.
#include "TurnFolders.h"
#include "ops/ArchiveDetails.h"

#include <gtest/gtest.h>

#include <ctime>
#include <utime.h>

namespace {

// A local time as seconds since the epoch.
time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm parts {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

using ArchiveDetailsTest = TurnFolders;

}  // namespace

TEST_F(ArchiveDetailsTest, DateInTwoSecondStepsAndSizeInBytes)
{
    TempDir::Write(tmp / "out/Turn07.zip", std::string(123456, 'z'));
    const time_t when = LocalTime(2025, 1, 2, 13, 4, 5);
    utimbuf times {when, when};
    ASSERT_EQ(utime((tmp / "out/Turn07.zip").c_str(), &times), 0);

    const ops::ArchiveDetails details = ops::ReadArchiveDetails(config, app::ArchiveDir::Outgoing, "Turn07.zip");
    const app::DosDateTime& d = details.modified;
    EXPECT_EQ((std::vector<int> {d.Year, d.Month, d.Day, d.Hour, d.Minute, d.Second}),
              (std::vector<int> {2025, 1, 2, 13, 4, 4}));
    EXPECT_EQ(details.size, 123456);
    EXPECT_EQ(config.Current().OutgoingDir(), (tmp / "out") + "\\");

    TempDir::Write(tmp / "in/empty.rar", "");
    EXPECT_EQ(ops::ReadArchiveDetails(config, app::ArchiveDir::Incoming, "empty.rar").size, 0);
    EXPECT_EQ(config.Current().IncomingDir(), (tmp / "in") + "\\");
}

TEST_F(ArchiveDetailsTest, AnArchiveThatIsGoneIsAnError)
{
    try {
        ops::ReadArchiveDetails(config, app::ArchiveDir::Incoming, "gone.zip");
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
}
