#include "catalogue/DateTime.h"

#include <gtest/gtest.h>

TEST(DateTime, StartsAsTheNullDateAndWritesItAsEmpty) {
    DateTime null;
    EXPECT_TRUE(null.IsNull());
    EXPECT_EQ(std::make_tuple(null.Year(), null.Month(), null.Day(), null.Hour(), null.Minute(),
                              null.Second()),
              std::make_tuple(100, 1, 1, 0, 0, 0));
    EXPECT_EQ(null.Format(), "");
    EXPECT_EQ(DateTime(2009, 3, 15, 14, 25, 1).Format(), "2009-03-15 14:25:01");
    EXPECT_EQ(DateTime(1999, 12, 31, 0, 0, 0).Format(), "1999-12-31 00:00:00");
}

TEST(DateTime, ImpossibleFieldsMakeAnInvalidValue) {
    struct Case {
        int year, month, day, hour, minute, second;
    };
    const Case cases[] = {
        {2009, 2, 29, 0, 0, 0}, {2009, 13, 1, 0, 0, 0}, {2009, 4, 31, 0, 0, 0},
        {2009, 1, 1, 24, 0, 0}, {2009, 1, 1, 0, 60, 0}, {99, 1, 1, 0, 0, 0},
        {10000, 1, 1, 0, 0, 0}, {2009, 0, 1, 0, 0, 0},  {2009, 1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        DateTime value(c.year, c.month, c.day, c.hour, c.minute, c.second);
        EXPECT_EQ(value.GetStatus(), DateTime::Status::Invalid)
            << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
        EXPECT_EQ(value.Format(), "") << "no bogus text reaches a row";
    }
    EXPECT_TRUE(DateTime(2008, 2, 29, 23, 59, 59).IsValid());
    EXPECT_TRUE(DateTime(2000, 2, 29, 0, 0, 0).IsValid());
}

TEST(DateTime, ComparisonsHoldOnlyBetweenValidValues) {
    const DateTime early(2009, 3, 15, 14, 25, 1);
    const DateTime late(2009, 3, 15, 14, 25, 2);
    const DateTime invalid(2009, 2, 30, 0, 0, 0);
    const DateTime null;
    EXPECT_TRUE(early < late);
    EXPECT_TRUE(late > early);
    EXPECT_TRUE(early <= early);
    EXPECT_FALSE(late < early);
    for (const DateTime* other : {&invalid, &null}) {
        EXPECT_FALSE(early < *other);
        EXPECT_FALSE(early > *other);
        EXPECT_FALSE(early <= *other);
        EXPECT_FALSE(early >= *other);
        EXPECT_FALSE(*other < early);
        EXPECT_FALSE(*other >= early);
        EXPECT_NE(early, *other);
    }
    EXPECT_FALSE(null <= null);
    EXPECT_EQ(null, DateTime());
    EXPECT_EQ(early, DateTime(2009, 3, 15, 14, 25, 1));
}

TEST(DateTime, ReadsTheStoredFormAndCommonLocalForms) {
    struct Case {
        const char* text;
        const char* stored;
    };
    const Case cases[] = {
        {"2009-03-15 14:25:01", "2009-03-15 14:25:01"},
        {"2009-03-15T14:25:01", "2009-03-15 14:25:01"},
        {"2009-03-15 14:25", "2009-03-15 14:25:00"},
        {"2009-03-15", "2009-03-15 00:00:00"},
        {"  2009-03-15 14:25:01  ", "2009-03-15 14:25:01"},
        {"2009:03:15 14:25:01", "2009-03-15 14:25:01"},
        {"2009/03/15 14:25:01", "2009-03-15 14:25:01"},
        {"3/15/2009 2:25:01 PM", "2009-03-15 14:25:01"},
        {"03/15/2009 14:25", "2009-03-15 14:25:00"},
        {"15.03.2009 14:25:01", "2009-03-15 14:25:01"},
        {"15.03.2009", "2009-03-15 00:00:00"},
        {"March 15, 2009", "2009-03-15 00:00:00"},
        {"15 March 2009 14:25:01", "2009-03-15 14:25:01"},
    };
    for (const Case& c : cases) {
        DateTime value;
        EXPECT_TRUE(value.ParseDateTime(c.text)) << c.text;
        EXPECT_EQ(value.Format(), c.stored) << c.text;
    }
}

TEST(DateTime, TextThatDoesNotParseLeavesTheValueUnchanged) {
    const char* const texts[] = {
        "",
        "not a date",
        "2009-02-30 10:00:00",
        "2009-03-15 25:00:00",
        "2009-03-15x",
        "2009-13-01 00:00:00",
        "31.02.2009",
        "12:30",
        "0099-01-01",
        "2009-03-15 14:25:01 extra",
    };
    for (const char* text : texts) {
        DateTime value(2001, 2, 3, 4, 5, 6);
        EXPECT_FALSE(value.ParseDateTime(text)) << text;
        EXPECT_EQ(value, DateTime(2001, 2, 3, 4, 5, 6)) << text;
        DateTime null;
        EXPECT_FALSE(null.ParseDateTime(text)) << text;
        EXPECT_TRUE(null.IsNull()) << text;
    }
}

TEST(DateTime, WrittenTextReadsBackToTheSameValue) {
    const DateTime values[] = {DateTime(100, 1, 1, 0, 0, 1), DateTime(2009, 3, 15, 14, 25, 1),
                               DateTime(9999, 12, 31, 23, 59, 59)};
    for (const DateTime& value : values) {
        DateTime read;
        ASSERT_TRUE(read.ParseDateTime(value.Format())) << value.Format();
        EXPECT_EQ(read, value);
    }
    const DateTime now = DateTime::Now();
    EXPECT_TRUE(now.IsValid());
    EXPECT_TRUE(DateTime::FromTimeT(0).IsValid());
}
