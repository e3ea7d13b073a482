#include "net/HeaderLines.h"

#include <gtest/gtest.h>

TEST(HeaderLinesTest, SetHeaderAppendsReplacesAndRemoves) {
    HeaderLines list;
    list.append("GET / HTTP/1.0");
    list.setHeader("Host", "h");
    list.setHeader("Accept", "*/*");
    EXPECT_EQ(list.indexOfHeader("host"), 1);
    EXPECT_EQ(list.indexOfHeader("GET / HTTP/1.0"), -1); // a line without ":" is skipped

    list.setHeader("HOST", "h2"); // another letter case replaces the line in place
    EXPECT_EQ(list[1], QByteArray("HOST: h2"));
    EXPECT_EQ(list.count(), 3);

    list.setHeader("Cookie", ""); // an empty value for a missing name changes nothing
    EXPECT_EQ(list.count(), 3);
    list.setHeader("accept", ""); // an empty value removes the line
    EXPECT_EQ(list.text(), QByteArray("GET / HTTP/1.0\r\nHOST: h2\r\n"));
}
