#pragma once
// Waiting for the event loop in a GoogleTest case. QtTest's QTRY_ macros report to QtTest, not to
// GoogleTest: a condition that never comes true would end the case early and still pass it. These
// run the event loop until the values agree (at most five seconds), then compare them as
// GoogleTest does, so a value that never comes fails with both values shown.
#include <QTest>
#include <gtest/gtest.h>

constexpr int kSoonMs = 5000;

#define EXPECT_SOON_EQ(actual, expected)                                  \
    do {                                                                  \
        QTest::qWaitFor([&] { return (actual) == (expected); }, kSoonMs); \
        EXPECT_EQ(actual, expected);                                      \
    } while (false)

#define ASSERT_SOON_EQ(actual, expected)                                  \
    do {                                                                  \
        QTest::qWaitFor([&] { return (actual) == (expected); }, kSoonMs); \
        ASSERT_EQ(actual, expected);                                      \
    } while (false)

#define ASSERT_SOON(condition) ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, kSoonMs))
