// The record layouts: with 4-byte addresses they must reproduce the published tables exactly.
#include "turnex/ZipRecords.h"

#include <gtest/gtest.h>

using namespace ziprec;

TEST(ZipRecords, ZipCommandWithFourByteAddresses)
{
    constexpr auto l = ZipCommandLayout(4);
    const std::pair<ZipCmd, uint32_t> expected[] = {
        {zcHandle, 0},        {zcCaller, 4},         {zcVersion, 8},    {zcCallback, 12}, {zcTrace, 16},
        {zcPassword, 20},     {zcSuffixes, 24},      {zcEncrypt, 28},   {zcHidden, 32},   {zcVolume, 36},
        {zcGap40, 40},        {zcNoDirEntries, 44},  {zcGap48, 48},     {zcVerbose, 52},  {zcQuiet, 56},
        {zcLevel, 60},        {zcGap64, 64},         {zcGap68, 68},     {zcJunkDirs, 72}, {zcRecurse, 76},
        {zcGap78, 78},        {zcAlways, 80},        {zcForceDos, 84},  {zcMove, 88},     {zcGap92, 92},
        {zcUpdate, 96},       {zcFreshen, 100},      {zcGap104, 104},   {zcZipTime, 108}, {zcGap112, 112},
        {zcGap116, 116},      {zcSpecCount, 120},    {zcArchive, 124},  {zcTempDir, 128}, {zcComment, 132},
        {zcArchiveOnly, 136}, {zcResetArchive, 138}, {zcSpecs, 140},    {zcGap144, 144},  {zcExclCount, 148},
        {zcExcl, 152},        {zcGap156, 156},       {zcEndMarker, 212}};
    for (auto [field, offset] : expected)
        EXPECT_EQ(l.offset[field], offset) << "field " << field;
    EXPECT_EQ(l.width[zcRecurse], 2u);
    EXPECT_EQ(l.width[zcGap156], 56u);
    EXPECT_EQ(l.size, 216u);
    EXPECT_EQ(ZipShortMarker(4), 128u);
    EXPECT_EQ(ZipShortSlots(4), 132u);
    EXPECT_EQ(ZipShortSize(4), 16520u);
}

TEST(ZipRecords, FileSpecsCallbackAndUnzipCommandWithFourByteAddresses)
{
    constexpr auto s = ZipFileSpecLayout(4);
    EXPECT_EQ(s.offset[zsSpec], 0u);
    EXPECT_EQ(s.offset[zsPassword], 12u);
    EXPECT_EQ(s.offset[zsEncrypt], 16u);
    EXPECT_EQ(s.offset[zsRecurse], 20u);
    EXPECT_EQ(s.offset[zsRootDir], 36u);
    EXPECT_EQ(s.size, 104u);

    constexpr auto u = UnzipCommandLayout(4);
    const std::pair<UnzipCmd, uint32_t> expected[] = {
        {ucHandle, 0},     {ucCaller, 4},     {ucVersion, 8},  {ucCallback, 12}, {ucTrace, 16},
        {ucGap20, 20},     {ucPassword, 24},  {ucTest, 28},    {ucGap32, 32},    {ucGap36, 36},
        {ucQuiet, 40},     {ucVerbose, 44},   {ucUpdate, 48},  {ucFreshen, 52},  {ucDirNames, 56},
        {ucOverwrite, 60}, {ucSpecCount, 64}, {ucArchive, 68}, {ucSpecs, 72},    {ucGap76, 76},
        {ucMemFlag, 80},   {ucMemBuffer, 84}, {ucMemSize, 88}, {ucGap92, 92},    {ucPasswordReqCount, 104},
        {ucGap108, 108},   {ucEndMarker, 144}};
    for (auto [field, offset] : expected)
        EXPECT_EQ(u.offset[field], offset) << "field " << field;
    EXPECT_EQ(u.size, 148u);
    EXPECT_EQ(UnzipShortMarker(4), 72u);
    EXPECT_EQ(UnzipShortSlots(4), 76u);
    EXPECT_EQ(UnzipShortSize(4), 16464u);
    EXPECT_EQ(UnzipFileSpecLayout(4).size, 72u);

    constexpr auto c = CallbackLayout(4);
    EXPECT_EQ(c.offset[cbCaller], 4u);
    EXPECT_EQ(c.offset[cbAction], 16u);
    EXPECT_EQ(c.offset[cbErrorCode], 20u);
    EXPECT_EQ(c.offset[cbSize], 24u);
    EXPECT_EQ(c.offset[cbText], 28u);
    EXPECT_EQ(c.size, 540u);
}

TEST(ZipRecords, EightByteAddressesWidenOnlyTheAddresses)
{
    // What runs on this machine: every address takes 8 bytes, everything else keeps its width.
    constexpr auto l = ZipCommandLayout(8);
    EXPECT_EQ(l.size, 216u + 10 * 4);
    EXPECT_EQ(l.offset[zcEndMarker] + 4, l.size);
    EXPECT_EQ(CallbackLayout(8).size, 548u);
    EXPECT_EQ(UnzipCommandLayout(8).size, 148u + 7 * 4);
    EXPECT_EQ(ZipShortSize(8), ZipShortSlots(8) + 4097u * 8);
    uint8_t buf[8] = {};
    int x = 0;
    PutPtrAt(buf, &x);
    EXPECT_EQ(GetPtrAt(buf), &x);
    PutU32(buf, 0x01020304);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[3], 1);
}
